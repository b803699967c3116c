#include "app/mainwindow_form.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QSpacerItem>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

#include "canvas/kestgraphicsview.h"
#include "core/parameters.h"

QIcon toolbarIcon(const QString &file, bool mirrored)
{
    // The twice-as-large picture too, whatever the screens at start: the toolkit looks for
    // "name@2x.png" by itself only when a screen of ratio 2 is already there.
    QString twice = file;
    twice.insert(twice.lastIndexOf(u'.'), u"@2x");
    QIcon pictures;
    for (const QString &name : {file, twice}) {
        if (mirrored)
            pictures.addPixmap(QPixmap::fromImage(QImage(name).mirrored(true, false)));
        else
            pictures.addFile(name, QSize(), QIcon::Normal, QIcon::Off);
    }
    return pictures;
}

namespace {

QAction *makeAction(QMainWindow *window, const char *name, const char *icon, bool checkable = false)
{
    auto *action = new QAction(window);
    action->setObjectName(QString::fromLatin1(name));
    action->setCheckable(checkable);
    if (icon)
        action->setIcon(toolbarIcon(QString::fromLatin1(icon)));
    return action;
}

QSpinBox *makeParameterBox(
    QWidget *parent, const char *name, const tolvane::parameters::Parameter &parameter)
{
    // Open enables the boxes and sets them to their defaults.
    auto *box = new QSpinBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setEnabled(false);
    box->setContextMenuPolicy(Qt::NoContextMenu);
    box->setRange(parameter.minimum, parameter.maximum);
    // Typed values are taken as they are; the wheel and the arrows step by 1 below 100, by 10
    // up to 999 (ten times that with Ctrl), so that large photos' thresholds are in reach.
    box->setFocusPolicy(Qt::StrongFocus);
    box->setStepType(QAbstractSpinBox::AdaptiveDecimalStepType);
    box->setKeyboardTracking(false);
    return box;
}

QLabel *makeLabel(QWidget *parent, const char *name, bool bold)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    if (bold) {
        QFont font;
        font.setBold(true);
        label->setFont(font);
    }
    return label;
}

QSpacerItem *makeSpacer()
{
    return new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum);
}

QString labelText(const char *text)
{
    return QStringLiteral("<html><head/><body><p><span style=\" font-size:8pt; font-weight:600; "
                          "color:#5a5a5a;\">%1</span></p></body></html>")
        .arg(QCoreApplication::translate("MainWindow", text));
}

} // namespace

