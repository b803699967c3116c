#include <QAction>
#include <QDir>
#include <QImageReader>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QResource>
#include <QSet>
#include <QSpinBox>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocumentFragment>
#include <QToolBar>
#include <QTranslator>

#include "app/mainwindow.h"
#include "canvas/kestgraphicsview.h"
#include "datatable.h"
#include "dialogs/helpdialog.h"
#include "dialogs/userguide.h"
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

// Translates the help dialog's texts into recognisable stand-ins.
class MarkingTranslator : public QTranslator
{
public:
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *text, const char *, int) const override
    {
        const QHash<QByteArray, QString> words
            = {{"Help", "Hilfe"}, {"OK", "Gut"}, {userGuideHtml, "<p>Anleitung</p>"}};
        return qstrcmp(context, "HelpDialog") == 0 ? words.value(text) : QString();
    }
};

// The dialog's title, guide and button text.
QStringList helpTexts(HelpDialog &dialog)
{
    return {dialog.windowTitle(), dialog.findChild<QTextBrowser *>("textBrowser")->toPlainText(),
        dialog.findChild<QPushButton *>("buttonOK")->text()};
}

} // namespace

// The main window as built: its form, its start state, the menus, undo and zoom; the help
// dialog; the icons compiled in.
class TestMainWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;

    // In the directory's order: capitals first.
    const QStringList m_names = {"DeleteHS.png", "Edit_UndoHS.png", "Filter2HS.png",
        "FormRunHS.png", "LineColorHS.png", "ZoomInHS.bmp", "ZoomInHS.png", "ZoomInMs.png",
        "ZoomOutHS.bmp", "ZoomOutHS.png", "ZoomOutMs.png", "cleaner.ico", "folder_open_32.png",
        "openHS.png", "saveHS.png", "zoomminus.png", "zoomplus.png"};

private slots:
    void initTestCase() { useTemporarySettings(m_settingsDir); }

    void form_data()
    {
        addColumns<QString, QVariantMap>(); // name, properties
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
        const auto [name, properties] = fetchRow<QString, QVariantMap>();
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

    // The help dialog's form. A language change delivered to an open dialog re-translates all
    // three texts.
    void helpDialogTranslates()
    {
        HelpDialog dialog;
        QCOMPARE(dialog.objectName(), "HelpDialog");
        QCOMPARE(dialog.size(), QSize(400, 300));
        const QStringList original = helpTexts(dialog);
        QCOMPARE(QStringList({original[0], original[2]}), (QStringList {"Help", "OK"}));
        QVERIFY(original[1].contains("Tools and the workflow"));

        dialog.show();
        MarkingTranslator translator;
        QVERIFY(QCoreApplication::installTranslator(&translator));
        QEvent change(QEvent::LanguageChange);
        QCoreApplication::sendEvent(&dialog, &change);
        QCOMPARE(helpTexts(dialog), (QStringList {"Hilfe", "Anleitung", "Gut"}));
    }

    // The toolbar pictures shown inline in the guide.
    void guideImagesResolve()
    {
        static const QRegularExpression image("<img src=\"([^\"]*)\"");
        QStringList sources;
        for (const QRegularExpressionMatch &match : image.globalMatch(userGuideHtml))
            sources << match.captured(1);
        QCOMPARE(sources.size(), 6);
        for (const QString &source : sources)
            QVERIFY2(QImage(source).width() > 0, qPrintable(source));
    }

    // The icons compiled in, exactly, every picture decoding. Each toolbar picture has a copy
    // twice the size, "name@2x.ext", for screens of two device pixels per logical one. The
    // application icon holds several sizes and is stored compressed; the others are stored as
    // they are.
    void icons()
    {
        QStringList names;
        for (const QString &name : m_names) {
            const QString path = ":/icons/" + name;
            QImageReader reader(path);
            QSet<int> sides;
            do {
                const QImage image = reader.read();
                QVERIFY2(!image.isNull(), qPrintable(path));
                sides.insert(image.width());
            } while (reader.jumpToNextImage());
            const QString large = ":/icons/" + QString(name).insert(name.lastIndexOf(u'.'), u"@2x");
            if (name == u"cleaner.ico") {
                names << name;
                QVERIFY(sides.size() > 1);
                QCOMPARE(QResource(path).compressionAlgorithm(), QResource::ZlibCompression);
            } else {
                names << name << large.mid(8);
                QVERIFY2(QImage(large).size() == QImage(path).size() * 2, qPrintable(path));
                QVERIFY2(QResource(path).compressionAlgorithm() == QResource::NoCompression
                        && QResource(large).compressionAlgorithm() == QResource::NoCompression,
                    qPrintable(path));
            }
        }
        names.sort();
        QCOMPARE(QDir(QStringLiteral(":/icons")).entryList(QDir::Files, QDir::Name), names);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
