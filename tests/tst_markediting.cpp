#include <QAction>
#include <QGraphicsPixmapItem>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QUrl>
#include <QtTest>

#include "app/mainwindow.h"
#include "canvas/kestgraphicsview.h"
#include "core/parameters.h"
#include "guitestsupport.h"
#include "image/imagefiles.h"
#include "image/wiremask.h"
#include "windowsession.h"

namespace {

// 80 x 40 of white with a dark two-row wire on rows 10-11 from column 5 through 64, and the
// marks that Autodetect gives it.
QImage wireImage(QRgb background, QRgb wire)
{
    QImage image(80, 40, QImage::Format_ARGB32);
    image.fill(background);
    for (int x = 5; x < 65; ++x) {
        image.setPixel(x, 10, wire);
        image.setPixel(x, 11, wire);
    }
    return image;
}

const QImage photoWithWire = wireImage(0xFFFFFFFF, 0xFF282828);
const QImage detectedMarks = wireImage(0, tolvane::detectionMark);

// A window with the wire photo open, driven as the user drives it; the canvas at scale 1.
struct Session : WindowSession
{
    KestGraphicsView *view = window.findChild<KestGraphicsView *>();

    explicit Session(const QString &photo)
    {
        prompts.openAnswers = {photo};
        trigger("actionOpen");
        view->resize(400, 300);
        view->resetTransform();
    }
    // A mouse event on the canvas at photo pixel (x, y)'s centre.
    void mouse(QEvent::Type type, double x, double y, Qt::MouseButton button = Qt::LeftButton,
        Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        const QPointF pos = view->viewportTransform().map(QPointF(x + 10.5, y + 10.5));
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
        QMouseEvent event(type, pos, view->viewport()->mapToGlobal(pos), button, held, modifiers);
        QCoreApplication::sendEvent(view->viewport(), &event);
    }
    void drag(QList<QPointF> points)
    {
        mouse(QEvent::MouseButtonPress, points.first().x(), points.first().y());
        for (const QPointF &p : points.mid(1))
            mouse(QEvent::MouseMove, p.x(), p.y());
        mouse(QEvent::MouseButtonRelease, points.last().x(), points.last().y());
    }
    void key(QEvent::Type type, int key)
    {
        QKeyEvent event(type, key, Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &event);
    }
    QImage shownPhoto() const
    {
        return window.photoItem()->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    }
};

// `marks` with every pixel of rows y0..y1 and columns x0..x1 cleared.
QImage cleared(QImage marks, int x0, int x1, int y0, int y1)
{
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            marks.setPixel(x, y, 0);
    return marks;
}

} // namespace

// Editing the marks by hand and looking at them, in the window.
class TestMarkEditing : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    QTemporaryDir m_files;
    QTemporaryDir m_snapshots;
    QString m_photo;

