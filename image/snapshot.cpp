#include "image/snapshot.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

#include <QDir>
#include <QRunnable>
#include <QTemporaryFile>
#include <QThreadPool>

#include "image/snapshotpng.h"

namespace {

// One thread, so that the user's next action keeps the other core. Never destroyed: a
// command that outlives main() still needs it to end its write.
QThreadPool &writers()
{
    static QThreadPool *const pool = [] {
        auto *threads = new QThreadPool;
        threads->setMaxThreadCount(1);
        return threads;
    }();
    return *pool;
}

std::mutex s_handlerMutex;
std::function<void(const QString &)> s_keptInMemory; // guarded by s_handlerMutex
const void *s_handlerOwner = nullptr; // guarded by s_handlerMutex

void reportKeptInMemory(const QString &reason)
{
    const std::lock_guard lock(s_handlerMutex);
    if (s_keptInMemory)
        s_keptInMemory(reason);
}

QImage::Format restoredFormat(QImage::Format format)
{
    if (format == QImage::Format_RGB32 || format == QImage::Format_ARGB32_Premultiplied)
        return format;
    return format == QImage::Format_RGBA64 ? format : QImage::Format_ARGB32;
}

} // namespace

// Shared with the writer thread until `finished`; the thread touches nothing after that.
struct Snapshot::Write final : QRunnable
{
    QTemporaryFile file;
    QImage image; // until the file is complete; for good when it cannot be
    QImage::Format format = QImage::Format_Invalid;
    std::atomic<bool> cancelled = false;
    std::mutex mutex;
    std::condition_variable changed;
    bool finished = false;
    bool onDisk = false;

    void run() override
    {
        const bool written = !cancelled && writeSnapshotPng(image, file, cancelled) && file.flush();
        if (!written && !cancelled) {
            reportKeptInMemory(file.error() != QFileDevice::NoError
                    ? file.errorString()
                    : QStringLiteral("the file could not be written"));
        }
        // A partly written file is of no use; give its space back at once. Not with
        // file.remove(): it flushes the bytes that the disk refused once more, fails and keeps
        // the file.
        if (!written) {
            const QString name = file.fileName();
            file.close();
            QFile::remove(name);
        }
        // Released here, not on the user's thread: freeing a photo takes a while.
        QImage released;
        if (written)
            released = std::move(image);
        const std::lock_guard lock(mutex);
        onDisk = written;
        finished = true;
        changed.notify_all();
    }

    // Makes sure the write has ended: runs it here if it has not begun yet.
    void finish()
    {
        if (writers().tryTake(this))
            run();
        else
            wait();
    }

    void wait()
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [this] { return finished; });
    }
};

Snapshot::Snapshot() = default;

Snapshot::~Snapshot()
{
    if (!m_write)
        return;
    // A write not begun yet is dropped; one under way stops at its next row.
    m_write->cancelled = true;
    if (!writers().tryTake(m_write.get()))
        m_write->wait();
}

void Snapshot::store(const QImage &image)
{
    Q_ASSERT(!m_write);
    m_write = std::make_unique<Write>();
    Write &write = *m_write;
    write.setAutoDelete(false);
    write.image = image;
    write.format = restoredFormat(image.format());
    // Asking for the name gives the file one at once (the toolkit may otherwise keep it
    // unnamed), so that it shows in the temporary folder like any other temporary file.
    // Without a temporary folder (TMPDIR names none that exists) the toolkit would put the file
    // in the root folder.
    if (!image.isNull() && !QDir::tempPath().isEmpty() && write.file.open()
        && !write.file.fileName().isEmpty()) {
        writers().start(&write);
        return;
    }
    if (!image.isNull()) {
        reportKeptInMemory(QDir::tempPath().isEmpty()
                ? QStringLiteral("there is no temporary folder")
                : write.file.errorString());
    }
    if (write.file.isOpen())
        write.file.remove();
    write.finished = true;
}

QImage Snapshot::load()
{
    if (!m_write)
        return {};
    m_write->finish();
    if (!m_write->onDisk)
        return m_write->image;
    if (!m_write->file.seek(0))
        return {};
    return readSnapshotPng(m_write->file, m_write->format);
}

void Snapshot::waitForWrites()
{
    writers().waitForDone();
}

void Snapshot::setKeptInMemoryHandler(
    const void *owner, std::function<void(const QString &reason)> handler)
{
    const std::lock_guard lock(s_handlerMutex);
    if (!handler && owner != s_handlerOwner)
        return;
    s_keptInMemory = std::move(handler);
    s_handlerOwner = s_keptInMemory ? owner : nullptr;
}
