#pragma once

#include <QIcon>

// The number boxes' ranges, and the defaults Open sets them to.
#include "core/parameters.h"

class KestGraphicsView;
class QAction;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QMainWindow;
class QMenu;
class QMenuBar;
class QProgressBar;
class QSpacerItem;
class QSpinBox;
class QStatusBar;
class QToolBar;
class QVBoxLayout;
class QWidget;

// The picture of a toolbar button from `file` and its "@2x" twice-as-large version beside it,
// turned left to right when `mirrored`.
QIcon toolbarIcon(const QString &file, bool mirrored = false);

// The main window's widgets, built in code from fixed object names. setupUi() builds them
// once; retranslateUi() assigns every text and can run again on a language change.
class MainWindowForm
{
public:
    QAction *actionOpen = nullptr;
    QAction *actionSave = nullptr;
    QAction *actionSaveAs = nullptr;
    QAction *actionSuggestedThresholds = nullptr;
    QAction *actionSnapToWires = nullptr;
    QAction *actionQuit = nullptr;
    QAction *actionIndex = nullptr;
    QAction *actionAbout = nullptr;
    QAction *actionZoomPlus = nullptr;
    QAction *actionZoomMinus = nullptr;
    QAction *actionSelect = nullptr;
    QAction *actionProcess = nullptr;
    QAction *actionSmartSelect = nullptr;
    // Editing the marks by hand, and looking at them.
    QAction *actionEraser = nullptr;
    QAction *actionMarkBrush = nullptr;
    QAction *actionBrushSmaller = nullptr;
    QAction *actionBrushLarger = nullptr;
    QAction *actionShowMarks = nullptr;
    QAction *actionLoadMask = nullptr;
    QAction *actionSaveMask = nullptr;
    QAction *actionFitToWindow = nullptr;
    QAction *actionActualSize = nullptr;
    QLabel *brushSizeLabel = nullptr;
    QSpinBox *brushSizeBox = nullptr;
    QWidget *centralWidget = nullptr;
    QVBoxLayout *verticalLayout = nullptr;
    QHBoxLayout *horizontalLayout_2 = nullptr;
    QLabel *label = nullptr;
    QSpinBox *spinBox = nullptr;
    QSpacerItem *horizontalSpacer = nullptr;
    QLabel *label_2 = nullptr;
    QSpinBox *spinBox_2 = nullptr;
    QLabel *detectorLabel = nullptr;
    QComboBox *detectorBox = nullptr; // item data: "classic" or "precise"
    QLabel *wireLengthLabel = nullptr;
    QSpinBox *wireLengthBox = nullptr;
    QSpacerItem *horizontalSpacer_2 = nullptr;
    QLabel *label_3 = nullptr;
    QSpinBox *padspinbox = nullptr;
    // The fill that Process uses; its items' data are "mirror" and "seamless".
    QLabel *fillModeLabel = nullptr;
    QComboBox *fillModeBox = nullptr;
    QHBoxLayout *horizontalLayout = nullptr;
    KestGraphicsView *graphicsView = nullptr;
    QProgressBar *progressBar = nullptr;
    QMenuBar *menuBar = nullptr;
    QMenu *menuFile = nullptr;
    QMenu *menuEdit = nullptr;
    QMenu *menuView = nullptr;
    QMenu *menuHelp = nullptr;
    QToolBar *mainToolBar = nullptr;
    QStatusBar *statusBar = nullptr;

    void setupUi(QMainWindow *window);
    void retranslateUi(QMainWindow *window);
};