private slots:
    void initTestCase()
    {
        useTemporarySettings(m_settingsDir);
        m_photo = writePhoto(m_files, QStringLiteral("wire.png"), photoWithWire);
        qputenv("TMPDIR", m_snapshots.path().toLocal8Bit());
    }
    void cleanup() { QCOMPARE(snapshotFilesIn(m_snapshots.path()), 0); }

    // The parameter boxes take the keyboard focus and typed values, step by tens above 100,
    // and have names for assistive tools.
    void parameterBoxes()
    {
        Session s(m_photo);
        s.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&s.window));
        auto *length = s.window.findChild<QSpinBox *>(QStringLiteral("spinBox_2"));
        QTest::mouseClick(length, Qt::LeftButton, {}, length->rect().center() - QPoint(10, 0));
        QVERIFY(length->hasFocus());
        QTest::keyClick(length, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(length, "300");
        QCOMPARE(length->value(), 30); // taken when typing ends
        QTest::keyClick(length, Qt::Key_Return);
        QCOMPARE(length->value(), 300);
        QTest::keyClick(length, Qt::Key_Up);
        QCOMPARE(length->value(), 310);
        QTest::keyClick(length, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("padspinbox"));
        QCOMPARE(length->accessibleName(), QStringLiteral("Length Threshold"));
    }

    // After Open of a large photo the status bar suggests thresholds in proportion to its size
    // (the defaults suit 1600 pixels), which one action puts in the boxes; the defaults stay.
    void suggestedThresholds()
    {
        Session s(QString {});
        QVERIFY(s.window.openPhoto(
            writePhoto(m_files, QStringLiteral("wide.png"), patternPhoto(6000, 40))));
        QCOMPARE(statusMessage(s.window),
            QStringLiteral("For a photo of this size Width Threshold 15 and Length Threshold 113 "
                           "may find more (Edit > Use thresholds for this photo's size)"));
        auto *width = s.window.findChild<QSpinBox *>(QStringLiteral("spinBox"));
        auto *length = s.window.findChild<QSpinBox *>(QStringLiteral("spinBox_2"));
        QCOMPARE(width->value(), 4);
        s.trigger("actionSuggestedThresholds");
        QCOMPARE(width->value(), 15);
        QCOMPARE(length->value(), 113);
        QVERIFY(s.window.openPhoto(m_photo));
        QCOMPARE(statusMessage(s.window), QString());
        QCOMPARE(width->value(), 4);
        s.trigger("actionSuggestedThresholds");
        QCOMPARE(length->value(), 30);
        using tolvane::parameters::suggestedValue;
        QCOMPARE(suggestedValue(tolvane::parameters::lengthThreshold, 1'000'000), 999);
    }

    // Autodetect says what it found, and keeps the marks made by hand while it replaces those
    // of an earlier detection.
    void autodetectKeepsHandMarks()
    {
        Session s(m_photo);
        s.trigger("actionMarkBrush");
        s.window.findChild<QSpinBox *>(QStringLiteral("brushSizeBox"))->setValue(3);
        s.drag({{5, 30.5}, {64, 30.5}});
        const QImage painted = s.marks();
        s.trigger("actionSelect");
        QCOMPARE(statusMessage(s.window),
            QStringLiteral("Autodetect found 1 wire trace, 120 pixels marked"));
        QImage expected = painted;
        for (int y : {10, 11})
            for (int x = 5; x < 65; ++x)
                expected.setPixel(x, y, tolvane::detectionMark);
        QCOMPARE(s.marks(), expected);
        s.trigger("actionSelect");
        QCOMPARE(s.marks(), expected);
        QCOMPARE(s.stack().count(), 3);
    }

    // One tool at a time: each one checked puts the others away, and the canvas follows.
    void toolsAreExclusive()
    {
        Session s(m_photo);
        using Tool = KestGraphicsView::Tool;
        s.trigger("actionSmartSelect");
        QCOMPARE(s.view->tool(), Tool::SmartSelect);
        s.trigger("actionEraser");
        QVERIFY(!s.action("actionSmartSelect")->isChecked());
        QCOMPARE(s.view->tool(), Tool::Eraser);
        s.trigger("actionMarkBrush");
        QVERIFY(!s.action("actionEraser")->isChecked());
        QCOMPARE(s.view->tool(), Tool::Brush);
        s.trigger("actionMarkBrush");
        QCOMPARE(s.view->tool(), Tool::None);
    }

    // An eraser stroke of a 6-pixel brush along row 10 from column 20 to 30 unmarks the pixel
    // centres within 3 of it: columns 17..33 of row 10 and, rounder at the ends, 18..32 of
    // row 11. It is one step, which undo and redo take
    // back and forth; a stroke over nothing marked is no step.
    void eraserStroke()
    {
        Session s(m_photo);
        s.trigger("actionSelect");
        QCOMPARE(s.marks(), detectedMarks);
        s.trigger("actionEraser");
        s.window.findChild<QSpinBox *>(QStringLiteral("brushSizeBox"))->setValue(6);
        s.drag({{20, 10}, {25, 10}, {30, 10}});
        QCOMPARE(s.stack().count(), 2);
        QCOMPARE(s.stack().undoText(), QStringLiteral("Erase marks"));
        const QImage erased = cleared(cleared(detectedMarks, 17, 33, 10, 10), 18, 32, 11, 11);
        QCOMPARE(s.marks(), erased);
        QCOMPARE(
            s.window.maskItem()->pixmap().toImage().convertToFormat(QImage::Format_ARGB32), erased);
        s.stack().undo();
        QCOMPARE(s.marks(), detectedMarks);
        s.stack().redo();
        QCOMPARE(s.marks(), erased);

        s.drag({{20, 30}, {60, 30}});
        QCOMPARE(s.stack().count(), 2);
        // The stroke's preview is gone with the release.
        QCOMPARE(s.view->scene()->items().size(), 4); // backdrop, photo, marks, cursor circle
    }

    // The mark brush works without a mask: the marks it paints have their own colour, Process
    // removes them, and undo goes back to no mask at all.
    void markBrush()
    {
        Session s(m_photo);
        s.trigger("actionMarkBrush");
        s.window.findChild<QSpinBox *>(QStringLiteral("brushSizeBox"))->setValue(3);
        s.drag({{5, 10.5}, {64, 10.5}});
        QCOMPARE(s.stack().undoText(), QStringLiteral("Paint marks"));
        QImage expected = wireImage(0, tolvane::brushMark);
        for (int y : {9, 12})
            for (int x = 4; x <= 65; ++x)
                expected.setPixel(x, y, x == 4 || x == 65 ? 0 : tolvane::brushMark);
        for (int y : {10, 11}) {
            expected.setPixel(4, y, tolvane::brushMark);
            expected.setPixel(65, y, tolvane::brushMark);
        }
        // Premultiplied in the document; the same marks.
        QCOMPARE(tolvane::markedPixelCount(s.window.document().mask()), 4 * 60 + 4);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 80; ++x)
                QCOMPARE(qAlpha(s.marks().pixel(x, y)) != 0, qAlpha(expected.pixel(x, y)) != 0);
        s.trigger("actionProcess");
        QCOMPARE(s.window.photo().pixel(30, 10), 0xFFFFFFFFu);
        QCOMPARE(s.window.photo().pixel(30, 11), 0xFFFFFFFFu);
        s.stack().undo();
        s.stack().undo();
        QVERIFY(!s.window.document().hasMask());
    }

    // Alt+click with the eraser beside the wire drops all of it in one step; beyond the reach
    // it says why and does nothing.
    void dropTrace()
    {
        Session s(m_photo);
        s.trigger("actionSelect");
        s.trigger("actionEraser");
        s.window.findChild<QSpinBox *>(QStringLiteral("brushSizeBox"))->setValue(4);
        s.mouse(QEvent::MouseButtonPress, 40, 30, Qt::LeftButton, Qt::AltModifier);
        QCOMPARE(s.stack().count(), 1);
        QCOMPARE(statusMessage(s.window), QStringLiteral("No marks within 6 pixels of the click"));
        s.mouse(QEvent::MouseButtonPress, 40, 14, Qt::LeftButton, Qt::AltModifier);
        QCOMPARE(s.stack().count(), 2);
        QCOMPARE(s.stack().undoText(), QStringLiteral("Drop trace"));
        QCOMPARE(statusMessage(s.window), QStringLiteral("Unmarked a trace of 120 pixels"));
        QVERIFY(!tolvane::hasMarks(s.window.document().mask()));
        s.stack().undo();
        QCOMPARE(s.marks(), detectedMarks);
    }

    // [ and ] step the brush by a tenth, at least one pixel; the canvas's circle follows and
    // the size is remembered for the next window.
    void brushSize()
    {
        {
            Session s(m_photo);
            auto *box = s.window.findChild<QSpinBox *>(QStringLiteral("brushSizeBox"));
            box->setValue(5);
            s.trigger("actionBrushLarger");
            QCOMPARE(box->value(), 6);
            box->setValue(50);
            s.trigger("actionBrushSmaller");
            QCOMPARE(box->value(), 45);
            QCOMPARE(s.view->brushSize(), 45);
            s.trigger("actionEraser");
            s.mouse(QEvent::MouseMove, 20, 20);
            QCOMPARE(s.view->cursorCircle()->rect().size(), QSizeF(45, 45));
        }
        Session again(m_photo);
        QCOMPARE(again.view->brushSize(), 45);
    }

    // M hides and shows the marks, also across new masks; backslash held shows the photo as
    // opened without marks, after a removal too, and its release brings the work back.
    void hideMarksAndBeforeAfter()
    {
        Session s(m_photo);
        s.trigger("actionSelect");
        s.trigger("actionShowMarks");
        QVERIFY(!s.window.maskItem()->isVisible());
        s.stack().undo();
        s.stack().redo();
        QVERIFY(!s.window.maskItem()->isVisible());
        s.trigger("actionShowMarks");
        QVERIFY(s.window.maskItem()->isVisible());

        s.trigger("actionProcess");
        s.trigger("actionSelect"); // finds nothing: an empty mask
        QCOMPARE(s.shownPhoto(), wireImage(0xFFFFFFFF, 0xFFFFFFFF));
        s.key(QEvent::KeyPress, Qt::Key_Backslash);
        QVERIFY(s.window.isShowingBefore());
        QCOMPARE(s.shownPhoto(), photoWithWire);
        QVERIFY(!s.window.maskItem()->isVisible());
        s.key(QEvent::KeyRelease, Qt::Key_Backslash);
        QVERIFY(!s.window.isShowingBefore());
        QCOMPARE(s.shownPhoto(), wireImage(0xFFFFFFFF, 0xFFFFFFFF));
        QVERIFY(s.window.maskItem()->isVisible());
        QCOMPARE(s.window.photo(), wireImage(0xFFFFFFFF, 0xFFFFFFFF));
    }

    // Save mask writes tolvane-cli's mask format, which Load mask reads back as one step. A
    // mask of another size or an unreadable file is refused with the reason, changing nothing.
    void maskFiles()
    {
        const QString saved = m_files.filePath(QStringLiteral("marks"));
        {
            Session s(m_photo);
            s.trigger("actionSaveMask");
            QCOMPARE(statusMessage(s.window), QStringLiteral("No marks to save"));
            s.trigger("actionSelect");
            s.prompts.saveAnswers = {saved};
            s.trigger("actionSaveMask");
            QCOMPARE(statusMessage(s.window), QStringLiteral("Mask saved to %1.png").arg(saved));
            QCOMPARE(tolvane::readMask(saved + ".png"), detectedMarks);
        }
        Session s(m_photo);
        const QString small
            = writePhoto(m_files, QStringLiteral("small.png"), QImage(8, 8, QImage::Format_ARGB32));
        const QString broken = m_files.filePath(QStringLiteral("broken.png"));
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("not a PNG") > 0);
        file.close();
        s.prompts.openAnswers = {small, broken, saved + ".png"};
        s.trigger("actionLoadMask");
        QCOMPARE(statusMessage(s.window),
            QStringLiteral("small.png: the mask is 8x8, the photo 80x40; not loaded"));
        s.trigger("actionLoadMask");
        QCOMPARE(statusMessage(s.window), QStringLiteral("broken.png: Failed to read the mask"));
        QCOMPARE(s.stack().count(), 0);
        QVERIFY(!s.window.document().hasMask());
        s.trigger("actionLoadMask");
        QCOMPARE(statusMessage(s.window),
            QStringLiteral("Loaded the mask marks.png: 120 pixels marked"));
        QCOMPARE(s.stack().undoText(), QStringLiteral("Load mask"));
        QCOMPARE(s.marks(), detectedMarks);
        s.trigger("actionProcess");
        QCOMPARE(s.window.photo(), wireImage(0xFFFFFFFF, 0xFFFFFFFF));
    }

    // Ctrl+1 shows one screen pixel per photo pixel, Ctrl+0 all of it; the wheel zooms in
    // steps of the zoom buttons keeping the point under the pointer in place; the middle
    // button and space+drag move the picture.
    void navigation()
    {
        Session s(QString {});
        const QString big = writePhoto(m_files, QStringLiteral("big.png"), patternPhoto(900, 700));
        QVERIFY(s.window.openPhoto(big));
        s.view->resize(300, 200);
        s.trigger("actionActualSize");
        QCOMPARE(s.view->zoom(), 1.0);
        s.trigger("actionFitToWindow");
        QVERIFY(s.view->zoom() < 0.3);
        // Zoom steps from the fit land on 100 % on their way, and back again.
        QList<double> steps;
        while (s.view->zoom() <= 1.2 && steps.size() < 50) {
            s.trigger("actionZoomPlus");
            steps << s.view->zoom();
        }
        QVERIFY(steps.contains(1.0));
        while (s.view->zoom() > 1)
            s.trigger("actionZoomMinus");
        QCOMPARE(s.view->zoom(), 1.0);
        s.trigger("actionActualSize");

        const QPoint pointer(100, 80);
        const QPointF under = s.view->mapToScene(pointer);
        QWheelEvent wheel(pointer, s.view->viewport()->mapToGlobal(pointer), QPoint(),
            QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(s.view->viewport(), &wheel);
        QVERIFY(qFuzzyCompare(s.view->zoom(), 1.2));
        QVERIFY((s.view->mapToScene(pointer) - under).manhattanLength() < 1.5);

        auto scrolled = [&] {
            return QPoint(
                s.view->horizontalScrollBar()->value(), s.view->verticalScrollBar()->value());
        };
        const QPoint before = scrolled();
        s.mouse(QEvent::MouseButtonPress, 300, 300, Qt::MiddleButton);
        s.mouse(QEvent::MouseMove, 280, 290, Qt::MiddleButton);
        s.mouse(QEvent::MouseButtonRelease, 280, 290, Qt::MiddleButton);
        QVERIFY(scrolled() != before);

        // Space held: a left drag moves the picture and paints nothing.
        s.trigger("actionMarkBrush");
        QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
        QCoreApplication::sendEvent(s.view, &space);
        const QPoint moved = scrolled();
        s.drag({{300, 300}, {320, 310}});
        QVERIFY(scrolled() != moved);
        QCOMPARE(s.stack().count(), 0);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier);
        QCoreApplication::sendEvent(s.view, &release);
        s.drag({{300, 300}, {320, 310}});
        QCOMPARE(s.stack().count(), 1);
    }

    // A photo file dropped on the window opens, after the question about an unsaved removal:
    // cancelled, nothing changes.
    void dropPhotoFile()
    {
        Session s(m_photo);
        const QString other
            = writePhoto(m_files, QStringLiteral("other.png"), patternPhoto(30, 20));
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(other)});
        auto drop = [&] {
            QDragEnterEvent enter(
                QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(&s.window, &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent event(
                QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(&s.window, &event);
        };
        s.trigger("actionSelect");
        s.trigger("actionProcess");
        s.prompts.saveChangesAnswer = QMessageBox::Cancel;
        drop();
        QCOMPARE(s.prompts.saveChangesAsked, 1);
        QCOMPARE(s.window.filePath(), m_photo);
        s.prompts.saveChangesAnswer = QMessageBox::Discard;
        drop();
        QCOMPARE(s.window.filePath(), other);
        QCOMPARE(s.window.photo().size(), QSize(30, 20));

        QMimeData text;
        text.setText(QStringLiteral("hello"));
        QDragEnterEvent enter(
            QPoint(50, 50), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&s.window, &enter);
        QVERIFY(!enter.isAccepted());
    }
};

QTEST_MAIN(TestMarkEditing)
#include "tst_markediting.moc"
