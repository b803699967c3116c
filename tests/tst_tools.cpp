#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include "app/mainwindow.h"
#include "canvas/kestgraphicsview.h"
#include "core/parameters.h"
#include "datatable.h"
#include "dialogs/helpdialog.h"
#include "document/tools.h"
#include "guitestsupport.h"
#include "image/imagefiles.h"
#include "image/wiremask.h"
#include "windowsession.h"

namespace {

const QImage photoWithWire = wireImage(0xFFFFFFFF, 0xFF282828);
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
// hand and looking at them, the questions before work is lost, and the help dialogs.
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
        m_photo = writePhoto(m_files, QStringLiteral("wire.png"), photoWithWire);
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
        auto *progress = s.window.findChild<QProgressBar *>(QStringLiteral("progressBar"));
        QSignalSpy values(progress, &QProgressBar::valueChanged);
        s.trigger("actionSelect");
        // The bar follows the detection's tiles up to 90, then the mask is put in place.
        QList<int> shown;
        for (const QVariantList &value : values)
            shown.append(value.value(0).toInt());
        QCOMPARE(shown.mid(shown.size() - 2), (QList<int> {90, 100}));
        QVERIFY(std::is_sorted(shown.begin(), shown.end()));
        QVERIFY(progress->isHidden());
        const QImage marks = detectedMarks;
        QCOMPARE(s.mask(), marks);
        QVERIFY(!s.window.hasUnsavedChanges());

        s.trigger("actionProcess");
        QVERIFY(!s.window.maskItem());
        QCOMPARE(s.window.photo(), wireImage(0xFFFFFFFF, 0xFFFFFFFF));
        QCOMPARE(s.window.undoStack().undoText(), QStringLiteral("Clear wires"));
        QCOMPARE(snapshotFilesIn(m_snapshots.path()), 2); // the marks and the photo
        QVERIFY(s.window.hasUnsavedChanges());
        s.undo();
        QCOMPARE(s.window.photo(), photoWithWire);
        QCOMPARE(s.mask(), marks);
        QVERIFY(!s.window.hasUnsavedChanges());

