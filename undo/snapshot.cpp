#include "undo/snapshot.h"

void Snapshot::store(const QImage &image)
{
    // Asking for the name gives the file one at once (the toolkit may otherwise keep it
    // unnamed), so that it shows in the temporary folder like any other temporary file.
    if (m_file.open() && !m_file.fileName().isEmpty() && image.save(&m_file, "PNG", 100)
        && m_file.flush() && m_file.seek(0)) {
        m_onDisk = true;
        return;
    }
    // A partly written file is of no use; give its space back at once.
    if (m_file.isOpen())
        m_file.remove();
    m_inMemory = image;
}

QImage Snapshot::load()
{
    if (!m_onDisk)
        return m_inMemory;
    QImage image;
    if (m_file.seek(0))
        image.load(&m_file, "PNG");
    return image;
}
