#include <QAction>
#include <QDir>
#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QtTest>

#include "guitestsupport.h"
#include "undo/commands.h"

namespace {

// A mask with marks of both tools: red from detection, yellow from smart selection.
QImage markedMask(int w, int h)
{
    QImage mask(w, h, QImage::Format_ARGB32);
    mask.fill(0);
    for (int x = 2; x < w - 2; ++x) {
        mask.setPixel(x, 3, 0x96FF0000);
        mask.setPixel(x, 6, 0xFFFFFF00);
    }
    return mask;
}

QImage noisyPhoto(int w, int h, quint32 seed)
{
    QImage photo(w, h, QImage::Format_ARGB32);
    quint32 state = seed;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            state = state * 1664525u + 1013904223u;
            photo.setPixel(x, y, state | 0xFF000000u);
        }
    }
    return photo;
}

QImage asArgb(const QPixmap &pixmap)
{
    return pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

// The main window's state as the commands see it: a scene and references into it.
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
    QByteArray m_savedTmpDir;

    void showPhoto(const QImage &photo)
    {
        m_photo = photo;
        m_photoItem = m_scene.addPixmap(QPixmap::fromImage(photo));
    }
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

private slots:
    void initTestCase()
    {
        QVERIFY(m_tempDir.isValid());
        m_savedTmpDir = qgetenv("TMPDIR");
        qputenv("TMPDIR", m_tempDir.path().toLocal8Bit());
    }
    void cleanupTestCase() { qputenv("TMPDIR", m_savedTmpDir); }
    void init()
    {
        m_stack.clear();
        m_scene.clear();
        m_photoItem = m_maskItem = nullptr;
        m_controlPoint = QPoint(-100, -100);
        showPhoto(noisyPhoto(12, 10, 1));
    }

    void selectReplacesMaskAndUndoReturnsToNoMask()
    {
        pushSelect(markedMask(12, 10));
        QVERIFY(m_maskItem);
        QCOMPARE(m_maskItem->zValue(), 11.0);
        QCOMPARE(m_maskItem->pos(), QPointF(10, 10));
        QCOMPARE(m_maskItem->transformationMode(), Qt::SmoothTransformation);
        QCOMPARE(asArgb(m_maskItem->pixmap()), markedMask(12, 10));
        QVERIFY2(
            snapshotFilesIn(m_tempDir.path()) == 0, "no mask existed, so no snapshot is written");

        m_stack.undo();
        QVERIFY(!m_maskItem);
        QCOMPARE(m_scene.items().size(), 1);
    }

    void selectOverEarlierMaskRestoresItOnUndo()
    {
        QImage first(12, 10, QImage::Format_ARGB32);
        first.fill(0);
        first.setPixel(5, 5, 0x01000000); // alpha 1, no colour: still a mark
        pushSelect(first);
        pushSelect(markedMask(12, 10));
        QCOMPARE(snapshotFilesIn(m_tempDir.path()), 1);
        m_stack.undo();
        QCOMPARE(asArgb(m_maskItem->pixmap()), first);
        QCOMPARE(m_scene.items().size(), 2);
    }

    void smartSelectStepsUndoMasksAndControlPoints()
    {
        QImage empty(12, 10, QImage::Format_ARGB32);
        empty.fill(0);
        QImage one = empty;
        one.setPixel(1, 1, 0xFFFFFF00);
        QImage two = one;
        two.setPixel(2, 2, 0xFFFFFF00);

        // Smart selection creates an empty mask before its first commit.
        m_maskItem = m_scene.addPixmap(QPixmap::fromImage(empty));
        m_controlPoint = QPoint(1, 1);
        pushSmartSelect(one, QPoint(2, 2));
        QCOMPARE(m_controlPoint, QPoint(2, 2));
        pushSmartSelect(two, QPoint(3, 3));
        QCOMPARE(m_controlPoint, QPoint(3, 3));
        QCOMPARE(asArgb(m_maskItem->pixmap()), two);

        m_stack.undo();
        QCOMPARE(m_controlPoint, QPoint(2, 2));
        QCOMPARE(asArgb(m_maskItem->pixmap()), one);
        m_stack.undo();
        QCOMPARE(m_controlPoint, QPoint(1, 1));
        QCOMPARE(asArgb(m_maskItem->pixmap()), empty);
    }

    void smartSelectUndoWithoutEarlierMaskKeepsControlPoint()
    {
        m_controlPoint = QPoint(4, 4);
        pushSmartSelect(markedMask(12, 10), QPoint(7, 7));
        m_stack.undo();
        QVERIFY(!m_maskItem);
        QCOMPARE(m_controlPoint, QPoint(7, 7));
    }

    void processThenUndoRestoresPhotoAndMarks()
    {
        const QImage before = m_photo;
        pushSelect(markedMask(12, 10));
        const QImage cleaned = noisyPhoto(12, 10, 2);
        pushProcess(cleaned);
        QVERIFY(!m_maskItem);
        QCOMPARE(m_photo, cleaned);
        QCOMPARE(m_photoItem->zValue(), 10.0);
        QCOMPARE(m_photoItem->pos(), QPointF(10, 10));

        m_stack.undo();
        QCOMPARE(m_photo.format(), QImage::Format_ARGB32);
        QCOMPARE(m_photo, before);
        QCOMPARE(asArgb(m_photoItem->pixmap()), before);
        QVERIFY(m_maskItem);
        QCOMPARE(asArgb(m_maskItem->pixmap()), markedMask(12, 10));
        QCOMPARE(m_scene.items().size(), 2);
    }

    // The photo keeps the computed pixels even where they are not fully opaque, so that
    // saving after a removal writes exactly them.
    void processKeepsTranslucentResultExactly()
    {
        pushSelect(markedMask(12, 10));
        QImage result = noisyPhoto(12, 10, 3);
        for (int x = 0; x < 12; ++x) {
            result.setPixel(x, 0, 0x80123456);
            result.setPixel(x, 1, 0x01FFFFFF);
            result.setPixel(x, 2, 0x00ABCDEF);
        }
        pushProcess(result);
        QCOMPARE(m_photo, result);
        m_stack.undo();
        pushSelect(markedMask(12, 10));
        QCOMPARE(m_stack.count(), 2); // the undone removal was discarded
    }

    void undoneCommandsLoseTheirSnapshotsOnNextPush()
    {
        pushSelect(markedMask(12, 10));
        pushProcess(noisyPhoto(12, 10, 4));
        QCOMPARE(snapshotFilesIn(m_tempDir.path()), 2); // mask and photo
        m_stack.undo();
        QCOMPARE(snapshotFilesIn(m_tempDir.path()), 2);
        pushSelect(markedMask(12, 10));
        QCOMPARE(snapshotFilesIn(m_tempDir.path()), 1); // only the new command's snapshot
        m_stack.clear();
        QCOMPARE(snapshotFilesIn(m_tempDir.path()), 0);
    }

    void undoActionNamesOnlyTheRemoval()
    {
        std::unique_ptr<QAction> undo(m_stack.createUndoAction(nullptr));
        QVERIFY(!undo->isEnabled());
        pushSelect(markedMask(12, 10));
        QVERIFY(undo->isEnabled());
        QCOMPARE(undo->text(), QStringLiteral("Undo"));
        pushProcess(noisyPhoto(12, 10, 5));
        QCOMPARE(undo->text(), QStringLiteral("Undo Clear wires"));
        undo->trigger();
        QCOMPARE(undo->text(), QStringLiteral("Undo"));
        undo->trigger();
        QVERIFY(!undo->isEnabled());
    }

    // Without a writable temporary folder the state is kept in memory: undo must still bring
    // the photo back.
    void unwritableTemporaryFolderKeepsStateInMemory_data()
    {
        QTest::addColumn<QString>("tmpdir");
        QTest::newRow("missing") << m_tempDir.filePath(QStringLiteral("does/not/exist"));
        QTest::newRow("a file, not a folder") << m_tempDir.filePath(QStringLiteral("plain"));
    }
    void unwritableTemporaryFolderKeepsStateInMemory()
    {
        QFETCH(QString, tmpdir);
        QFile plain(m_tempDir.filePath(QStringLiteral("plain")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        qputenv("TMPDIR", tmpdir.toLocal8Bit());
        const QImage before = m_photo;
        pushSelect(markedMask(12, 10));
        pushProcess(noisyPhoto(12, 10, 6));
        m_stack.undo();
        qputenv("TMPDIR", m_tempDir.path().toLocal8Bit());
        QCOMPARE(m_photo, before);
        QVERIFY(m_maskItem);
        QCOMPARE(asArgb(m_maskItem->pixmap()), markedMask(12, 10));
        m_stack.undo();
        QVERIFY(!m_maskItem);
        plain.remove();
    }
};

QTEST_MAIN(TestUndoCommands)
#include "tst_undocommands.moc"
