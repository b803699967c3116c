#include <QAction>
#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QtTest>

#include "guitestsupport.h"
#include "selection/wiremask.h"
#include "undo/commands.h"
#include "undo/snapshot.h"

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

QImage noisyPhoto(quint32 seed, int w = 12, int h = 10)
{
    QImage photo(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            photo.setPixel(x, y, (seed = seed * 1664525u + 1013904223u) | 0xFF000000u);
    }
    return photo;
}

QImage shown(const QGraphicsPixmapItem *item)
{
    return item->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

// The commands against the main window's state as they see it: a scene and references into it.
class TestUndoCommands : public QObject
{
    Q_OBJECT

    QGraphicsScene m_scene;
    QGraphicsPixmapItem *m_photoItem = nullptr;
    QGraphicsPixmapItem *m_maskItem = nullptr;
    QImage m_photo;
    QPoint m_controlPoint;
    QUndoStack m_stack;
    QTemporaryDir m_tempDir;

    void pushSelect(const QImage &mask)
    {
        m_stack.push(new SelectCommand(m_maskItem, QPixmap::fromImage(mask), &m_scene));
    }
    void pushSmartSelect(const QImage &mask, QPoint end)
    {
        m_stack.push(new SmartSelectCommand(
            m_maskItem, QPixmap::fromImage(mask), &m_scene, m_controlPoint, end.x(), end.y()));
    }
    void pushProcess(const QImage &result)
    {
        auto *command = new ProcessCommand(result, &m_scene, m_photoItem, m_maskItem, m_photo);
        command->setText(QStringLiteral("Clear wires"));
        m_stack.push(command);
    }
    int snapshots() const { return snapshotFilesIn(m_tempDir.path()); }

private slots:
    void initTestCase() { qputenv("TMPDIR", m_tempDir.path().toLocal8Bit()); }
    void init()
    {
        m_stack.clear();
        m_scene.clear();
        m_maskItem = nullptr;
        m_photo = noisyPhoto(1);
        m_photoItem = m_scene.addPixmap(QPixmap::fromImage(m_photo));
    }

    void selectUndoRestoresEarlierMaskOrNone()
    {
        pushSelect(markedMask());
        QCOMPARE(m_maskItem->zValue(), 11.0);
        QCOMPARE(m_maskItem->pos(), QPointF(10, 10));
        QCOMPARE(shown(m_maskItem), markedMask());
        QCOMPARE(snapshots(), 0); // there was no mask to save

        QImage next(12, 10, QImage::Format_ARGB32);
        next.fill(0x00FFFFFF); // unmarked, whatever its colour bits
        pushSelect(next);
        m_stack.undo();
        QCOMPARE(shown(m_maskItem), markedMask());
        m_stack.undo();
        QVERIFY(!m_maskItem);
        QCOMPARE(m_scene.items().size(), 1);
    }

    void smartSelectUndoRestoresControlPointWithItsMask()
    {
        m_controlPoint = QPoint(4, 4);
        pushSmartSelect(markedMask(), QPoint(7, 7));
        QCOMPARE(m_controlPoint, QPoint(7, 7));
        QImage more = markedMask();
        more.setPixel(0, 0, 0xFFFFFF00);
        pushSmartSelect(more, QPoint(9, 9));
        m_stack.undo();
        QCOMPARE(m_controlPoint, QPoint(7, 7));
        QCOMPARE(shown(m_maskItem), markedMask());
        // No earlier mask came back, so there is no earlier segment end to return to.
        m_stack.undo();
        QVERIFY(!m_maskItem);
        QCOMPARE(m_controlPoint, QPoint(7, 7));
    }

    // The photo takes the computed pixels exactly, translucent ones too, and undo brings the
    // old photo and both kinds of marks back.
    void processAndUndoAreExact()
    {
        const QImage before = m_photo;
        pushSelect(markedMask());
        QImage result = noisyPhoto(2);
        result.setPixel(0, 0, 0x80123456);
        result.setPixel(1, 0, 0x00ABCDEF);
        pushProcess(result);
        QVERIFY(!m_maskItem);
        QCOMPARE(m_photo, result);
        QCOMPARE(m_photoItem->zValue(), 10.0);

        m_stack.undo();
        QCOMPARE(m_photo.format(), QImage::Format_ARGB32);
        QCOMPARE(m_photo, before);
        QCOMPARE(shown(m_photoItem), before);
        QCOMPARE(shown(m_maskItem), markedMask());
    }

    void snapshotFilesLiveAsLongAsTheirCommand()
    {
        pushSelect(markedMask());
        pushProcess(noisyPhoto(3));
        QCOMPARE(snapshots(), 2); // mask and photo
        m_stack.undo();
        QCOMPARE(snapshots(), 2);
        pushSelect(markedMask()); // discards the undone removal
        QCOMPARE(snapshots(), 1);
        m_stack.clear();
        QCOMPARE(snapshots(), 0);

        // Undo waits for files still being written, or writes them itself; commands go while
        // their files are being written or wait to be.
        const QImage bigPhoto = noisyPhoto(8, 1500, 1000);
        const QImage bigMask = noisyPhoto(9, 1500, 1000);
        m_photo = bigPhoto;
        pushSelect(bigMask);
        pushProcess(noisyPhoto(10, 1500, 1000));
        m_stack.undo();
        QCOMPARE(m_photo, bigPhoto);
        QCOMPARE(shown(m_maskItem), bigMask);
        pushProcess(bigMask);
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
    }

    void undoActionNamesOnlyTheRemoval()
    {
        std::unique_ptr<QAction> undo(m_stack.createUndoAction(nullptr));
        QVERIFY(!undo->isEnabled());
        pushSelect(markedMask());
        QCOMPARE(undo->text(), QStringLiteral("Undo"));
        pushProcess(noisyPhoto(4));
        QCOMPARE(undo->text(), QStringLiteral("Undo Clear wires"));
        undo->trigger();
        undo->trigger();
        QVERIFY(!undo->isEnabled());
    }

    // Without a writable temporary folder the state is kept in memory: undo still works.
    void unwritableTemporaryFolderKeepsStateInMemory_data()
    {
        QTest::addColumn<QString>("tmpdir");
        QTest::newRow("missing") << m_tempDir.filePath(QStringLiteral("no/such"));
        QTest::newRow("a file") << m_tempDir.filePath(QStringLiteral("plain"));
    }
    void unwritableTemporaryFolderKeepsStateInMemory()
    {
        QFETCH(QString, tmpdir);
        QFile(m_tempDir.filePath(QStringLiteral("plain"))).open(QIODevice::WriteOnly);
        qputenv("TMPDIR", tmpdir.toLocal8Bit());
        const QImage before = m_photo;
        pushSelect(markedMask());
        pushSelect(markedMask());
        pushProcess(noisyPhoto(5));
        Snapshot::waitForWrites();
        // Nothing lands anywhere else instead (the toolkit falls back to the root folder).
        QCOMPARE(QDir::root().entryList({QStringLiteral("*.??????")}, QDir::Files), {});
        m_stack.undo();
        m_stack.undo();
        qputenv("TMPDIR", m_tempDir.path().toLocal8Bit());
        QFile::remove(m_tempDir.filePath(QStringLiteral("plain")));
        QCOMPARE(m_photo, before);
        QCOMPARE(shown(m_maskItem), markedMask());
    }
};

QTEST_MAIN(TestUndoCommands)
#include "tst_undocommands.moc"