void MainWindowForm::setupUi(QMainWindow *window)
{
    if (window->objectName().isEmpty())
        window->setObjectName(QStringLiteral("MainWindow"));
    window->resize(600, 400);
    window->setWindowIcon(QIcon(QStringLiteral(":/icons/cleaner.ico")));

    actionOpen = makeAction(window, "actionOpen", ":/icons/openHS.png");
    actionSave = makeAction(window, "actionSave", ":/icons/saveHS.png");
    actionSaveAs = makeAction(window, "actionSaveAs", nullptr);
    actionSuggestedThresholds = makeAction(window, "actionSuggestedThresholds", nullptr);
    actionSnapToWires = makeAction(window, "actionSnapToWires", nullptr, true);
    actionQuit = makeAction(window, "actionQuit", ":/icons/DeleteHS.png");
    actionIndex = makeAction(window, "actionIndex", nullptr);
    actionAbout = makeAction(window, "actionAbout", nullptr);
    actionZoomPlus = makeAction(window, "actionZoomPlus", ":/icons/ZoomInMs.png");
    actionZoomMinus = makeAction(window, "actionZoomMinus", ":/icons/ZoomOutMs.png");
    actionSelect = makeAction(window, "actionSelect", ":/icons/Filter2HS.png");
    actionProcess = makeAction(window, "actionProcess", ":/icons/FormRunHS.png");
    actionSmartSelect = makeAction(window, "actionSmartSelect", ":/icons/LineColorHS.png", true);
    actionEraser = makeAction(window, "actionEraser", ":/icons/eraser.png", true);
    actionMarkBrush = makeAction(window, "actionMarkBrush", ":/icons/markbrush.png", true);
    actionBrushSmaller = makeAction(window, "actionBrushSmaller", nullptr);
    actionBrushLarger = makeAction(window, "actionBrushLarger", nullptr);
    actionShowMarks = makeAction(window, "actionShowMarks", nullptr, true);
    actionShowMarks->setChecked(true);
    actionLoadMask = makeAction(window, "actionLoadMask", nullptr);
    actionSaveMask = makeAction(window, "actionSaveMask", nullptr);
    actionFitToWindow = makeAction(window, "actionFitToWindow", nullptr);
    actionActualSize = makeAction(window, "actionActualSize", nullptr);

    centralWidget = new QWidget(window);
    centralWidget->setObjectName(QStringLiteral("centralWidget"));
    verticalLayout = new QVBoxLayout(centralWidget);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    verticalLayout->setSpacing(6);
    verticalLayout->setContentsMargins(11, 11, 11, 11);

    horizontalLayout_2 = new QHBoxLayout();
    horizontalLayout_2->setObjectName(QStringLiteral("horizontalLayout_2"));
    horizontalLayout_2->setSpacing(6);
    horizontalLayout_2->setContentsMargins(-1, -1, -1, 9);
    // A label and its number box for each parameter, spacers between them.
    auto addParameter = [&](QLabel *&label, const char *labelName, bool bold, QSpinBox *&box,
                            const char *boxName, const tolvane::parameters::Parameter &parameter) {
        label = makeLabel(centralWidget, labelName, bold);
        horizontalLayout_2->addWidget(label);
        box = makeParameterBox(centralWidget, boxName, parameter);
        horizontalLayout_2->addWidget(box);
    };
    addParameter(label, "label", true, spinBox, "spinBox", tolvane::parameters::widthThreshold);
    horizontalSpacer = makeSpacer();
    horizontalLayout_2->addItem(horizontalSpacer);
    addParameter(
        label_2, "label_2", false, spinBox_2, "spinBox_2", tolvane::parameters::lengthThreshold);
    // The detection mode that Autodetect runs, and the precise mode's wire length.
    detectorLabel = makeLabel(centralWidget, "detectorLabel", false);
    horizontalLayout_2->addWidget(detectorLabel);
    detectorBox = new QComboBox(centralWidget);
    detectorBox->setObjectName(QStringLiteral("detectorBox"));
    detectorBox->addItem(QString(), QStringLiteral("classic"));
    detectorBox->addItem(QString(), QStringLiteral("precise"));
    detectorLabel->setBuddy(detectorBox);
    horizontalLayout_2->addWidget(detectorBox);
    addParameter(wireLengthLabel, "wireLengthLabel", false, wireLengthBox, "wireLengthBox",
        tolvane::parameters::wireLength);
    horizontalSpacer_2 = makeSpacer();
    horizontalLayout_2->addItem(horizontalSpacer_2);
    addParameter(
        label_3, "label_3", true, padspinbox, "padspinbox", tolvane::parameters::wirePadding);
    fillModeLabel = makeLabel(centralWidget, "fillModeLabel", true);
    horizontalLayout_2->addWidget(fillModeLabel);
    fillModeBox = new QComboBox(centralWidget);
    fillModeBox->setObjectName(QStringLiteral("fillModeBox"));
    fillModeBox->addItem(QString(), QStringLiteral("mirror"));
    fillModeBox->addItem(QString(), QStringLiteral("seamless"));
    fillModeLabel->setBuddy(fillModeBox);
    horizontalLayout_2->addWidget(fillModeBox);
    verticalLayout->addLayout(horizontalLayout_2);

    horizontalLayout = new QHBoxLayout();
    horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
    horizontalLayout->setSpacing(6);
    graphicsView = new KestGraphicsView(centralWidget);
    graphicsView->setObjectName(QStringLiteral("graphicsView"));
    // Moves must arrive without a button held, for the smart-selection preview.
    graphicsView->setMouseTracking(true);
    horizontalLayout->addWidget(graphicsView);
    verticalLayout->addLayout(horizontalLayout);

    progressBar = new QProgressBar(centralWidget);
    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setValue(24);
    verticalLayout->addWidget(progressBar);
    window->setCentralWidget(centralWidget);

    menuBar = new QMenuBar(window);
    menuBar->setObjectName(QStringLiteral("menuBar"));
    menuFile = new QMenu(menuBar);
    menuFile->setObjectName(QStringLiteral("menuFile"));
    menuEdit = new QMenu(menuBar);
    menuEdit->setObjectName(QStringLiteral("menuEdit"));
    menuEdit->setMinimumSize(QSize(100, 100));
    menuView = new QMenu(menuBar);
    menuView->setObjectName(QStringLiteral("menuView"));
    menuHelp = new QMenu(menuBar);
    menuHelp->setObjectName(QStringLiteral("menuHelp"));
    window->setMenuBar(menuBar);

    mainToolBar = new QToolBar(window);
    mainToolBar->setObjectName(QStringLiteral("mainToolBar"));
    window->addToolBar(Qt::TopToolBarArea, mainToolBar);
    statusBar = new QStatusBar(window);
    statusBar->setObjectName(QStringLiteral("statusBar"));
    window->setStatusBar(statusBar);
    QWidget::setTabOrder(graphicsView, spinBox);
    QWidget::setTabOrder(spinBox, spinBox_2);
    QWidget::setTabOrder(spinBox_2, padspinbox);

    for (QMenu *menu : {menuFile, menuEdit, menuView, menuHelp})
        menuBar->addAction(menu->menuAction());
    menuFile->addSeparator();
    menuFile->addActions({actionOpen, actionSave, actionSaveAs});
    menuFile->addSeparator();
    menuFile->addActions({actionLoadMask, actionSaveMask});
    menuFile->addSeparator();
    menuFile->addAction(actionQuit);
    // The window adds Undo and Redo at the top.
    menuEdit->addSeparator();
    menuEdit->addActions({actionEraser, actionMarkBrush, actionBrushSmaller, actionBrushLarger});
    menuEdit->addSeparator();
    menuEdit->addActions({actionSnapToWires, actionSuggestedThresholds});
    menuView->addActions({actionFitToWindow, actionActualSize, actionZoomPlus, actionZoomMinus});
    menuView->addSeparator();
    menuView->addAction(actionShowMarks);
    menuHelp->addActions({actionIndex, actionAbout});
    mainToolBar->addActions({actionOpen, actionSave, actionSelect, actionSmartSelect, actionProcess,
        actionZoomPlus, actionZoomMinus});
    mainToolBar->addSeparator();
    mainToolBar->addActions({actionEraser, actionMarkBrush});
    brushSizeLabel = new QLabel(mainToolBar);
    brushSizeLabel->setObjectName(QStringLiteral("brushSizeLabel"));
    brushSizeBox = new QSpinBox(mainToolBar);
    brushSizeBox->setObjectName(QStringLiteral("brushSizeBox"));
    brushSizeBox->setRange(1, 500);
    brushSizeBox->setValue(20);
    brushSizeBox->setSuffix(QStringLiteral(" px"));
    // Typing into it would take the letters of the tools' shortcuts.
    brushSizeBox->setFocusPolicy(Qt::NoFocus);
    brushSizeLabel->setBuddy(brushSizeBox);
    mainToolBar->addWidget(brushSizeLabel);
    mainToolBar->addWidget(brushSizeBox);

    retranslateUi(window);
    QMetaObject::connectSlotsByName(window);
}

