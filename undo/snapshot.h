#pragma once

#include <QImage>
#include <QTemporaryFile>

// One saved image of an undo command: a PNG in a temporary file that is deleted with the
// snapshot. When the file cannot be written completely (no temporary folder, no space), the
// image is kept in memory instead, so that undo still restores it.
class Snapshot
{
public:
    void store(const QImage &image);
    // The stored image, as written; null when nothing was stored.
    QImage load();

private:
    QTemporaryFile m_file;
    QImage m_inMemory;
    bool m_onDisk = false;
};
