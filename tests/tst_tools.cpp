#include <QComboBox>
#include <QMouseEvent>
#include <QProgressBar>
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
    // A left-button drag on the canvas through the centres of these photo pixels.
    void drag(QList<QPointF> points, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        for (qsizetype i = 0; i <= points.size(); ++i) {
            const auto type = i == 0 ? QEvent::MouseButtonPress
                : i < points.size()  ? QEvent::MouseMove
                                     : QEvent::MouseButtonRelease;
            const QPointF pos = view()->viewportTransform().map(
                points[std::min(i, points.size() - 1)] + QPointF(10.5, 10.5));
            QMouseEvent event(type, pos, view()->viewport()->mapToGlobal(pos), Qt::LeftButton,
                type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, modifiers);
            QCoreApplication::sendEvent(view()->viewport(), &event);
        }
    }
};

// `marks` with `colour` on every pixel of rows y0..y1 and columns x0..x1, less `corners`
// pixels at each end of the first and last rows.
QImage filled(QImage marks, int x0, int x1, int y0, int y1, QRgb colour = 0, int corners = 0)
{
    for (int y = y0; y <= y1; ++y) {
        const int cut = y == y0 || y == y1 ? corners : 0;
        for (int x = x0 + cut; x <= x1 - cut; ++x)
            marks.setPixel(x, y, colour);
    }
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
    void init() { QSettings().clear(); }
    // Every window takes its snapshot files with it.
    void cleanup() { QCOMPARE(snapshotFilesIn(m_snapshots.path()), 0); }

    // Without a photo the tools push nothing and leave nothing to save. With it, Process
    // fills what Select marked, and undo brings the wire and its marks back. M hides the
    // marks; backslash held shows the photo as opened, its release the work. Select reads the
    // thresholds when it runs: a 60-column wire is too short for a Length of 60, and Process
    // over no marks is no removal to save.
    void selectAndProcess()
    {
        Session s;
        for (const char *tool : {"actionSelect", "actionSave", "actionSmartSelect"})
            s.trigger(tool);
        s.smartSelect(20, 10, true);
        s.smartSelect(40, 10, true);
        s.trigger("actionProcess");
        QVERIFY(s.count() == 0 && !s.window.maskItem() && !s.window.hasUnsavedChanges());

        s.open(m_photo);
        s.trigger("actionSelect");
        QCOMPARE(s.mask(), detectedMarks);
        s.trigger("actionShowMarks");
        QVERIFY(!s.window.maskItem()->isVisible());
        s.trigger("actionProcess");
        QVERIFY(!s.window.maskItem());
        QCOMPARE(s.window.photo(), cleanPhoto);
        for (const auto &[type, shown] :
            {std::pair(QEvent::KeyPress, photoWithWire), {QEvent::KeyRelease, cleanPhoto}}) {
            QKeyEvent key(type, Qt::Key_Backslash, Qt::NoModifier);
            QCoreApplication::sendEvent(&s.window, &key);
            QCOMPARE(
                s.window.photoItem()->pixmap().toImage().convertToFormat(shown.format()), shown);
        }
        s.undo();
        QCOMPARE(s.window.photo(), photoWithWire);
        QCOMPARE(s.mask(), detectedMarks);
        QVERIFY(!s.window.hasUnsavedChanges());

        s.setBox("spinBox_2", 60);
        s.removeWires();
        QCOMPARE(s.mask(), wireImage(0, 0));
        QVERIFY(s.window.photo() == photoWithWire && !s.window.hasUnsavedChanges());
    }

    // Autodetect and Process run the Detector and Fill chosen (precise detection with its own
    // wire length), and the choices are remembered for the next window.
    void modeChoices()
    {
        {
            Session s(m_photo);
            auto *detector = s.child<QComboBox>("detectorBox");
            detector->setCurrentIndex(detector->findData("precise"));
            s.setBox("wireLengthBox", 40);
            s.child<QComboBox>("fillModeBox")->setCurrentIndex(1);
            s.removeWires();
            using namespace tolvane::tools;
            QCOMPARE(s.window.photo(),
                removeWires(photoWithWire,
                    detect(photoWithWire, 4, 30, nullptr, Detector::Precise, 40).mask, 0,
                    tolvane::FillMode::Seamless));
            QVERIFY(s.window.photo() != photoWithWire);
        }
        Session s;
        QCOMPARE(s.child<QComboBox>("detectorBox")->currentData().toString(), "precise");
        QCOMPARE(s.child<QComboBox>("fillModeBox")->currentIndex(), 1);
    }

    // A route across open sky is far wider than a wire and commits nothing; along the wire a
    // release previews and a press commits up to (not including) the end point, the next
    // segment's start, which undo takes back.
    void smartSelection()
    {
        Session s(m_photo);
        s.smartSelect(70, 30, true);
        s.smartSelect(10, 30, true);
        QVERIFY(!s.window.previewItem() && !s.window.maskItem());
        emit s.view()->SmartSelect(QRect(), true, true); // a right click ends the route

        s.smartSelect(10, 10, true);
        s.smartSelect(30, 10, false);
        QVERIFY(s.window.previewItem() && !s.window.maskItem());
        s.smartSelect(30, 10, true);
        QCOMPARE(s.window.lastControlPoint(), QPoint(30, 10));
        const QImage mask = s.mask();
        QCOMPARE((QList<QRgb> {mask.pixel(10, 10), mask.pixel(29, 10), mask.pixel(30, 10),
                     mask.pixel(20, 20)}),
            (QList<QRgb> {tolvane::traceMark, tolvane::traceMark, 0, 0}));
        s.undo();
        QCOMPARE(s.window.lastControlPoint(), QPoint(10, 10));
        QCOMPARE(s.mask().pixel(10, 10), 0u);

        // With snapping on (off by default, remembered), clicks four pixels beside the wire
        // trace the wire itself.
        Session(m_photo).trigger("actionSnapToWires");
        Session snapping(m_photo);
        snapping.smartSelect(10, 15, true);
        snapping.smartSelect(60, 6, true);
        QCOMPARE(snapping.window.lastControlPoint(), QPoint(60, 10));
        const QImage marks = snapping.mask();
        QCOMPARE(filled(marks, 0, 79, 10, 11), wireImage(0, 0));
        QVERIFY(qAlpha(marks.pixel(35, 10)) || qAlpha(marks.pixel(35, 11)));
    }

    // Detection runs while the window goes on handling its events: the progress bar is shown,
    // and a close asked for meanwhile is refused until the detection ends.
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

    void unsavedWork_data()
    {
        // the actions, the last one Quit, Close or Open; the answer, the name saved as, the
        // question, whether the last action goes on
        addColumns<QString, int, QString, QString, bool>();
        const QString marks = "120 marked pixels of wire.png have not been removed.";
        const QString mask = marks + " Save the marks as a mask?";
        const QString wires
            = "The wires removed from wire.png have not been saved. Save the photo?";
        const int save = QMessageBox::Save, discard = QMessageBox::Discard,
                  cancel = QMessageBox::Cancel;
        QTest::newRow("marks, discard") << "Select Open" << discard << "" << mask << true;
        QTest::newRow("marks, save") << "Select Close" << save << "m.png" << mask << true;
        QTest::newRow("removal, cancel") << "Select Process Open" << cancel << "" << wires << false;
        QTest::newRow("removal, save") << "Select Process Quit" << save << "c.png" << wires << true;
        QTest::newRow("save fails")
            << "Select Process Close" << save << "no/x.png" << wires << false;
        // Save takes the name.
        QTest::newRow("saved removal undone")
            << "Select Process Save Undo Quit" << cancel << "saved.png"
            << "wire.png was saved with wires removed, which have since been undone. " + marks
                + " Save the photo?"
            << false;
    }

    // Unsaved marks and removals are asked about before Quit, a close or Open lose them, which
    // go on only as the answer allows; what Save writes is then not asked about again. The
    // title's mark follows.
    void unsavedWork()
    {
        const auto [actions, answer, saveAs, question, goesOn]
            = fetchRow<QString, int, QString, QString, bool>();
        Session s(m_photo);
        s.prompts.saveChangesAnswer = QMessageBox::StandardButton(answer);
        const QString path = m_files.filePath(saveAs);
        s.prompts.saveAnswers = {path};
        QSignalSpy quit(&s.window, &MainWindow::mwquit);
        bool closed = false;
        for (const QString &action : actions.split(' ')) {
            if (action == "Close")
                closed = s.window.close();
            else
                s.trigger(qPrintable("action" + action));
        }
        QCOMPARE(s.prompts.saveChangesAsked, 1);
        QCOMPARE(s.prompts.lastQuestion, question);
        QCOMPARE(closed || quit.size() == 1 || s.prompts.openAsked.size() == 2, goesOn);
        const bool saved = goesOn && answer == QMessageBox::Save;
        QCOMPARE(s.window.isWindowModified(), !saved);
        if (!saved)
            return;
        QVERIFY(QFileInfo::exists(path) && s.window.close());
        QCOMPARE(s.prompts.saveChangesAsked, 1);
    }

    void editMarks_data()
    {
        // the tool (the eraser after Autodetect), the brush size, the drag (a single point is
        // an Alt+click), the marks after
        addColumns<QString, int, QList<QPointF>, QImage>();
        // A 6-pixel eraser along row 10 unmarks the pixel centres within 3 of it: columns
        // 17..33 of row 10 and, rounder at the ends, 18..32 of row 11.
        QTest::newRow("eraser stroke")
            << "Eraser" << 6 << QList<QPointF> {{20, 10}, {25, 10}, {30, 10}}
            << filled(filled(detectedMarks, 17, 33, 10, 10), 18, 32, 11, 11);
        QTest::newRow("eraser over nothing marked")
            << "Eraser" << 6 << QList<QPointF> {{20, 30}, {60, 30}} << detectedMarks;
        // Without a mask, in the brush's own colour: rows 29..32, columns 4..65 but the corners.
        QTest::newRow("mark brush")
            << "MarkBrush" << 3 << QList<QPointF> {{5, 30.5}, {64, 30.5}}
            << filled(wireImage(0, 0), 4, 65, 29, 32, tolvane::brushMark, 1);
        // Alt+click with the eraser 6 pixels (its reach) from a trace drops all of it; 7, nothing.
        QTest::newRow("drop trace")
            << "Eraser" << 4 << QList<QPointF> {{40, 17}} << wireImage(0, 0);
        QTest::newRow("drop beyond reach")
            << "Eraser" << 4 << QList<QPointF> {{40, 18}} << detectedMarks;
    }

    // An edit of the marks is one step, which undo and redo take back and forth, and the canvas
    // shows; one that changes nothing is no step. Autodetect keeps the marks made by hand while
    // it replaces those of an earlier detection.
    void editMarks()
    {
        const auto [tool, size, path, expected] = fetchRow<QString, int, QList<QPointF>, QImage>();
        Session s(m_photo);
        if (tool == "Eraser")
            s.trigger("actionSelect");
        const QImage before = s.window.document().mask();
        const int steps = s.count();
        s.trigger(qPrintable("action" + tool));
        s.setBox("brushSizeBox", size);
        s.drag(path, path.size() == 1 ? Qt::AltModifier : Qt::NoModifier);
        const QImage after = expected.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QCOMPARE(s.window.document().mask(), after);
        QCOMPARE(s.window.maskItem()->pixmap().toImage().convertToFormat(after.format()), after);
        QCOMPARE(s.count(), steps + int(after != before));
        if (after == before)
            return;
        s.undo();
        QCOMPARE(s.window.document().mask(), before);
        s.stack().redo();
        QCOMPARE(s.window.document().mask(), after);
        if (tool != "MarkBrush")
            return;
        s.trigger("actionSelect");
        s.trigger("actionSelect");
        QCOMPARE(s.mask(),
            filled(after.convertToFormat(QImage::Format_ARGB32), 5, 64, 10, 11,
                tolvane::detectionMark));
    }

    // Save mask writes tolvane-cli's mask format, which Load mask reads back. A
    // mask of another size or an unreadable file is refused with the reason, changing nothing.
    void maskFiles()
    {
        const QString saved = m_files.filePath("marks");
        Session s(m_photo);
        s.trigger("actionSaveMask"); // no marks: nothing to ask
        s.trigger("actionSelect");
        s.prompts.saveAnswers = {saved};
        s.trigger("actionSaveMask");
        QCOMPARE(s.prompts.saveAsked.size(), 1);
        QCOMPARE(tolvane::readMask(saved + ".png"), detectedMarks);

        s.undo();
        s.prompts.openAnswers
            = {writePhoto(m_files, "small.png", QImage(8, 8, QImage::Format_ARGB32)),
                writeBytes(m_files, "broken.png", "not a PNG"), saved + ".png"};
        s.trigger("actionLoadMask");
        QCOMPARE(s.status(), "small.png: the mask is 8x8, the photo 80x40; not loaded");
        s.trigger("actionLoadMask");
        QCOMPARE(s.status(), "broken.png: Failed to read the mask");
        QVERIFY(s.stack().canRedo() && !s.window.document().hasMask());
        s.trigger("actionLoadMask");
        s.trigger("actionProcess");
        QCOMPARE(s.window.photo(), cleanPhoto);
    }
};

QTEST_MAIN(TestTools)
#include "tst_tools.moc"
