#include <QAction>
#include <QMenu>
#include <QSpinBox>
#include <QTest>
#include <QTextDocumentFragment>
#include <QToolBar>

#include "app/mainwindow.h"
#include "canvas/kestgraphicsview.h"
#include "guitestsupport.h"

namespace {

// What `widget` shows of its actions, in order; "-" for a separator.
QStringList texts(const QWidget *widget)
{
    QStringList list;
    for (const QAction *action : widget->actions())
        list.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    return list;
}

// A property of `object`, or one of three stand-ins: "hasIcon" (icons can only be told apart
// from none), "words" (a label's text without the markup that styles it) and "actions" (what a
// menu or toolbar shows, as texts() gives it).
QVariant actual(const QObject &object, const QString &key)
{
    if (key == u"actions")
        return texts(qobject_cast<const QWidget *>(&object));
    if (key == u"hasIcon")
        return !object.property(object.isWidgetType() ? "windowIcon" : "icon")
                    .value<QIcon>()
                    .isNull();
    if (key == u"words")
        return QTextDocumentFragment::fromHtml(object.property("text").toString()).toPlainText();
    return object.property(key.toLatin1());
}

void addRow(const char *name, const QVariantMap &properties)
{
    QTest::newRow(name) << QString(name) << properties;
}

void addActionRow(const char *name, const char *text, const char *toolTip,
    const char *shortcut = "", bool icon = true, bool checkable = false)
{
    // Every action starts enabled and unchecked, and nothing changes that.
    addRow(name,
        {{"text", text}, {"toolTip", toolTip}, {"shortcut", QKeySequence(shortcut)},
            {"hasIcon", icon}, {"checkable", checkable}, {"enabled", true}, {"checked", false}});
}

} // namespace

// The main window as built: its form, its start state, the menus, undo and zoom.
class TestMainWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;

private slots:
    void initTestCase() { useTemporarySettings(m_settingsDir); }

    void form_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QVariantMap>("properties");

        addRow("MainWindow",
            {{"windowTitle", "Tolvane"}, {"size", QSize(600, 400)}, {"hasIcon", true}});
        // An action without a tool tip of its own shows its text.
        addActionRow("actionOpen", "Open", "Open", "Ctrl+O");
        addActionRow("actionSave", "Save", "Save As", "Ctrl+S");
        addActionRow("actionQuit", "Quit", "Quit", "Ctrl+Q");
        addActionRow("actionIndex", "Index", "Index", "", false);
        addActionRow("actionAbout", "About", "About", "", false);
        addActionRow("actionZoomPlus", "ZoomPlus", "Zoom In");
        addActionRow("actionZoomMinus", "ZoomMinus", "Zoom Out");
        addActionRow("actionSelect", "Select", "Autodetect Wires");
        addActionRow("actionProcess", "Process", "Remove selected wires");
        addActionRow("actionSmartSelect", "SmartSelect", "Smart Select", "", true, true);
        addRow("graphicsView", {{"mouseTracking", true}});
        addRow("spinBox", {{"minimum", 1}, {"maximum", 99}, {"value", 1}});
        addRow("spinBox_2", {{"minimum", 1}, {"maximum", 999}, {"value", 1}});
        addRow("padspinbox", {{"minimum", 0}, {"maximum", 99}, {"value", 0}});
        addRow("label", {{"words", "Width Threshold"}});
        addRow("label_2", {{"words", "Length Threshold"}});
        addRow("label_3", {{"words", "Wire padding"}});
        addRow("menuBar", {{"actions", QStringList {"File", "Edit", "Help"}}});
        // The File menu's leading separator is kept (the toolkit hides it when drawing).
        addRow("menuFile",
            {{"title", "File"}, {"actions", QStringList {"-", "Open", "Save", "Quit"}}});
        // Only the history's undo action.
        addRow("menuEdit", {{"title", "Edit"}, {"actions", QStringList {"Undo"}}});
        addRow("menuHelp", {{"title", "Help"}, {"actions", QStringList {"Index", "About"}}});
        addRow("mainToolBar",
            {{"actions",
                QStringList {
                    "Open", "Save", "Select", "SmartSelect", "Process", "ZoomPlus", "ZoomMinus"}}});
    }

    // The parameter boxes change only through their arrows and the wheel, and not at all
    // before Open.
    void form()
    {
        QFETCH(QString, name);
        QFETCH(QVariantMap, properties);

        MainWindow window;
        const QObject *found
            = name == window.objectName() ? &window : window.findChild<QObject *>(name);
        QVERIFY2(found, qPrintable(name));
        QVariantMap expected = properties;
        if (qobject_cast<const QSpinBox *>(found))
            expected.insert(
                {{"enabled", false}, {"focusPolicy", QVariant::fromValue(Qt::NoFocus)}});
        for (auto [key, value] : expected.asKeyValueRange()) {
            const QVariant got = actual(*found, key);
            QVERIFY2(got == value, qPrintable(QStringLiteral("%1 is %2").arg(key, got.toString())));
        }
    }

    // The toolbar pictures come from their @2x files on a screen of two device pixels per
    // logical one, also when no such screen was there when the window was built.
    void iconsSharpAtTwiceTheSize()
    {
        MainWindow window;
        for (QAction *action : window.findChild<QToolBar *>()->actions())
            QCOMPARE(action->icon().pixmap(QSize(24, 24), 2.0).size(), QSize(48, 48));
    }

    // Before any photo: the progress bar hidden, no status message, no scene and nothing to
    // undo. The Edit menu's action undoes the last command; one step out undoes one step in.
    void startStateUndoAndZoom()
    {
        MainWindow window;
        auto *view = window.findChild<KestGraphicsView *>(QStringLiteral("graphicsView"));
        QVERIFY(window.findChild<QWidget *>(QStringLiteral("progressBar"))->isHidden());
        QVERIFY(statusMessage(window).isEmpty());
        QVERIFY(!view->scene());
        QCOMPARE(window.toolBarArea(window.findChild<QToolBar *>()), Qt::TopToolBarArea);

        QAction *undo = window.findChild<QMenu *>(QStringLiteral("menuEdit"))->actions().value(0);
        QCOMPARE(undo->shortcut(), QKeySequence(QKeySequence::Undo));
        QVERIFY(!undo->isEnabled());
        // Stands for a command a tool pushed.
        const_cast<QUndoStack &>(window.undoStack()).push(new QUndoCommand(QStringLiteral("Mark")));
        QVERIFY(undo->isEnabled());
        undo->trigger();
        QCOMPARE(window.undoStack().index(), 0);
        QVERIFY(!undo->isEnabled());

        window.findChild<QAction *>(QStringLiteral("actionZoomPlus"))->trigger();
        QCOMPARE(view->transform(), QTransform::fromScale(1.2, 1.2));
        window.findChild<QAction *>(QStringLiteral("actionZoomMinus"))->trigger();
        QVERIFY(
            qFuzzyCompare(view->transform().m11(), 1) && qFuzzyCompare(view->transform().m22(), 1));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