void MainWindowForm::retranslateUi(QMainWindow *window)
{
    auto tr = [](const char *text) { return QCoreApplication::translate("MainWindow", text); };
    window->setWindowTitle(tr("Tolvane"));
    actionOpen->setText(tr("Open"));
    actionOpen->setShortcut(QKeySequence(tr("Ctrl+O")));
    actionSave->setText(tr("Save"));
    actionSave->setToolTip(tr("Save As"));
    actionSave->setShortcut(QKeySequence(tr("Ctrl+S")));
    actionSaveAs->setText(tr("Save As..."));
    actionSuggestedThresholds->setText(tr("Use thresholds for this photo's size"));
    actionSnapToWires->setText(tr("Snap clicks to wires"));
    actionSnapToWires->setToolTip(
        tr("SmartSelection: each click lands on the thin dark line nearest to it"));
    actionSaveAs->setShortcut(QKeySequence(tr("Ctrl+Shift+S")));
    actionQuit->setText(tr("Quit"));
    actionQuit->setShortcut(QKeySequence(tr("Ctrl+Q")));
    actionIndex->setText(tr("Index"));
    actionAbout->setText(tr("About"));
    auto name = [&](QAction *action, const char *text, const char *toolTip) {
        action->setText(tr(text));
        action->setToolTip(tr(toolTip));
    };
    name(actionZoomPlus, "ZoomPlus", "Zoom In");
    name(actionZoomMinus, "ZoomMinus", "Zoom Out");
    name(actionSelect, "Select", "Autodetect Wires");
    name(actionProcess, "Process", "Remove selected wires");
    name(actionSmartSelect, "SmartSelect", "Smart Select");
    // The new tools show their shortcuts in their tooltips as well as in the menus.
    auto tool = [&](QAction *action, const char *text, const char *toolTip, const char *keys) {
        action->setText(tr(text));
        action->setShortcut(QKeySequence(tr(keys)));
        action->setToolTip(QStringLiteral("%1 (%2)").arg(
            tr(toolTip), action->shortcut().toString(QKeySequence::NativeText)));
    };
    tool(actionEraser, "Eraser", "Eraser: drag to unmark, Alt+click to drop a whole trace", "E");
    tool(actionMarkBrush, "Mark brush", "Mark brush: drag to mark", "B");
    tool(actionBrushSmaller, "Smaller brush", "Smaller brush", "[");
    tool(actionBrushLarger, "Larger brush", "Larger brush", "]");
    tool(actionShowMarks, "Show marks", "Show or hide the marks", "M");
    tool(actionFitToWindow, "Fit to window", "Fit to window", "Ctrl+0");
    tool(actionActualSize, "Actual size (100 %)", "Actual size (100 %)", "Ctrl+1");
    actionLoadMask->setText(tr("Load mask..."));
    actionSaveMask->setText(tr("Save mask..."));
    brushSizeLabel->setText(tr(" Brush "));
    brushSizeBox->setToolTip(tr("Brush size in photo pixels ([ and ])"));
    brushSizeBox->setAccessibleName(tr("Brush size"));
    label->setText(labelText(tolvane::parameters::widthThreshold.label));
    label_2->setText(labelText(tolvane::parameters::lengthThreshold.label));
    label_3->setText(labelText(tolvane::parameters::wirePadding.label));
    for (auto [box, parameter] : {std::pair(spinBox, &tolvane::parameters::widthThreshold),
             {spinBox_2, &tolvane::parameters::lengthThreshold},
             {padspinbox, &tolvane::parameters::wirePadding},
             {wireLengthBox, &tolvane::parameters::wireLength}})
        box->setAccessibleName(tr(parameter->label));
    detectorLabel->setText(labelText("Detector"));
    detectorBox->setAccessibleName(tr("Detector"));
    detectorBox->setItemText(0, tr("Classic"));
    detectorBox->setItemText(1, tr("Precise"));
    detectorBox->setToolTip(tr("Classic: the band scan of near-horizontal wires. Precise: thin "
                               "wires at any angle with their fringe, no edges or branches"));
    wireLengthLabel->setText(labelText(tolvane::parameters::wireLength.label));
    wireLengthBox->setToolTip(tr("Precise detection: the shortest wire, in pixels"));
    fillModeLabel->setText(labelText("Fill"));
    fillModeBox->setItemText(0, tr("Mirror"));
    fillModeBox->setItemText(1, tr("Seamless"));
    fillModeBox->setToolTip(
        tr("How Process fills the marks. Mirror: clean rows of each column mirrored over the "
           "marks, widened by Wire padding. Seamless: a smooth fill from the edges of exactly "
           "the marked pixels, with the fine texture beside them; Wire padding is not applied."));
    fillModeBox->setAccessibleName(tr("Fill"));
    menuFile->setTitle(tr("File"));
    menuEdit->setTitle(tr("Edit"));
    menuView->setTitle(tr("View"));
    menuHelp->setTitle(tr("Help"));
}
