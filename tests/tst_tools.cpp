#include <QComboBox>
#include <QMouseEvent>
#include <QProgressBar>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include "datatable.h"
#include "document/tools.h"
#include "image/imagefiles.h"
#include "image/wiremask.h"
#include "windowsession.h"

namespace {

const QImage photoWithWire = wireImage(0xFFFFFFFF, 0xFF282828);
const QImage cleanPhoto = wireImage(0xFFFFFFFF, 0xFFFFFFFF);
// The marks that Autodetect gives it.
const QImage detectedMarks = wireImage(0, tolvane::detectionMark);

// A window with the wire photo open (unless none is named), driven as the user drives it; the
// canvas at scale 1.
struct Session : WindowSession
{
    explicit Session(const QString &photo = {})
    {
        if (!photo.isEmpty())
            open(photo);
        view()->resize(400, 300);
        view()->resetTransform();
    }
    // A mouse event on the canvas at photo pixel (x, y)'s centre.
    void mouse(QEvent::Type type, double x, double y, Qt::MouseButton button = Qt::LeftButton,
        Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        const QPointF pos = view()->viewportTransform().map(QPointF(x + 10.5, y + 10.5));
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
        QMouseEvent event(type, pos, view()->viewport()->mapToGlobal(pos), button, held, modifiers);
        QCoreApplication::sendEvent(view()->viewport(), &event);
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

// The tools as the user drives them: Select, Process, smart selection, editing the marks by
// hand and looking at them, and the questions before work is lost.
class TestTools : public QObject
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
        m_photo = writePhoto(m_files, "wire.png", photoWithWire);
        qputenv("TMPDIR", m_snapshots.path().toLocal8Bit());
    }
    // Every window takes its snapshot files with it.
    void cleanup() { QCOMPARE(snapshotFilesIn(m_snapshots.path()), 0); }

    // Nothing marked, Process does nothing. Select reads the thresholds when it runs; Process
    // fills what it marked, and undo brings the wire and its marks back: nothing is left to
    // lose.
    void selectAndProcess()
    {
        Session s(m_photo);
        s.trigger("actionProcess");
        QCOMPARE(s.count(), 0);
        s.trigger("actionSelect");
        QCOMPARE(s.mask(), detectedMarks);
        QVERIFY(!s.window.hasUnsavedChanges());

        s.trigger("actionProcess");
        QVERIFY(!s.window.maskItem());
        QCOMPARE(s.window.photo(), cleanPhoto);
        QCOMPARE(s.stack().undoText(), "Clear wires");
        QCOMPARE(snapshotFilesIn(m_snapshots.path()), 2); // the marks and the photo
        QVERIFY(s.window.hasUnsavedChanges());
        s.undo();
        QCOMPARE(s.window.photo(), photoWithWire);
        QCOMPARE(s.mask(), detectedMarks);
        QVERIFY(!s.window.hasUnsavedChanges());

        // A 60-column wire is too short for a Length threshold of 60. A Process over a mask
        // without marks changes nothing, so it is not a removal to save.
        s.setBox("spinBox_2", 60);
        s.removeWires();
        QCOMPARE(s.mask(), wireImage(0, 0));
        QCOMPARE(s.count(), 2);
        QCOMPARE(s.window.photo(), photoWithWire);
        QVERIFY(!s.window.hasUnsavedChanges());
        s.trigger("actionQuit");
        QCOMPARE(s.prompts.saveChangesAsked, 0);
    }