        // A 60-column wire is too short for a Length threshold of 60. A Process over a mask
        // without marks changes nothing, so it is not a removal to save.
        s.window.findChild<QSpinBox *>(QStringLiteral("spinBox_2"))->setValue(60);
        s.trigger("actionSelect");
        QCOMPARE(s.mask(), wireImage(0, 0));
        s.trigger("actionProcess");
        QCOMPARE(s.count(), 2);
        QCOMPARE(s.window.photo(), photoWithWire);
        QVERIFY(!s.window.hasUnsavedChanges());
        s.trigger("actionQuit");
        QCOMPARE(s.prompts.saveChangesAsked, 0);
    }

    // The Detector and Fill choices: Autodetect and Process run the mode chosen (precise
    // detection with its own wire length, the Length box then off), each choice is remembered
    // for the next window, and a remembered name no mode has means the default.
    void modeChoices()
    {
        const auto defaults = qScopeGuard([] {
            QSettings().remove(QStringLiteral("Detector"));
            QSettings().remove(QStringLiteral("FillMode"));
        });
        using namespace tolvane::tools;
        const QImage detected = detect(photoWithWire, 4, 30, nullptr, Detector::Precise, 40).mask;
        QVERIFY(tolvane::hasMarks(detected));
        const QImage seamless
            = removeWires(photoWithWire, detected, 0, tolvane::FillMode::Seamless);
        {
            Session s(m_photo);
            auto *detector = s.window.findChild<QComboBox *>(QStringLiteral("detectorBox"));
            auto *fill = s.window.findChild<QComboBox *>(QStringLiteral("fillModeBox"));
            QCOMPARE(detector->currentData().toString(), QStringLiteral("classic"));
            QCOMPARE(fill->currentIndex(), 0);
            detector->setCurrentIndex(detector->findData(QStringLiteral("precise")));
            QVERIFY(!s.window.findChild<QSpinBox *>(QStringLiteral("spinBox_2"))->isEnabled());
            s.window.findChild<QSpinBox *>(QStringLiteral("wireLengthBox"))->setValue(40);
            fill->setCurrentIndex(1);
            s.trigger("actionSelect");
            QCOMPARE(s.mask(), detected.convertToFormat(QImage::Format_ARGB32));
            s.trigger("actionProcess");
            QCOMPARE(s.window.photo(), seamless);
        }
        {
            Session s;
            QCOMPARE(s.window.findChild<QComboBox *>("detectorBox")->currentData().toString(),
                QStringLiteral("precise"));
            QCOMPARE(s.window.findChild<QComboBox *>("fillModeBox")->currentIndex(), 1);
        }
        QSettings().setValue(QStringLiteral("FillMode"), QStringLiteral("blur"));
        Session s;
        QCOMPARE(s.window.findChild<QComboBox *>("fillModeBox")->currentIndex(), 0);
    }

    // Without a photo the tools have nothing to work on: they push nothing and leave nothing
    // to save, so neither Open nor Quit asks about unsaved wires afterwards. Each Index opens
    // another modeless help dialog, and OK hides only its own.
    void withoutPhoto()
    {
        Session s;
        for (const char *tool : {"actionProcess", "actionSelect", "actionProcess", "actionSave"})
            s.trigger(tool);
        s.trigger("actionSmartSelect");
        s.smartSelect(20, 10, true);
        s.smartSelect(40, 10, false);
        s.smartSelect(40, 10, true);
        s.trigger("actionSmartSelect");
        s.trigger("actionProcess");
        QCOMPARE(statusMessage(s.window), QStringLiteral("Nothing to save."));
        QCOMPARE(s.count(), 0);
        QVERIFY(!s.window.maskItem());
        QVERIFY(!s.window.hasUnsavedChanges());

        s.prompts.openAnswers = {m_photo};
        s.trigger("actionOpen");
        QCOMPARE(s.window.photo(), photoWithWire);
        QSignalSpy quit(&s.window, &MainWindow::mwquit);
        s.trigger("actionQuit");
        QCOMPARE(quit.size(), 1);
        QCOMPARE(s.prompts.saveChangesAsked, 0);

        s.trigger("actionIndex");
        s.trigger("actionIndex");
        const QList<HelpDialog *> dialogs = s.window.findChildren<HelpDialog *>();
        QCOMPARE(dialogs.size(), 2);
        QVERIFY(dialogs[0]->isVisible() && dialogs[1]->isVisible() && !dialogs[0]->isModal());
        QTest::mouseClick(dialogs[0]->findChild<QPushButton *>("buttonOK"), Qt::LeftButton);
        QVERIFY(!dialogs[0]->isVisible() && dialogs[1]->isVisible());
    }

    void smartSelection()
    {
        Session s(m_photo);
        s.smartSelect(30, 10, false); // no control point: a move does nothing
        QVERIFY(!s.window.previewItem());
        s.smartSelect(QRect(), true); // the null rectangle is a press on pixel (0, 0)
        QCOMPARE(s.window.lastControlPoint(), QPoint(0, 0));
        s.smartSelect(QRect(), true, true);
        // Across open white sky the route is far wider than a wire: nothing is committed.
        s.smartSelect(70, 30, true);
        s.smartSelect(10, 30, true);
        QCOMPARE(s.window.lastControlPoint(), QPoint(70, 30));
        QVERIFY(!s.window.previewItem());
        s.smartSelect(QRect(), true, true);

        s.smartSelect(10, 10, true);
        QCOMPARE(s.window.lastControlPoint(), QPoint(10, 10));
        QCOMPARE(s.count(), 0);
        s.smartSelect(30, 10, false);
        QCOMPARE(s.window.previewItem()->zValue(), 12.0);
        QCOMPARE(s.window.previewItem()->pos(), QPointF(10, 10)); // window from (0, 0)
        QVERIFY(!s.window.maskItem());

        s.smartSelect(30, 10, true);
        QVERIFY(!s.window.previewItem());
        QCOMPARE(s.window.lastControlPoint(), QPoint(30, 10));
        const QImage mask = s.mask();
        QCOMPARE(mask.pixel(10, 10), 0xFFFFFF00u);
        QCOMPARE(mask.pixel(29, 10), 0xFFFFFF00u);
        QCOMPARE(mask.pixel(30, 10), 0u); // the end point is the next segment's start
        QCOMPARE(mask.pixel(20, 20), 0u);

        s.smartSelect(30, 10, true); // on the control point: an empty but undoable step
        QCOMPARE(s.count(), 2);
        QCOMPARE(s.mask(), mask);

        s.smartSelect(40, 10, false);
        QVERIFY(s.window.previewItem());
        s.smartSelect(QRect(), true, true);
        QVERIFY(!s.window.previewItem());
        QCOMPARE(s.window.lastControlPoint(), QPoint(-100, -100));
        QCOMPARE(s.count(), 2);

        s.undo();
        s.undo();
        QCOMPARE(s.window.lastControlPoint(), QPoint(10, 10));
        QCOMPARE(s.mask().pixel(10, 10), 0u);
    }

    // With snapping on (off by default, remembered), clicks four pixels beside the wire trace
    // the wire itself, at 100 %; a click too far from the last point says why nothing happens.
    void smartSelectionSnapsToWires()
    {
        {
            Session s(m_photo);
            QVERIFY(!s.window.findChild<QAction *>("actionSnapToWires")->isChecked());
            s.trigger("actionSnapToWires");
        }
        Session s(m_photo);
        QVERIFY(s.window.findChild<QAction *>("actionSnapToWires")->isChecked());
        s.smartSelect(10, 15, true);
        QCOMPARE(s.window.lastControlPoint(), QPoint(10, 11));
        s.smartSelect(60, 6, true);
        QCOMPARE(s.window.lastControlPoint(), QPoint(60, 10));
        const QImage marks = s.mask();
        for (int y = 0; y < marks.height(); ++y) {
            for (int x = 0; x < marks.width(); ++x)
                QVERIFY(qAlpha(marks.pixel(x, y)) == 0 || ((y == 10 || y == 11) && x >= 10));
        }
        QVERIFY(qAlpha(marks.pixel(35, 10)) || qAlpha(marks.pixel(35, 11)));
        s.trigger("actionSnapToWires"); // back to the default for the other tests

        s.smartSelect(QRect(), true, true);
        s.smartSelect(0, 0, true);
        s.smartSelect(79, 39, true); // within 500: searched, but no thin line joins them
        QCOMPARE(statusMessage(s.window),
            QStringLiteral("No thin dark line joins the last point to this one"));

        QVERIFY(s.window.openPhoto(writePhoto(m_files, "long.png", patternPhoto(700, 20))));
        s.smartSelect(0, 0, true);
        s.smartSelect(690, 19, true);
        QCOMPARE(statusMessage(s.window),
            QStringLiteral("Too far from the last point (more than 500 pixels across and down): "
                           "click nearer, or right-click to start again"));
        QCOMPARE(s.window.lastControlPoint(), QPoint(0, 0));
    }

    // Detection runs while the window goes on handling its events: the progress bar is shown,
    // and a close asked for meanwhile waits for the detection to end.
    void detectionKeepsTheWindowResponsive()
    {
        QImage big(4000, 3000, QImage::Format_ARGB32);
        quint32 seed = 3;
        for (int y = 0; y < big.height(); ++y) {
            auto *row = reinterpret_cast<QRgb *>(big.scanLine(y));
            for (int x = 0; x < big.width(); ++x) {
                seed = seed * 1664525u + 1013904223u;
                const int v = 150 + int(seed >> 27);
                row[x] = qRgb(v, v, v + 20);
            }
        }
        Session s(writePhoto(m_files, QStringLiteral("big.bmp"), big));
        auto *bar = s.window.findChild<QProgressBar *>(QStringLiteral("progressBar"));
        bool ranDuringDetection = false;
        bool closed = true;
        QTimer::singleShot(0, bar, [&] {
            ranDuringDetection = !bar->isHidden();
            closed = s.window.close();
        });
        s.trigger("actionSelect");
        QVERIFY(ranDuringDetection);
        QVERIFY(!closed);
        QCOMPARE(s.count(), 1);
        QVERIFY(bar->isHidden());
    }

    void unsavedRemovalIsOfferedForSaving_data()
    {
        addColumns<int, QString, bool>(); // answer, save as, quits
        QTest::newRow("cancel") << int(QMessageBox::Cancel) << QString() << false;
        QTest::newRow("discard") << int(QMessageBox::Discard) << QString() << true;
        QTest::newRow("save") << int(QMessageBox::Save) << "clean.png" << true;
        QTest::newRow("save fails") << int(QMessageBox::Save) << "no/x.png" << false;
        QTest::newRow("save cancelled") << int(QMessageBox::Save) << QString() << false;
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
            QStringLiteral("120 marked pixels of wire.png have not been removed. Save the "
                           "marks as a mask?"));
        QCOMPARE(quit.size(), 1);

        s.trigger("actionProcess");
        s.prompts.saveChangesAnswer = QMessageBox::StandardButton(answer);
        if (!saveAs.isEmpty())
            s.prompts.saveAnswers = {m_files.filePath(saveAs)};
        s.trigger("actionQuit");
        QCOMPARE(s.prompts.saveChangesAsked, 2);
        QCOMPARE(s.prompts.lastQuestion,
            QStringLiteral("The wires removed from wire.png have not been saved. Save the photo?"));
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
        QCOMPARE(s.prompts.saveChangesAsked, 1);
        QCOMPARE(tolvane::readMask(m_files.filePath("marks.png")).size(), QSize(80, 40));
        QVERIFY(!s.window.isWindowModified());
        QVERIFY(s.window.close());
        QCOMPARE(s.prompts.saveChangesAsked, 1);

        s.trigger("actionProcess");
        s.prompts.saveAnswers = {m_files.filePath("clean.png")};
        s.trigger("actionSave");
        QVERIFY(!s.window.isWindowModified());
        s.undo();
        QVERIFY(s.window.isWindowModified());
        s.prompts.saveChangesAnswer = QMessageBox::Cancel;
        QVERIFY(!s.window.close());
        QCOMPARE(s.prompts.lastQuestion,
            QStringLiteral("wire.png was saved with wires removed, which have since been undone. "
                           "120 marked pixels of wire.png have not been removed. Save the "
                           "photo?"));
    }

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
        QCOMPARE(s.view()->tool(), Tool::SmartSelect);
        s.trigger("actionEraser");
        QVERIFY(!s.action("actionSmartSelect")->isChecked());
        QCOMPARE(s.view()->tool(), Tool::Eraser);
        s.trigger("actionMarkBrush");
        QVERIFY(!s.action("actionEraser")->isChecked());
        QCOMPARE(s.view()->tool(), Tool::Brush);
        s.trigger("actionMarkBrush");
        QCOMPARE(s.view()->tool(), Tool::None);
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
        QCOMPARE(s.view()->scene()->items().size(), 4); // backdrop, photo, marks, cursor circle
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
            QCOMPARE(s.view()->brushSize(), 45);
            s.trigger("actionEraser");
            s.mouse(QEvent::MouseMove, 20, 20);
            QCOMPARE(s.view()->cursorCircle()->rect().size(), QSizeF(45, 45));
        }
        Session again(m_photo);
        QCOMPARE(again.view()->brushSize(), 45);
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
        s.view()->resize(300, 200);
        s.trigger("actionActualSize");
        QCOMPARE(s.view()->zoom(), 1.0);
        s.trigger("actionFitToWindow");
        QVERIFY(s.view()->zoom() < 0.3);
        // Zoom steps from the fit land on 100 % on their way, and back again.
        QList<double> steps;
        while (s.view()->zoom() <= 1.2 && steps.size() < 50) {
            s.trigger("actionZoomPlus");
            steps << s.view()->zoom();
        }
        QVERIFY(steps.contains(1.0));
        while (s.view()->zoom() > 1)
            s.trigger("actionZoomMinus");
        QCOMPARE(s.view()->zoom(), 1.0);
        s.trigger("actionActualSize");

        const QPoint pointer(100, 80);
        const QPointF under = s.view()->mapToScene(pointer);
        QWheelEvent wheel(pointer, s.view()->viewport()->mapToGlobal(pointer), QPoint(),
            QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(s.view()->viewport(), &wheel);
        QVERIFY(qFuzzyCompare(s.view()->zoom(), 1.2));
        QVERIFY((s.view()->mapToScene(pointer) - under).manhattanLength() < 1.5);

        auto scrolled = [&] {
            return QPoint(
                s.view()->horizontalScrollBar()->value(), s.view()->verticalScrollBar()->value());
        };
        const QPoint before = scrolled();
        s.mouse(QEvent::MouseButtonPress, 300, 300, Qt::MiddleButton);
        s.mouse(QEvent::MouseMove, 280, 290, Qt::MiddleButton);
        s.mouse(QEvent::MouseButtonRelease, 280, 290, Qt::MiddleButton);
        QVERIFY(scrolled() != before);

        // Space held: a left drag moves the picture and paints nothing.
        s.trigger("actionMarkBrush");
        QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
        QCoreApplication::sendEvent(s.view(), &space);
        const QPoint moved = scrolled();
        s.drag({{300, 300}, {320, 310}});
        QVERIFY(scrolled() != moved);
        QCOMPARE(s.stack().count(), 0);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier);
        QCoreApplication::sendEvent(s.view(), &release);
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

QTEST_MAIN(TestTools)
#include "tst_tools.moc"
