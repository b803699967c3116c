#include <QAction>
#include <QBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QToolBar>
#include <QUndoCommand>
#include <QUndoStack>

#include "app/mainwindow.h"
#include "canvas/kestgraphicsview.h"
#include "guitestsupport.h"

// The main window as built: its form, its start state, zoom, quit and the keyboard shortcuts.
class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void windowAtStart();
    void actions_data();
    void actions();
    void parameterBoxes_data();
    void parameterBoxes();
    void labels_data();
    void labels();
    void layoutOrder();
    void menus();
    void undoActionAtStart();
    void toolbar();
    void tabOrder();
    void zoomInAndOutReturns_data();
    void zoomInAndOutReturns();
    void quitEmitsSignal();
    void shortcutsTrigger();
    void undoKeyOnlyWithHistory();

private:
    QTemporaryDir m_settingsDir;
    QTemporaryDir m_photos;
};

namespace {

template <typename T> T *child(const MainWindow &window, const char *name)
{
    T *found = window.findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qWarning("no %s named %s", T::staticMetaObject.className(), name);
    return found;
}

QAction *action(const MainWindow &window, const char *name)
{
    return child<QAction>(window, name);
}

QList<QAction *> actionList(const MainWindow &window, std::initializer_list<const char *> names)
{
    QList<QAction *> list;
    for (const char *name : names)
        list.append(action(window, name));
    return list;
}

// Stands for a command a tool pushed: the tools live elsewhere, and any command tells whether
// the history is kept or undone.
void pushCommand(const MainWindow &window)
{
    const_cast<QUndoStack &>(window.undoStack()).push(new QUndoCommand(QStringLiteral("Mark")));
}

} // namespace

void TestMainWindow::initTestCase()
{
    useTemporarySettings(m_settingsDir);
}

void TestMainWindow::init()
{
    QSettings().clear();
}

void TestMainWindow::windowAtStart()
{
    MainWindow window;
    QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Tolvane"));
    QCOMPARE(window.size(), QSize(600, 400));
    QVERIFY(!window.windowIcon().isNull());
    QVERIFY(statusMessage(window).isEmpty());
    QVERIFY(window.photo().isNull());
    QCOMPARE(window.lastControlPoint(), QPoint(0, 0));
    QCOMPARE(window.undoStack().count(), 0);

    auto *view = child<KestGraphicsView>(window, "graphicsView");
    QVERIFY(view);
    QCOMPARE(view->parentWidget(), child<QWidget>(window, "centralWidget"));
    QCOMPARE(window.centralWidget(), child<QWidget>(window, "centralWidget"));
    QVERIFY(!view->scene());
    QVERIFY(view->hasMouseTracking());

    auto *progress = child<QProgressBar>(window, "progressBar");
    QVERIFY(progress);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(!progress->isVisible());
    QCOMPARE(progress->value(), 24);
    QCOMPARE(progress->minimum(), 0);
    QCOMPARE(progress->maximum(), 100);
    QVERIFY(child<QStatusBar>(window, "statusBar"));
    QCOMPARE(window.statusBar(), child<QStatusBar>(window, "statusBar"));
}

