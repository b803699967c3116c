#pragma once

#include <functional>
#include <memory>

#include <QImage>

// One saved image of an undo command: a PNG in a temporary file that is deleted with the
// snapshot. The file is created at once and written on a background thread, one file after
// another, while the user goes on. When it cannot be written completely (no temporary folder,
// no space), the image is kept in memory instead, so that undo still restores it.
class Snapshot
{
public:
    Snapshot();
    ~Snapshot();
    Snapshot(const Snapshot &) = delete;
    Snapshot &operator=(const Snapshot &) = delete;

    // Saves `image`; call once. The snapshot keeps a (shared) copy until its file is complete.
    void store(const QImage &image);
    // The stored image, read back from its file once that is complete, in the format it was
    // stored in (other formats than RGB32 and premultiplied ARGB32 come back as ARGB32); null
    // when nothing was stored.
    QImage load();

    // Returns once every snapshot file started so far is completely written.
    static void waitForWrites();

    // Called whenever a snapshot cannot be written and stays in memory instead, with the
    // reason, on the thread that found it (often not the main one). There is one handler at a
    // time, the last one set; an empty function from the same `owner` removes it (and one from
    // another owner does nothing). Setting and removing wait for a call under way.
    static void setKeptInMemoryHandler(
        const void *owner, std::function<void(const QString &reason)> handler);

private:
    struct Write;
    std::unique_ptr<Write> m_write;
};