    // The Detector and Fill choices: Autodetect and Process run the mode chosen (precise
    // detection with its own wire length, the Length box then off), each choice is remembered
    // for the next window.
    void modeChoices()
    {
        const auto defaults = qScopeGuard([] {
            QSettings().remove("Detector");
            QSettings().remove("FillMode");
        });
        using namespace tolvane::tools;
        const QImage detected = detect(photoWithWire, 4, 30, nullptr, Detector::Precise, 40).mask;
        QVERIFY(tolvane::hasMarks(detected));
        auto choices = [](Session &s) {
            return std::pair(s.child<QComboBox>("detectorBox")->currentData().toString(),
                s.child<QComboBox>("fillModeBox")->currentIndex());
        };
        {
            Session s(m_photo);
            QCOMPARE(choices(s), std::pair(QString("classic"), 0));
            auto *detector = s.child<QComboBox>("detectorBox");
            detector->setCurrentIndex(detector->findData("precise"));
            QVERIFY(!s.child("spinBox_2")->isEnabled());
            s.setBox("wireLengthBox", 40);
            s.child<QComboBox>("fillModeBox")->setCurrentIndex(1);
            s.trigger("actionSelect");
            QCOMPARE(s.mask(), detected.convertToFormat(QImage::Format_ARGB32));
            s.trigger("actionProcess");
            QCOMPARE(s.window.photo(),
                removeWires(photoWithWire, detected, 0, tolvane::FillMode::Seamless));
        }
        {
            Session s;
            QCOMPARE(choices(s), std::pair(QString("precise"), 1));
        }
    }

    // Without a photo the tools have nothing to work on: they push nothing and leave nothing
    // to save, so neither Open nor Quit asks about unsaved wires afterwards.
    void withoutPhoto()
    {
        Session s;
        for (const char *tool :
            {"actionSelect", "actionProcess", "actionSave", "actionSmartSelect"})
            s.trigger(tool);
        s.smartSelect(20, 10, true);
        s.smartSelect(40, 10, true);
        s.trigger("actionProcess");
        QVERIFY(s.count() == 0 && !s.window.maskItem() && !s.window.hasUnsavedChanges());

        s.open(m_photo);
        QCOMPARE(s.window.photo(), photoWithWire);
        QSignalSpy quit(&s.window, &MainWindow::mwquit);
        s.trigger("actionQuit");
        QCOMPARE(quit.size(), 1);
        QCOMPARE(s.prompts.saveChangesAsked, 0);
    }

    void smartSelection()
    {
        Session s(m_photo);
        // Across open white sky the route is far wider than a wire: nothing is committed.
        s.smartSelect(70, 30, true);
        s.smartSelect(10, 30, true);
        QCOMPARE(s.window.lastControlPoint(), QPoint(70, 30));
        QVERIFY(!s.window.previewItem());
        s.smartSelect(QRect(), true, true);

        s.smartSelect(10, 10, true);
        s.smartSelect(30, 10, false);
        QVERIFY(s.window.previewItem() && !s.window.maskItem());

        s.smartSelect(30, 10, true);
        QVERIFY(!s.window.previewItem());
        QCOMPARE(s.window.lastControlPoint(), QPoint(30, 10));
        const QImage mask = s.mask();
        // The end point is the next segment's start.
        QCOMPARE((QList<QRgb> {mask.pixel(10, 10), mask.pixel(29, 10), mask.pixel(30, 10),
                     mask.pixel(20, 20)}),
            (QList<QRgb> {tolvane::traceMark, tolvane::traceMark, 0, 0}));

        s.smartSelect(30, 10, true); // on the control point: an empty but undoable step
        QCOMPARE(s.count(), 2);
        QCOMPARE(s.mask(), mask);

        s.undo();
        s.undo();
        QCOMPARE(s.window.lastControlPoint(), QPoint(10, 10));
        QCOMPARE(s.mask().pixel(10, 10), 0u);
    }

