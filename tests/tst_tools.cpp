#include <QAction>
#include <QGraphicsPixmapItem>
#include <QProgressBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QtTest>

#include "app/imagefiles.h"
#include "app/mainwindow.h"
#include "canvas/kestgraphicsview.h"
#include "dialogs/helpdialog.h"
#include "guitestsupport.h"

namespace {

constexpr QRgb white = 0xFFFFFFFF;
constexpr QRgb wire = 0xFF282828;

// White, with a dark two-row wire on rows 10-11 from column 5 through 64.
QImage photoWithWire()
{
    QImage photo(80, 40, QImage::Format_ARGB32);
    photo.fill(white);
    for (int x = 5; x < 65; ++x) {
        photo.setPixel(x, 10, wire);
        photo.setPixel(x, 11, wire);
    }
    return photo;
}

QImage maskImage(const MainWindow &window)
{
    if (!window.maskItem())
        return {};
    return window.maskItem()->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
}

// The cursor square whose centre lies on photo pixel (x, y).
QRect squareAt(int x, int y)
{
    return QRect(x + 5, y + 5, 11, 11);
}

} // namespace

// The tools as the user drives them: Select, Process, smart selection, the questions before
// work is lost, and the help dialogs.
class TestTools : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    QTemporaryDir m_files;
    QString m_photoPath;

    void open(MainWindow &window, FakePrompts &prompts)
    {
        prompts.openAnswers = {m_photoPath};
        trigger(window, "actionOpen");
        QVERIFY(!window.photo().isNull());
    }
    static void trigger(MainWindow &window, const char *action)
    {
        window.findChild<QAction *>(QLatin1String(action))->trigger();
    }
    static void smartSelect(MainWindow &window, QRect square, bool pressed, bool right = false)
    {
        emit window.findChild<KestGraphicsView *>()->SmartSelect(square, pressed, right);
    }

