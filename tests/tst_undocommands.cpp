#include <functional>
#include <random>

#include <QTemporaryDir>
#include <QUndoStack>
#include <QtTest>

#include "document/photodocument.h"
#include "document/tools.h"
#include "guitestsupport.h"
#include "image/wiremask.h"
#include "undo/commands.h"

using tolvane::PhotoDocument;

namespace {

// Opaque, or with any alpha (colour bits under alpha 0 too).
QImage noisyPhoto(quint32 seed, int w = 12, int h = 10, bool translucent = false)
{
    QImage photo(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            photo.setPixel(
                x, y, (seed = seed * 1664525u + 1013904223u) | (translucent ? 0 : 0xFF000000u));
    }
    return photo;
}

// The marks of a document as ARGB pixels; no mask and a mask without marks are the same.
QImage marksOf(const PhotoDocument &document)
{
    return (
        document.hasMask() ? document.mask() : tolvane::tools::emptyMask(document.photo().size()))
        .convertToFormat(QImage::Format_ARGB32);
}

} // namespace

// The commands against a photo document, as the window pushes them.
class TestUndoCommands : public QObject
{
    Q_OBJECT

    PhotoDocument m_document;
    QUndoStack m_stack;
    QTemporaryDir m_tempDir;

    static void openIn(PhotoDocument &document, const QImage &photo)
    {
        document.open(QStringLiteral("photo.png"), photo, tolvane::tools::brightnessMap(photo), {});
    }
    const QImage &photo() const { return m_document.photo(); }
    int snapshots() const { return snapshotFilesIn(m_tempDir.path()); }

private slots:
    void initTestCase() { qputenv("TMPDIR", m_tempDir.path().toLocal8Bit()); }
    void init()
    {
        m_stack.clear();
        openIn(m_document, noisyPhoto(1));
    }

    // Snapshot files live as long as their command. Undo and redo wait for files still being
    // written, or write them themselves; commands go while their files are being written.
    void snapshotFilesLiveAsLongAsTheirCommand()
    {
        const QImage bigPhoto = noisyPhoto(8, 1500, 1000), bigMask = noisyPhoto(9, 1500, 1000),
                     bigResult = noisyPhoto(10, 1500, 1000);
        openIn(m_document, bigPhoto);
        m_stack.push(new SelectCommand(m_document, bigMask));
        m_stack.push(new ProcessCommand(m_document, bigResult));
        m_stack.undo();
        QCOMPARE(photo(), bigPhoto);
        QCOMPARE(marksOf(m_document), bigMask);
        m_stack.redo();
        QCOMPARE(photo(), bigResult);
        m_stack.undo();
        m_stack.push(new ProcessCommand(m_document, bigMask));
        m_stack.clear();
        QCOMPARE(snapshots(), 0);
    }

    // Any sequence of pushes, undos and redos leaves the document as pushing the commands that
    // are applied, in their order, does on a fresh one: the photo exactly (translucent pixels
    // too), the marks, the last control point, saved or not; each change is signalled.
    void randomHistoriesEqualTheirReplay()
    {
        std::mt19937 random(7);
        auto randomMask = [&] {
            QImage mask = tolvane::tools::emptyMask(QSize(12, 10));
            for (int i = int(random() % 6); i > 0; --i)
                mask.setPixel(int(random() % 12), int(random() % 10),
                    random() % 2 ? qPremultiply(0x96FF0000) : 0xFFFFFF00);
            return mask;
        };

        const QImage start = noisyPhoto(1);
        // As the window pushes them: the first smart-select commit starts from an empty mask.
        std::vector<std::function<void(PhotoDocument &, QUndoStack &)>>
            applied; // the commands on the stack, the first index() applied
        QSignalSpy photoChanges(&m_document, &PhotoDocument::photoChanged);
        QSignalSpy maskChanges(&m_document, &PhotoDocument::maskChanged);
        for (int round = 0; round < 300; ++round) {
            const QImage photoBefore = photo(), marksBefore = marksOf(m_document);
            const bool hadMask = m_document.hasMask();
            const qsizetype photoSignals = photoChanges.size(), maskSignals = maskChanges.size();
            const unsigned choice = random() % 6;
            if (choice < 2 && m_stack.canUndo()) {
                m_stack.undo();
            } else if (choice < 4 && m_stack.canRedo()) {
                m_stack.redo();
            } else {
                const unsigned kind = random() % 3;
                const QImage image = kind == 2 ? noisyPhoto(quint32(random()), 12, 10, random() % 2)
                                               : randomMask();
                const QPoint point(int(random() % 12), int(random() % 10));
                applied.resize(std::size_t(m_stack.index()));
                applied.push_back([kind, image, point](PhotoDocument &document, QUndoStack &stack) {
                    if (kind == 0) {
                        stack.push(new SelectCommand(document, image));
                    } else if (kind == 2) {
                        stack.push(new ProcessCommand(document, image));
                    } else {
                        if (!document.hasMask())
                            document.setMask(tolvane::tools::emptyMask(document.photo().size()));
                        stack.push(new SmartSelectCommand(document, image, point));
                    }
                });
                applied.back()(m_document, m_stack);
            }

            PhotoDocument replay;
            QUndoStack replayStack;
            openIn(replay, start);
            for (int i = 0; i < m_stack.index(); ++i)
                applied[std::size_t(i)](replay, replayStack);
            QCOMPARE(photo(), replay.photo());
            QCOMPARE(photo().format(), QImage::Format_ARGB32);
            QCOMPARE(marksOf(m_document), marksOf(replay));
            QVERIFY(photo() == photoBefore || photoChanges.size() > photoSignals);
            QVERIFY((marksOf(m_document) == marksBefore && m_document.hasMask() == hadMask)
                || maskChanges.size() > maskSignals);
            QCOMPARE(m_document.lastControlPoint(), replay.lastControlPoint());
            QCOMPARE(m_document.isModified(), replay.isModified());
        }
        m_stack.clear();
        QCOMPARE(snapshots(), 0);
    }

    // A copy keeps every pixel, wherever the marks fall against the blocks it copies.
    void maskCopiesAreExact()
    {
        QImage mask = tolvane::zeroImage(QSize(1031, 37), QImage::Format_ARGB32_Premultiplied);
        mask.setPixel(0, 0, 0xFFFFFF00);
        mask.setPixel(1030, 36, 0xFFFFFF00);
        for (quint32 i = 0, seed = 5; i < 60; ++i, seed = seed * 1664525u + 1013904223u)
            mask.setPixel(seed % 1031, (seed >> 16) % 37, i % 2 ? 0x96960000 : 0xFFFFFF00);
        QCOMPARE(tolvane::copyMask(mask), mask);
        QCOMPARE(tolvane::copyMask(mask).format(), mask.format());
        mask.fill(0x00FFFFFF); // unmarked, whatever its colour bits
        QVERIFY(!tolvane::hasMarks(mask));
    }
};

QTEST_MAIN(TestUndoCommands)
#include "tst_undocommands.moc"