    // With snapping on (off by default, remembered), clicks four pixels beside the wire trace
    // the wire itself.
    void smartSelectionSnapsToWires()
    {
        {
            Session s(m_photo);
            QVERIFY(!s.action("actionSnapToWires")->isChecked());
            s.trigger("actionSnapToWires");
        }
        Session s(m_photo);
        QVERIFY(s.action("actionSnapToWires")->isChecked());
        s.smartSelect(10, 15, true);
        QCOMPARE(s.window.lastControlPoint(), QPoint(10, 11));
        s.smartSelect(60, 6, true);
        QCOMPARE(s.window.lastControlPoint(), QPoint(60, 10));
        const QImage marks = s.mask();
        for (int y = 0; y < marks.height(); ++y)
            for (int x = 0; x < marks.width(); ++x)
                QVERIFY(qAlpha(marks.pixel(x, y)) == 0 || ((y == 10 || y == 11) && x >= 10));
        QVERIFY(qAlpha(marks.pixel(35, 10)) || qAlpha(marks.pixel(35, 11)));
        s.trigger("actionSnapToWires"); // back to the default for the other tests
    }

    // Detection runs while the window goes on handling its events: the progress bar is shown,
    // and a close asked for meanwhile waits for the detection to end.
    void detectionKeepsTheWindowResponsive()
    {
        Session s(writePhoto(m_files, "big.bmp", patternPhoto(4000, 3000)));
        auto *bar = s.child<QProgressBar>("progressBar");
        bool ranDuringDetection = false, closed = true;
        QTimer::singleShot(0, bar, [&] {
            ranDuringDetection = !bar->isHidden();
            closed = s.window.close();
        });
        s.trigger("actionSelect");
        QVERIFY(ranDuringDetection && !closed && bar->isHidden());
        QCOMPARE(s.count(), 1);
    }

    void unsavedRemovalIsOfferedForSaving_data()
    {
        addColumns<int, QString, bool>(); // answer, save as, quits
        QTest::newRow("cancel") << int(QMessageBox::Cancel) << QString() << false;
        QTest::newRow("discard") << int(QMessageBox::Discard) << QString() << true;
        QTest::newRow("save") << int(QMessageBox::Save) << "clean.png" << true;
        QTest::newRow("save fails") << int(QMessageBox::Save) << "no/x.png" << false;
    }

    // Quit, closing the window and Open ask while a removal is unsaved, and go on only as
    // the answer allows.
    void unsavedRemovalIsOfferedForSaving()
    {
        const auto [answer, saveAs, quits] = fetchRow<int, QString, bool>();
        Session s(m_photo);
        QSignalSpy quit(&s.window, &MainWindow::mwquit);
        s.trigger("actionSelect");
        s.trigger("actionQuit"); // marks are work too: discarded when the user says so
        QCOMPARE(s.prompts.saveChangesAsked, 1);
        QCOMPARE(s.prompts.lastQuestion,
            "120 marked pixels of wire.png have not been removed. Save the marks as a mask?");
        QCOMPARE(quit.size(), 1);

        s.trigger("actionProcess");
        s.prompts.saveChangesAnswer = QMessageBox::StandardButton(answer);
        if (!saveAs.isEmpty())
            s.prompts.saveAnswers = {m_files.filePath(saveAs)};
        s.trigger("actionQuit");
        QCOMPARE(s.prompts.saveChangesAsked, 2);
        QCOMPARE(s.prompts.lastQuestion,
            "The wires removed from wire.png have not been saved. Save the photo?");
        QCOMPARE(quit.size(), quits ? 2 : 1);
        const bool saved = quits && answer == QMessageBox::Save;
        QCOMPARE(s.window.hasUnsavedChanges(), !saved);
        if (saved)
            QCOMPARE(tolvane::readPhoto(m_files.filePath(saveAs)), s.window.photo());
        QCOMPARE(s.window.close(), quits);
        s.trigger("actionOpen");
        QCOMPARE(s.prompts.openAsked.size(), quits ? 2 : 1);
        QCOMPARE(s.prompts.saveChangesAsked, saved ? 2 : 4);
    }