void TestMainWindow::actions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<QKeySequence>("shortcut");
    QTest::addColumn<QString>("icon");
    QTest::addColumn<bool>("checkable");

    // An action without a tool tip of its own shows its text.
    QTest::newRow("Open") << "actionOpen"
                          << "Open"
                          << "Open" << QKeySequence("Ctrl+O") << ":/icons/openHS.png" << false;
    QTest::newRow("Save") << "actionSave"
                          << "Save"
                          << "Save As" << QKeySequence("Ctrl+S") << ":/icons/saveHS.png" << false;
    QTest::newRow("Quit") << "actionQuit"
                          << "Quit"
                          << "Quit" << QKeySequence("Ctrl+Q") << ":/icons/DeleteHS.png" << false;
    QTest::newRow("Index") << "actionIndex"
                           << "Index"
                           << "Index" << QKeySequence() << QString() << false;
    QTest::newRow("About") << "actionAbout"
                           << "About"
                           << "About" << QKeySequence() << QString() << false;
    QTest::newRow("ZoomPlus") << "actionZoomPlus"
                              << "ZoomPlus"
                              << "Zoom In" << QKeySequence() << ":/icons/ZoomInMs.png" << false;
    QTest::newRow("ZoomMinus") << "actionZoomMinus"
                               << "ZoomMinus"
                               << "Zoom Out" << QKeySequence() << ":/icons/ZoomOutMs.png" << false;
    QTest::newRow("Select") << "actionSelect"
                            << "Select"
                            << "Autodetect Wires" << QKeySequence() << ":/icons/Filter2HS.png"
                            << false;
    QTest::newRow("Process") << "actionProcess"
                             << "Process"
                             << "Remove selected wires" << QKeySequence() << ":/icons/FormRunHS.png"
                             << false;
    QTest::newRow("SmartSelect") << "actionSmartSelect"
                                 << "SmartSelect"
                                 << "Smart Select" << QKeySequence() << ":/icons/LineColorHS.png"
                                 << true;
}

void TestMainWindow::actions()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, toolTip);
    QFETCH(QKeySequence, shortcut);
    QFETCH(QString, icon);
    QFETCH(bool, checkable);

    MainWindow window;
    QAction *found = window.findChild<QAction *>(name);
    QVERIFY(found);
    QCOMPARE(found->parent(), &window);
    QCOMPARE(found->text(), text);
    QCOMPARE(found->toolTip(), toolTip);
    QCOMPARE(found->shortcut(), shortcut);
    QCOMPARE(found->isCheckable(), checkable);
    QVERIFY(found->isEnabled());
    QVERIFY(!found->isChecked());
    if (icon.isEmpty()) {
        QVERIFY(found->icon().isNull());
    } else {
        const QImage picture(icon);
        QVERIFY(!picture.isNull());
        // Pixmaps hold premultiplied pixels; compare in that form.
        const QImage shown = found->icon().pixmap(picture.size()).toImage();
        QCOMPARE(shown.convertToFormat(QImage::Format_ARGB32_Premultiplied),
            picture.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }
}

void TestMainWindow::parameterBoxes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("value");

    QTest::newRow("Width threshold") << "spinBox" << 1 << 99 << 1;
    QTest::newRow("Length threshold") << "spinBox_2" << 1 << 999 << 1;
    QTest::newRow("Wire padding") << "padspinbox" << 0 << 99 << 0;
}

// The boxes change only through their arrows and the wheel, and not at all before Open.
void TestMainWindow::parameterBoxes()
{
    QFETCH(QString, name);
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(int, value);

    MainWindow window;
    auto *box = window.findChild<QSpinBox *>(name);
    QVERIFY(box);
    QVERIFY(!box->isEnabled());
    QCOMPARE(box->focusPolicy(), Qt::NoFocus);
    QCOMPARE(box->contextMenuPolicy(), Qt::NoContextMenu);
    QCOMPARE(box->minimum(), minimum);
    QCOMPARE(box->maximum(), maximum);
    QCOMPARE(box->singleStep(), 1);
    QCOMPARE(box->value(), value);
}

void TestMainWindow::labels_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("words");
    QTest::addColumn<bool>("bold");

    QTest::newRow("label") << "label"
                           << "Width Threshold" << true;
    QTest::newRow("label_2") << "label_2"
                             << "Length Threshold" << false;
    QTest::newRow("label_3") << "label_3"
                             << "Wire padding" << true;
}

void TestMainWindow::labels()
{
    QFETCH(QString, name);
    QFETCH(QString, words);
    QFETCH(bool, bold);

    MainWindow window;
    auto *label = window.findChild<QLabel *>(name);
    QVERIFY(label);
    const QString text = label->text();
    QVERIFY2(Qt::mightBeRichText(text), qPrintable(text));
    QVERIFY(text.contains(words));
    QVERIFY(text.contains(QLatin1String("font-size:8pt")));
    QVERIFY(text.contains(QLatin1String("font-weight:600")));
    QVERIFY(text.contains(QLatin1String("color:#5a5a5a")));
    QCOMPARE(label->font().bold(), bold);
}