private slots:
    void initTestCase()
    {
        useTemporarySettings(m_settingsDir);
        tolvane::allowLargePhotos();
        m_photoPath = writePhoto(m_files, QStringLiteral("wire.png"), photoWithWire());
    }

    void selectMarksWiresWithProgress()
    {
        FakePrompts prompts;
        MainWindow window;
        open(window, prompts);
        auto *progress = window.findChild<QProgressBar *>(QStringLiteral("progressBar"));
        QSignalSpy values(progress, &QProgressBar::valueChanged);
        trigger(window, "actionSelect");

        QList<int> seen;
        for (const QList<QVariant> &value : values)
            seen.append(value.first().toInt());
        QCOMPARE(seen, QList<int>({25, 50, 75, 90, 100}));
        QVERIFY(progress->isHidden());

        const QImage mask = maskImage(window);
        for (int y = 0; y < mask.height(); ++y) {
            for (int x = 0; x < mask.width(); ++x) {
                const bool onWire = (y == 10 || y == 11) && x >= 5 && x < 65;
                QCOMPARE(mask.pixel(x, y), onWire ? 0x96FF0000u : 0u);
            }
        }
        QCOMPARE(window.undoStack().count(), 1);
        QVERIFY(!window.hasUnsavedChanges());
    }

    void selectReadsThresholdsFromSpinBoxes()
    {
        FakePrompts prompts;
        MainWindow window;
        open(window, prompts);
        window.findChild<QSpinBox *>(QStringLiteral("spinBox_2"))->setValue(60);
        trigger(window, "actionSelect");
        QCOMPARE(maskImage(window), [] {
            QImage empty(80, 40, QImage::Format_ARGB32);
            empty.fill(0);
            return empty;
        }());
    }

    void selectWithoutPhotoPushesEmptyMask()
    {
        MainWindow window;
        trigger(window, "actionSelect");
        QCOMPARE(window.undoStack().count(), 1);
        QVERIFY(window.maskItem());
        QVERIFY(window.maskItem()->pixmap().isNull());
    }

    void processRemovesWiresAndUndoBringsThemBack()
    {
        FakePrompts prompts;
        MainWindow window;
        open(window, prompts);
        trigger(window, "actionProcess");
        QCOMPARE(window.undoStack().count(), 0); // nothing marked: nothing happens

        trigger(window, "actionSelect");
        trigger(window, "actionProcess");
        QVERIFY(!window.maskItem());
        QImage clean(80, 40, QImage::Format_ARGB32);
        clean.fill(white);
        QCOMPARE(window.photo(), clean);
        QCOMPARE(window.undoStack().undoText(), QStringLiteral("Clear wires"));

        const_cast<QUndoStack &>(window.undoStack()).undo();
        QCOMPARE(window.photo(), photoWithWire());
        QVERIFY(window.maskItem());
    }

    void smartSelectionChain()
    {
        FakePrompts prompts;
        MainWindow window;
        open(window, prompts);

        smartSelect(window, squareAt(30, 10), false); // no control point: a move does nothing
        QVERIFY(!window.previewItem());
        smartSelect(window, squareAt(10, 10), true);
        QCOMPARE(window.lastControlPoint(), QPoint(10, 10));
        QCOMPARE(window.undoStack().count(), 0);

        smartSelect(window, squareAt(30, 10), false);
        QVERIFY(window.previewItem());
        QCOMPARE(window.previewItem()->zValue(), 12.0);
        QCOMPARE(window.previewItem()->pos(), QPointF(10, 10)); // window (0, 0) .. (50, 31)
        QVERIFY(!window.maskItem());

        smartSelect(window, squareAt(30, 10), true);
        QVERIFY(!window.previewItem());
        QCOMPARE(window.lastControlPoint(), QPoint(30, 10));
        QCOMPARE(window.undoStack().count(), 1);
        const QImage mask = maskImage(window);
        QCOMPARE(mask.pixel(10, 10), 0xFFFFFF00u);
        QCOMPARE(mask.pixel(29, 10), 0xFFFFFF00u);
        QCOMPARE(mask.pixel(30, 10), 0u); // the end point is the next segment's start
        QCOMPARE(mask.pixel(20, 20), 0u);

        // A click on the control point itself is an empty but undoable step.
        smartSelect(window, squareAt(30, 10), true);
        QCOMPARE(window.undoStack().count(), 2);
        QCOMPARE(maskImage(window), mask);

        smartSelect(window, squareAt(40, 10), false);
        QVERIFY(window.previewItem());
        smartSelect(window, QRect(), true, true);
        QVERIFY(!window.previewItem());
        QCOMPARE(window.lastControlPoint(), QPoint(-100, -100));
        QCOMPARE(window.undoStack().count(), 2);

        QUndoStack &history = const_cast<QUndoStack &>(window.undoStack());
        history.undo();
        history.undo();
        QCOMPARE(window.lastControlPoint(), QPoint(10, 10));
        QCOMPARE(maskImage(window).pixel(10, 10), 0u);
    }

    void smartSelectionEdgeClicks()
    {
        FakePrompts prompts;
        MainWindow window;
        open(window, prompts);
        // The null rectangle acts as a press on photo pixel (0, 0).
        smartSelect(window, QRect(), true);
        QCOMPARE(window.lastControlPoint(), QPoint(0, 0));
        smartSelect(window, QRect(), true, true);

        // The trace from here runs into open white sky: its route is far wider than a wire.
        smartSelect(window, squareAt(70, 30), true);
        smartSelect(window, squareAt(10, 30), true);
        QCOMPARE(window.lastControlPoint(), QPoint(70, 30));
        QCOMPARE(window.undoStack().count(), 0);
        QVERIFY(!window.previewItem());
    }

    void unsavedRemovalIsOfferedForSaving_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("saveAs");
        QTest::addColumn<bool>("quits");
        QTest::newRow("cancel") << int(QMessageBox::Cancel) << QString() << false;
        QTest::newRow("discard") << int(QMessageBox::Discard) << QString() << true;
        QTest::newRow("save") << int(QMessageBox::Save) << QStringLiteral("clean.png") << true;
        QTest::newRow("save fails")
            << int(QMessageBox::Save) << QStringLiteral("no/dir/x.png") << false;
        QTest::newRow("save cancelled") << int(QMessageBox::Save) << QString() << false;
    }
    void unsavedRemovalIsOfferedForSaving()
    {
        QFETCH(int, answer);
        QFETCH(QString, saveAs);
        QFETCH(bool, quits);
        FakePrompts prompts;
        MainWindow window;
        QSignalSpy quit(&window, &MainWindow::mwquit);
        open(window, prompts);
        trigger(window, "actionSelect");
        trigger(window, "actionQuit");
        QCOMPARE(prompts.saveChangesAsked, 0); // marks alone are not worth saving
        QCOMPARE(quit.size(), 1);

        trigger(window, "actionProcess");
        prompts.saveChangesAnswer = QMessageBox::StandardButton(answer);
        if (!saveAs.isEmpty())
            prompts.saveAnswers = {m_files.filePath(saveAs)};
        trigger(window, "actionQuit");
        QCOMPARE(prompts.saveChangesAsked, 1);
        QCOMPARE(quit.size(), quits ? 2 : 1);
        QCOMPARE(window.hasUnsavedChanges(), !(quits && answer == QMessageBox::Save));
        if (answer == QMessageBox::Save && quits)
            QCOMPARE(tolvane::readPhoto(m_files.filePath(saveAs)), window.photo());
    }

    void closeAndOpenAskToo()
    {
        FakePrompts prompts;
        MainWindow window;
        open(window, prompts);
        trigger(window, "actionSelect");
        trigger(window, "actionProcess");
        window.show();
        prompts.saveChangesAnswer = QMessageBox::Cancel;
        QVERIFY(!window.close());
        QVERIFY(window.isVisible());
        trigger(window, "actionOpen");
        QCOMPARE(prompts.saveChangesAsked, 2);
        QCOMPARE(prompts.openAsked.size(), 1); // cancelled before the dialog

        const_cast<QUndoStack &>(window.undoStack()).undo();
        QVERIFY(!window.hasUnsavedChanges());
        QVERIFY(window.close());
        QCOMPARE(prompts.saveChangesAsked, 2);
    }

    void closingWindowDeletesSnapshots()
    {
        QTemporaryDir tmp;
        const QByteArray savedTmp = qgetenv("TMPDIR");
        qputenv("TMPDIR", tmp.path().toLocal8Bit());
        {
            FakePrompts prompts;
            MainWindow window;
            open(window, prompts);
            trigger(window, "actionSelect");
            trigger(window, "actionSelect");
            trigger(window, "actionProcess");
            QCOMPARE(snapshotFilesIn(tmp.path()), 3);
        }
        qputenv("TMPDIR", savedTmp);
        QCOMPARE(snapshotFilesIn(tmp.path()), 0);
    }

    void indexOpensAnotherHelpEachTime()
    {
        MainWindow window;
        trigger(window, "actionIndex");
        trigger(window, "actionIndex");
        const QList<HelpDialog *> dialogs = window.findChildren<HelpDialog *>();
        QCOMPARE(dialogs.size(), 2);
        QVERIFY(dialogs[0]->isVisible() && dialogs[1]->isVisible());
        QVERIFY(!dialogs[0]->isModal());
    }
};

QTEST_MAIN(TestTools)
#include "tst_tools.moc"
