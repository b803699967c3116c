#include "undo/snapshot.h"

void Snapshot::store(const QImage &image)
{
    if (m_file.open() && image.save(&m_file, "PNG", 100) && m_file.flush() && m_file.seek(0)) {
        m_onDisk = true;
        return;
    }
    // A partly written file is of no use; give its space back at once.
    if (!m_file.fileName().isEmpty())
        m_file.remove();
    m_inMemory = image;
}

QImage Snapshot::load()
{
    if (!m_onDisk)
        return m_inMemory;
    // Read the bytes, not the file: an image reader would ask for the file's name, and that
    // gives the unnamed temporary file a name in the folder, where it outlives a crash.
    if (!m_file.seek(0))
        return {};
    return QImage::fromData(m_file.readAll(), "PNG");
}