void TestMainWindow::layoutOrder()
{
    MainWindow window;
    auto *column = child<QVBoxLayout>(window, "verticalLayout");
    auto *parameters = child<QHBoxLayout>(window, "horizontalLayout_2");
    auto *canvas = child<QHBoxLayout>(window, "horizontalLayout");
    QVERIFY(column && parameters && canvas);
    QCOMPARE(column->spacing(), 6);
    QCOMPARE(column->contentsMargins(), QMargins(11, 11, 11, 11));
    QCOMPARE(column->count(), 3);
    QCOMPARE(column->itemAt(0)->layout(), parameters);
    QCOMPARE(column->itemAt(1)->layout(), canvas);
    QCOMPARE(column->itemAt(2)->widget(), child<QWidget>(window, "progressBar"));

    QCOMPARE(parameters->spacing(), 6);
    QCOMPARE(parameters->contentsMargins().bottom(), 9);
    const QStringList expected
        = {"label", "spinBox", "", "label_2", "spinBox_2", "", "label_3", "padspinbox"};
    QCOMPARE(parameters->count(), expected.size());
    for (int i = 0; i < parameters->count(); ++i) {
        QLayoutItem *item = parameters->itemAt(i);
        if (expected[i].isEmpty()) {
            QSpacerItem *spacer = item->spacerItem();
            QVERIFY(spacer);
            QCOMPARE(spacer->sizeHint(), QSize(40, 20));
            QCOMPARE(spacer->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
            QCOMPARE(spacer->sizePolicy().verticalPolicy(), QSizePolicy::Minimum);
        } else {
            QVERIFY(item->widget());
            QCOMPARE(item->widget()->objectName(), expected[i]);
        }
    }

    QCOMPARE(canvas->spacing(), 6);
    QCOMPARE(canvas->count(), 1);
    QCOMPARE(canvas->itemAt(0)->widget(), child<QWidget>(window, "graphicsView"));
}

// The File menu's leading separator is kept (the toolkit hides it when drawing).
void TestMainWindow::menus()
{
    MainWindow window;
    auto *bar = child<QMenuBar>(window, "menuBar");
    QVERIFY(bar);
    QCOMPARE(window.menuBar(), bar);
    auto *file = child<QMenu>(window, "menuFile");
    auto *edit = child<QMenu>(window, "menuEdit");
    auto *help = child<QMenu>(window, "menuHelp");
    QVERIFY(file && edit && help);
    QCOMPARE(bar->actions(),
        (QList<QAction *> {file->menuAction(), edit->menuAction(), help->menuAction()}));
    QCOMPARE(file->title(), QStringLiteral("File"));
    QCOMPARE(edit->title(), QStringLiteral("Edit"));
    QCOMPARE(help->title(), QStringLiteral("Help"));
    QCOMPARE(edit->minimumSize(), QSize(100, 100));

    const QList<QAction *> fileActions = file->actions();
    QCOMPARE(fileActions.size(), 4);
    QVERIFY(fileActions[0]->isSeparator());
    QCOMPARE(fileActions.mid(1), actionList(window, {"actionOpen", "actionSave", "actionQuit"}));
    QCOMPARE(help->actions(), actionList(window, {"actionIndex", "actionAbout"}));
}

void TestMainWindow::undoActionAtStart()
{
    MainWindow window;
    auto *edit = child<QMenu>(window, "menuEdit");
    QVERIFY(edit);
    QCOMPARE(edit->actions().size(), 1);
    QAction *undo = edit->actions().constFirst();
    QCOMPARE(undo->text(), QStringLiteral("Undo"));
    QCOMPARE(undo->shortcut(), QKeySequence(QKeySequence::Undo));
    QVERIFY(!undo->isEnabled());

    pushCommand(window);
    QVERIFY(undo->isEnabled());
    QCOMPARE(undo->text(), QStringLiteral("Undo Mark"));
    undo->trigger();
    QCOMPARE(window.undoStack().index(), 0);
    QVERIFY(!undo->isEnabled());
}

void TestMainWindow::toolbar()
{
    MainWindow window;
    auto *bar = child<QToolBar>(window, "mainToolBar");
    QVERIFY(bar);
    QCOMPARE(window.toolBarArea(bar), Qt::TopToolBarArea);
    QCOMPARE(bar->actions(),
        actionList(window,
            {"actionOpen", "actionSave", "actionSelect", "actionSmartSelect", "actionProcess",
                "actionZoomPlus", "actionZoomMinus"}));
}

// Tab goes from the canvas to the three boxes in turn; widgets inside each (the view's
// viewport, a spin box's editor) travel with it.
void TestMainWindow::tabOrder()
{
    MainWindow window;
    const QList<QWidget *> order
        = {child<QWidget>(window, "graphicsView"), child<QWidget>(window, "spinBox"),
            child<QWidget>(window, "spinBox_2"), child<QWidget>(window, "padspinbox")};
    for (int i = 0; i + 1 < order.size(); ++i) {
        QWidget *next = order[i]->nextInFocusChain();
        while (order[i]->isAncestorOf(next))
            next = next->nextInFocusChain();
        QCOMPARE(next, order[i + 1]);
    }
}

void TestMainWindow::zoomInAndOutReturns_data()
{
    QTest::addColumn<bool>("photoOpen");
    QTest::newRow("no photo") << false;
    QTest::newRow("photo fitted") << true;
}

void TestMainWindow::zoomInAndOutReturns()
{
    QFETCH(bool, photoOpen);

    FakePrompts prompts;
    MainWindow window;
    if (photoOpen) {
        prompts.openAnswers << writePhoto(m_photos, "zoom.png", patternPhoto(300, 200));
        action(window, "actionOpen")->trigger();
        QVERIFY(!window.photo().isNull());
    }
    auto *view = child<KestGraphicsView>(window, "graphicsView");
    const QTransform start = view->transform();

    action(window, "actionZoomPlus")->trigger();
    QVERIFY(qFuzzyCompare(view->transform().m11(), start.m11() * 1.2));
    QVERIFY(qFuzzyCompare(view->transform().m22(), start.m22() * 1.2));
    action(window, "actionZoomPlus")->trigger();
    action(window, "actionZoomPlus")->trigger();
    for (int i = 0; i < 3; ++i)
        action(window, "actionZoomMinus")->trigger();
    QVERIFY(qFuzzyCompare(view->transform().m11(), start.m11()));
    QVERIFY(qFuzzyCompare(view->transform().m22(), start.m22()));
}

void TestMainWindow::quitEmitsSignal()
{
    FakePrompts prompts;
    MainWindow window;
    QSignalSpy quit(&window, &MainWindow::mwquit);
    action(window, "actionQuit")->trigger();
    QCOMPARE(quit.count(), 1);

    prompts.openAnswers << writePhoto(m_photos, "quit.png", patternPhoto(8, 8));
    action(window, "actionOpen")->trigger();
    QVERIFY(!window.hasUnsavedChanges());
    action(window, "actionQuit")->trigger();
    QCOMPARE(quit.count(), 2);
    QCOMPARE(prompts.saveChangesAsked, 0);
}

void TestMainWindow::shortcutsTrigger()
{
    FakePrompts prompts;
    MainWindow window;
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QSignalSpy quit(&window, &MainWindow::mwquit);

    QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(prompts.openAsked.size(), 1);
    QTest::keyClick(&window, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(statusMessage(window), QStringLiteral("Nothing to save."));
    QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
    QCOMPARE(quit.count(), 1);
}

void TestMainWindow::undoKeyOnlyWithHistory()
{
    MainWindow window;
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    const QKeySequence undoKey(QKeySequence::Undo);
    QVERIFY(!undoKey.isEmpty());

    QTest::keySequence(&window, undoKey);
    QCOMPARE(window.undoStack().index(), 0);
    pushCommand(window);
    pushCommand(window);
    QTest::keySequence(&window, undoKey);
    QCOMPARE(window.undoStack().index(), 1);
    QCOMPARE(window.undoStack().count(), 2);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
