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

// Red marks from detection on row 3, yellow ones from smart selection on row 6.
QImage markedMask()
{
    QImage mask(12, 10, QImage::Format_ARGB32);
    mask.fill(0);
    for (int x = 2; x < 10; ++x) {
        mask.setPixel(x, 3, 0x96FF0000);
        mask.setPixel(x, 6, 0xFFFFFF00);
    }
    return mask;
}

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

QImage asArgb(const QImage &image)
{
    return image.convertToFormat(QImage::Format_ARGB32);
}

// The marks of a document as ARGB pixels; no mask and a mask without marks are the same.
QImage marksOf(const PhotoDocument &document)
{
    QImage marks = document.hasMask() ? asArgb(document.mask())
                                      : QImage(document.photo().size(), QImage::Format_ARGB32);
    if (!document.hasMask())
        marks.fill(0);
    return marks;
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
    void pushSelect(const QImage &mask) { m_stack.push(new SelectCommand(m_document, mask)); }
    void pushProcess(const QImage &result) { m_stack.push(new ProcessCommand(m_document, result)); }
    QImage mask() const { return asArgb(m_document.mask()); }
    const QImage &photo() const { return m_document.photo(); }
    int snapshots() const { return snapshotFilesIn(m_tempDir.path()); }

private slots:
    void initTestCase() { qputenv("TMPDIR", m_tempDir.path().toLocal8Bit()); }
    void init()
    {
        m_stack.clear();
        openIn(m_document, noisyPhoto(1));
    }

    // Undo brings the control point back with the mask; a mask that was not there brings no
    // earlier segment end to go back to.
    void smartSelectUndoRestoresControlPointWithItsMask()
    {
        m_document.setLastControlPoint(QPoint(4, 4));
        m_stack.push(new SmartSelectCommand(m_document, markedMask(), QPoint(7, 7)));
        m_stack.push(new SmartSelectCommand(m_document, markedMask(), QPoint(9, 9)));
        m_stack.undo();
        QCOMPARE(m_document.lastControlPoint(), QPoint(7, 7));
        m_stack.undo();
        QVERIFY(!m_document.hasMask());
        QCOMPARE(m_document.lastControlPoint(), QPoint(7, 7));
    }

    // Saved or not follows the photo through undo and redo.
    void savedStateFollowsThePhoto()
    {
        QSignalSpy modified(&m_document, &PhotoDocument::modifiedChanged);
        pushSelect(markedMask());
        QVERIFY(!m_document.isModified());
        pushProcess(noisyPhoto(2));
        m_document.markSaved();
        QVERIFY(!m_document.isModified());
        m_stack.undo();
        QVERIFY(m_document.isModified());
        m_stack.undo();
        QVERIFY(m_document.isModified()); // marks do not change the photo
        m_stack.redo();
        m_stack.redo();
        QVERIFY(!m_document.isModified());
        QCOMPARE(modified.size(), 4); // true, false, true, false
    }

    void snapshotFilesLiveAsLongAsTheirCommand()
    {
        pushSelect(markedMask());
        pushProcess(noisyPhoto(3));
        QCOMPARE(snapshots(), 2); // mask and photo
        m_stack.undo();
        QCOMPARE(snapshots(), 1); // the cleaned photo, for redo
        pushSelect(markedMask()); // discards the undone removal
        QCOMPARE(snapshots(), 1);
        m_stack.clear();
        QCOMPARE(snapshots(), 0);

        // Undo and redo wait for files still being written, or write them themselves; commands
        // go while their files are being written or wait to be.
        const QImage bigPhoto = noisyPhoto(8, 1500, 1000);
        const QImage bigMask = noisyPhoto(9, 1500, 1000);
        const QImage bigResult = noisyPhoto(10, 1500, 1000);
        openIn(m_document, bigPhoto);
        pushSelect(bigMask);
        pushProcess(bigResult);
        m_stack.undo();
        QCOMPARE(photo(), bigPhoto);
        QCOMPARE(mask(), bigMask);
        m_stack.redo();
        QCOMPARE(photo(), bigResult);
        m_stack.undo();
        pushProcess(bigMask);
        m_stack.clear();
        QCOMPARE(snapshots(), 0);
    }

    // Any sequence of pushes, undos and redos leaves the document as pushing the commands that
    // are applied, in their order, does on a fresh one: the photo exactly (translucent pixels
    // too), the marks, the last control point, saved or not; each change is signalled.
    void randomHistoriesEqualTheirReplay()
    {
        struct Push
        {
            enum { Select, SmartSelect, Process } kind;
            QImage image;
            QPoint point;
        };
        // As the window pushes: the first smart-select commit starts from an empty mask.
        auto apply = [](PhotoDocument &document, QUndoStack &stack, const Push &push) {
            switch (push.kind) {
            case Push::Select:
                stack.push(new SelectCommand(document, push.image));
                break;
            case Push::SmartSelect:
                if (!document.hasMask())
                    document.setMask(tolvane::tools::emptyMask(document.photo().size()));
                stack.push(new SmartSelectCommand(document, push.image, push.point));
                break;
            case Push::Process:
                stack.push(new ProcessCommand(document, push.image));
                break;
            }
        };
        std::mt19937 random(7);
        auto randomMask = [&] {
            QImage mask = tolvane::tools::emptyMask(QSize(12, 10));
            for (int i = int(random() % 6); i > 0; --i)
                mask.setPixel(int(random() % 12), int(random() % 10),
                    random() % 2 ? qPremultiply(0x96FF0000) : 0xFFFFFF00);
            return mask;
        };

        const QImage start = noisyPhoto(1);
        std::vector<Push> applied; // the commands on the stack, the first index() applied
        QSignalSpy photoChanges(&m_document, &PhotoDocument::photoChanged);
        QSignalSpy maskChanges(&m_document, &PhotoDocument::maskChanged);
        int steps = 0;
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
                Push push;
                const unsigned kind = random() % 3;
                if (kind == 0)
                    push = {Push::Select, randomMask(), {}};
                else if (kind == 1)
                    push = {Push::SmartSelect, randomMask(),
                        QPoint(int(random() % 12), int(random() % 10))};
                else
                    push = {Push::Process, noisyPhoto(quint32(random()), 12, 10, random() % 2), {}};
                applied.resize(std::size_t(m_stack.index()));
                applied.push_back(push);
                apply(m_document, m_stack, push);
            }
            ++steps;

            PhotoDocument replay;
            QUndoStack replayStack;
            openIn(replay, start);
            for (int i = 0; i < m_stack.index(); ++i)
                apply(replay, replayStack, applied[std::size_t(i)]);
            QCOMPARE(photo(), replay.photo());
            QCOMPARE(photo().format(), QImage::Format_ARGB32);
            QCOMPARE(marksOf(m_document), marksOf(replay));
            QVERIFY(photo() == photoBefore || photoChanges.size() > photoSignals);
            QVERIFY((marksOf(m_document) == marksBefore && m_document.hasMask() == hadMask)
                || maskChanges.size() > maskSignals);
            QCOMPARE(m_document.lastControlPoint(), replay.lastControlPoint());
            QCOMPARE(m_document.isModified(), replay.isModified());
        }
        QCOMPARE(steps, 300);
        m_stack.clear();
        QCOMPARE(snapshots(), 0);
    }

    // A copy keeps every pixel, wherever the marks fall against the blocks it copies.
    void maskCopiesAreExact()
    {
        QImage mask = tolvane::zeroImage(QSize(1031, 37), QImage::Format_ARGB32_Premultiplied);
        mask.setPixel(0, 0, 0xFFFFFF00);
        mask.setPixel(1030, 36, 0xFFFFFF00);
        quint32 seed = 5;
        for (int i = 0; i < 60; ++i) {
            seed = seed * 1664525u + 1013904223u;
            mask.setPixel(seed % 1031, (seed >> 16) % 37, i % 2 ? 0x96960000 : 0xFFFFFF00);
        }
        QCOMPARE(tolvane::copyMask(mask), mask);
        QCOMPARE(tolvane::copyMask(mask).format(), mask.format());
        mask.fill(0x00FFFFFF); // unmarked, whatever its colour bits
        QVERIFY(!tolvane::hasMarks(mask));
    }
};

QTEST_MAIN(TestUndoCommands)
#include "tst_undocommands.moc"