    // Marks that no file holds are asked about, counted, and saved as a mask on Save; once
    // saved they are not asked about again. A saved removal that was undone is not called
    // unsaved wires. The title's mark follows.
    void unsavedMarksAndUndoneRemovals()
    {
        Session s(m_photo);
        QVERIFY(!s.window.isWindowModified());
        s.trigger("actionSelect");
        QVERIFY(s.window.isWindowModified());
        s.prompts.saveChangesAnswer = QMessageBox::Save;
        s.prompts.saveAnswers = {m_files.filePath("marks.png")};
        QVERIFY(s.window.close());
        QCOMPARE(tolvane::readMask(m_files.filePath("marks.png")).size(), QSize(80, 40));
        QVERIFY(!s.window.isWindowModified());
        QVERIFY(s.window.close());
        QCOMPARE(s.prompts.saveChangesAsked, 1);

        s.trigger("actionProcess");
        s.save(m_files.filePath("clean.png"));
        QVERIFY(!s.window.isWindowModified());
        s.undo();
        QVERIFY(s.window.isWindowModified());
        s.prompts.saveChangesAnswer = QMessageBox::Cancel;
        QVERIFY(!s.window.close());
        QCOMPARE(s.prompts.lastQuestion,
            "wire.png was saved with wires removed, which have since been undone. 120 marked "
            "pixels of wire.png have not been removed. Save the photo?");
    }

    // Autodetect says what it found, and keeps the marks made by hand while it replaces those
    // of an earlier detection.
    void autodetectKeepsHandMarks()
    {
        Session s(m_photo);
        s.trigger("actionMarkBrush");
        s.setBox("brushSizeBox", 3);
        s.drag({{5, 30.5}, {64, 30.5}});
        QImage expected = s.marks();
        s.trigger("actionSelect");
        QCOMPARE(s.status(), "Autodetect found 1 wire trace, 120 pixels marked");
        for (int y : {10, 11})
            for (int x = 5; x < 65; ++x)
                expected.setPixel(x, y, tolvane::detectionMark);
        QCOMPARE(s.marks(), expected);
        s.trigger("actionSelect");
        QCOMPARE(s.marks(), expected);
        QCOMPARE(s.count(), 3);
    }

    // An eraser stroke of a 6-pixel brush along row 10 from column 20 to 30 unmarks the pixel
    // centres within 3 of it: columns 17..33 of row 10 and, rounder at the ends, 18..32 of
    // row 11. It is one step, which undo and redo take back and forth; a stroke over nothing
    // marked is no step.
    void eraserStroke()
    {
        Session s(m_photo);
        s.trigger("actionSelect");
        s.trigger("actionEraser");
        s.setBox("brushSizeBox", 6);
        s.drag({{20, 10}, {25, 10}, {30, 10}});
        QCOMPARE(s.count(), 2);
        QCOMPARE(s.stack().undoText(), "Erase marks");
        const QImage erased = cleared(cleared(detectedMarks, 17, 33, 10, 10), 18, 32, 11, 11);
        QCOMPARE(s.marks(), erased);
        QCOMPARE(s.mask(), erased);
        s.undo();
        QCOMPARE(s.marks(), detectedMarks);
        s.stack().redo();
        QCOMPARE(s.marks(), erased);

        s.drag({{20, 30}, {60, 30}});
        QCOMPARE(s.count(), 2);
    }

    // The mark brush works without a mask: the marks it paints (rows 9..12 and columns 4..65
    // but for the corners) have their own colour, Process removes them, and undo goes back to
    // no mask at all.
    void markBrush()
    {
        Session s(m_photo);
        s.trigger("actionMarkBrush");
        s.setBox("brushSizeBox", 3);
        s.drag({{5, 10.5}, {64, 10.5}});
        QCOMPARE(s.stack().undoText(), "Paint marks");
        QImage painted = wireImage(0, 0);
        for (int y = 9; y <= 12; ++y)
            for (int x = 4 + (y == 9 || y == 12); x <= 65 - (y == 9 || y == 12); ++x)
                painted.setPixel(x, y, tolvane::brushMark);
        QCOMPARE(s.window.document().mask(),
            painted.convertToFormat(QImage::Format_ARGB32_Premultiplied));
        s.trigger("actionProcess");
        QCOMPARE(s.window.photo().copy(5, 10, 60, 2), cleanPhoto.copy(5, 10, 60, 2));
        s.undo();
        s.undo();
        QVERIFY(!s.window.document().hasMask());
    }

