#include <QAction>
#include <QComboBox>
#include <QGraphicsPixmapItem>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>

#include "app/mainwindow.h"
#include "canvas/kestgraphicsview.h"
#include "dialogs/helpdialog.h"
#include "document/tools.h"
#include "guitestsupport.h"
#include "image/imagefiles.h"
#include "image/wiremask.h"
#include "windowsession.h"

namespace {

// 80 x 40 of `background` with a two-row `wire` on rows 10-11 from column 5 through 64.
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

// A window with the wire photo open, driven as the user drives it.
struct Session : WindowSession
{
    explicit Session(const QString &photo = {})
    {
        prompts.openAnswers = {photo};
        if (!photo.isEmpty())
            trigger("actionOpen");
    }
    // A mouse event on the canvas at scene point (x, y), the view at scale 1.
    void mouse(QEvent::Type type, int x, int y, Qt::MouseButton button = Qt::NoButton)
    {
        auto *view = window.findChild<KestGraphicsView *>();
        view->resetTransform();
        const QPointF pos = view->mapFromScene(x, y);
        QMouseEvent event(type, pos, pos, button, button, Qt::NoModifier);
        QCoreApplication::sendEvent(view->viewport(), &event);
    }
    QImage mask() const
    {
        return window.maskItem()
            ? window.maskItem()->pixmap().toImage().convertToFormat(QImage::Format_ARGB32)
            : QImage();
    }
    int count() const { return window.undoStack().count(); }
};

} // namespace

// The tools as the user drives them: Select, Process, smart selection, the questions before
// work is lost, and the help dialogs.
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
        const QImage marks = wireImage(0, 0x96FF0000);
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

        // A 60-column wire is too short for a Length threshold of 60.
        s.window.findChild<QSpinBox *>(QStringLiteral("spinBox_2"))->setValue(60);
        s.trigger("actionSelect");
        QCOMPARE(s.mask(), wireImage(0, 0));
        QCOMPARE(s.count(), 2);
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
        s.window.findChild<KestGraphicsView *>()->resetTransform();
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

    // A whole session, the smart selection driven by the mouse, for the leak checker of
    // `make test-sanitize`: open, Select, smart-select, Process, undo, open again, quit.
    void wholeSession()
    {
        Session s(m_photo);
        s.trigger("actionSelect");
        s.trigger("actionSmartSelect");
        // Scene point (x + 10, y + 10) is photo pixel (x, y).
        s.mouse(QEvent::MouseButtonPress, 20, 20, Qt::LeftButton);
        s.mouse(QEvent::MouseMove, 40, 20);
        QVERIFY(s.window.previewItem());
        s.mouse(QEvent::MouseButtonPress, 50, 20, Qt::LeftButton);
        QCOMPARE(s.mask().pixel(30, 10), 0xFFFFFF00u);
        s.mouse(QEvent::MouseButtonPress, 50, 20, Qt::RightButton);
        s.trigger("actionProcess");
        QCOMPARE(s.count(), 3);
        s.undo();
        s.prompts.openAnswers = {m_photo};
        s.trigger("actionOpen");
        QCOMPARE(s.count(), 0);
        QSignalSpy quit(&s.window, &MainWindow::mwquit);
        s.trigger("actionQuit");
        QCOMPARE(quit.size(), 1);
    }

    // Detection runs while the window goes on handling its events: the progress bar is shown
    // and only rises, and a close asked for meanwhile waits for the detection to end.
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
        QList<int> values;
        connect(bar, &QProgressBar::valueChanged, bar, [&](int value) { values.append(value); });
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
        QCOMPARE(values.last(), 100);
        QVERIFY(std::is_sorted(values.begin(), values.end()));
    }

    // A Process over a mask without marks changes nothing, so it is not a removal to save.
    void processWithoutMarksPushesNothing()
    {
        Session s(m_photo);
        s.window.findChild<QSpinBox *>(QStringLiteral("spinBox_2"))->setValue(200);
        s.trigger("actionSelect"); // the wire is too short: an empty mask
        QCOMPARE(s.count(), 1);
        s.trigger("actionProcess");
        QCOMPARE(s.count(), 1);
        QCOMPARE(s.window.photo(), photoWithWire);
        QVERIFY(!s.window.hasUnsavedChanges());
        s.trigger("actionQuit");
        QCOMPARE(s.prompts.saveChangesAsked, 0);
    }

    void unsavedRemovalIsOfferedForSaving_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("saveAs");
        QTest::addColumn<bool>("quits");
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
        QFETCH(int, answer);
        QFETCH(QString, saveAs);
        QFETCH(bool, quits);
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
};

QTEST_MAIN(TestTools)
#include "tst_tools.moc"