    // Alt+click with the eraser beside the wire drops all of it in one step; beyond the reach
    // it says why and does nothing.
    void dropTrace()
    {
        Session s(m_photo);
        s.trigger("actionSelect");
        s.trigger("actionEraser");
        s.setBox("brushSizeBox", 4);
        s.mouse(QEvent::MouseButtonPress, 40, 30, Qt::LeftButton, Qt::AltModifier);
        QCOMPARE(s.count(), 1);
        QCOMPARE(s.status(), "No marks within 6 pixels of the click");
        s.mouse(QEvent::MouseButtonPress, 40, 14, Qt::LeftButton, Qt::AltModifier);
        QCOMPARE(s.count(), 2);
        QCOMPARE(s.status(), "Unmarked a trace of 120 pixels");
        QVERIFY(!tolvane::hasMarks(s.window.document().mask()));
        s.undo();
        QCOMPARE(s.marks(), detectedMarks);
    }

    // M hides the marks; backslash held shows the photo as
    // opened without marks, after a removal too, and its release brings the work back.
    void hideMarksAndBeforeAfter()
    {
        Session s(m_photo);
        s.trigger("actionSelect");
        s.trigger("actionShowMarks");
        QVERIFY(!s.window.maskItem()->isVisible());
        s.trigger("actionShowMarks");
        s.removeWires();
        s.trigger("actionSelect"); // finds nothing: an empty mask
        QCOMPARE(s.shownPhoto(), cleanPhoto);
        s.key(QEvent::KeyPress, Qt::Key_Backslash);
        QVERIFY(s.window.isShowingBefore() && !s.window.maskItem()->isVisible());
        QCOMPARE(s.shownPhoto(), photoWithWire);
        s.key(QEvent::KeyRelease, Qt::Key_Backslash);
        QVERIFY(!s.window.isShowingBefore() && s.window.maskItem()->isVisible());
        QCOMPARE(s.shownPhoto(), cleanPhoto);
        QCOMPARE(s.window.photo(), cleanPhoto);
    }

    // Save mask writes tolvane-cli's mask format, which Load mask reads back as one step. A
    // mask of another size or an unreadable file is refused with the reason, changing nothing.
    void maskFiles()
    {
        const QString saved = m_files.filePath("marks");
        {
            Session s(m_photo);
            s.trigger("actionSaveMask");
            QCOMPARE(s.status(), "No marks to save");
            s.trigger("actionSelect");
            s.prompts.saveAnswers = {saved};
            s.trigger("actionSaveMask");
            QCOMPARE(s.status(), QString("Mask saved to %1.png").arg(saved));
            QCOMPARE(tolvane::readMask(saved + ".png"), detectedMarks);
        }
        Session s(m_photo);
        s.prompts.openAnswers
            = {writePhoto(m_files, "small.png", QImage(8, 8, QImage::Format_ARGB32)),
                writeBytes(m_files, "broken.png", "not a PNG"), saved + ".png"};
        s.trigger("actionLoadMask");
        QCOMPARE(s.status(), "small.png: the mask is 8x8, the photo 80x40; not loaded");
        s.trigger("actionLoadMask");
        QCOMPARE(s.status(), "broken.png: Failed to read the mask");
        QVERIFY(s.count() == 0 && !s.window.document().hasMask());
        s.trigger("actionLoadMask");
        QCOMPARE(s.status(), "Loaded the mask marks.png: 120 pixels marked");
        QCOMPARE(s.stack().undoText(), "Load mask");
        QCOMPARE(s.marks(), detectedMarks);
        s.trigger("actionProcess");
        QCOMPARE(s.window.photo(), cleanPhoto);
    }
};

QTEST_MAIN(TestTools)
#include "tst_tools.moc"
