#include "app/mainwindow.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGraphicsPixmapItem>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QScopeGuard>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolBar>

#include "app/mainwindow_form.h"
#include "app/userprompts.h"
#include "canvas/kestgraphicsview.h"
#include "canvas/sceneitems.h"
#include "dialogs/helpdialog.h"
#include "document/tools.h"
#include "image/imagefiles.h"
#include "image/wiremask.h"
#include "undo/commands.h"

using tolvane::noControlPoint;
using tolvane::tools::checkAllocated;

namespace {

// Runs `work` on a thread of its own and returns its result, while the window goes on
// repainting and `bar` follows `progress` up to `upTo` percent; the user's input waits until
// the work is done. Runs it here when no thread can be started. An exception of the work is
// thrown here.
template <typename Work>
auto runShowingProgress(QProgressBar *bar, const tolvane::Progress &progress, int upTo, Work work)
    -> decltype(work())
{
    using Result = decltype(work());
    auto task = std::make_shared<std::packaged_task<Result()>>(std::move(work));
    std::future<Result> result = task->get_future();
    std::thread thread;
    try {
        thread = std::thread([task] { (*task)(); });
    } catch (const std::system_error &) {
        (*task)();
        return result.get();
    }
    // The bar shows at once, however short the work.
    do {
        bar->setValue(int(upTo * progress.fraction()));
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    } while (result.wait_for(std::chrono::milliseconds(15)) != std::future_status::ready);
    thread.join();
    bar->setValue(upTo);
    return result.get();
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_ui(new MainWindowForm)
{
    m_ui->setupUi(this);
    m_ui->progressBar->hide();
    setUpMarkTools();
    connect(
        m_ui->graphicsView, &KestGraphicsView::SmartSelect, this, &MainWindow::ProcessSmartSelect);
    // The fill is kept from one session to the next; anything but a known name is the mirror.
    const int fillIndex = m_ui->fillModeBox->findData(
        m_settings.value(QStringLiteral("FillMode"), QStringLiteral("mirror")).toString());
    m_ui->fillModeBox->setCurrentIndex(std::max(fillIndex, 0));
    connect(m_ui->fillModeBox, &QComboBox::currentIndexChanged, this, [this] {
        m_settings.setValue(QStringLiteral("FillMode"), m_ui->fillModeBox->currentData());
    });
    connect(&m_document, &tolvane::PhotoDocument::opened, this, &MainWindow::showOpenedPhoto);
    connect(&m_document, &tolvane::PhotoDocument::photoChanged, this, &MainWindow::showPhoto);
    connect(&m_document, &tolvane::PhotoDocument::maskChanged, this, &MainWindow::showMask);

    QAction *undo = m_undoStack.createUndoAction(this);
    undo->setObjectName(QStringLiteral("actionUndo"));
    undo->setShortcut(QKeySequence::Undo);
    undo->setIcon(toolbarIcon(QStringLiteral(":/icons/Edit_UndoHS.png")));
    QAction *redo = m_undoStack.createRedoAction(this);
    redo->setObjectName(QStringLiteral("actionRedo"));
    redo->setShortcut(QKeySequence::Redo);
    // The undo arrow, turned to point forward.
    redo->setIcon(toolbarIcon(QStringLiteral(":/icons/Edit_UndoHS.png"), true));

    for (QAction *action : {undo, redo}) {
        action->setToolTip(QStringLiteral("%1 (%2)").arg(action == undo ? tr("Undo") : tr("Redo"),
            action->shortcut().toString(QKeySequence::NativeText)));
    }
    m_ui->menuEdit->insertActions(m_ui->menuEdit->actions().value(0), {undo, redo});
    m_ui->mainToolBar->addSeparator();
    m_ui->mainToolBar->addAction(undo);
    m_ui->mainToolBar->addAction(redo);
}

MainWindow::~MainWindow()
{
    delete m_ui;
}

void MainWindow::on_actionIndex_triggered()
{
    // Modeless, and one more each time; all of them go with the window.
    auto *help = new HelpDialog(this);
    help->show();
}

void MainWindow::on_actionAbout_triggered()
{
    QMessageBox::about(this, tr("Tolvane"),
        tr("Tolvane 1.0, copyright \u00a9 Pellam software. All rights reserved.\n"
           "https://www.pellam-software.example/tolvane"));
}

void MainWindow::on_actionQuit_triggered()
{
    if (mayDiscardChanges())
        emit mwquit();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // A tool still at work finishes first; it changes the photo the user would be asked about.
    if (!m_busy && mayDiscardChanges())
        event->accept();
    else
        event->ignore();
}

bool MainWindow::mayDiscardChanges()
{
    if (!m_document.isModified())
        return true;
    const QString name = QFileInfo(m_document.filePath()).fileName();
    switch (UserPrompts::current().askToSaveChanges(this, tr("Tolvane"),
        tr("The wires removed from %1 have not been saved. Save the photo?").arg(name))) {
    case QMessageBox::Save:
        return savePhoto();
    case QMessageBox::Discard:
        return true;
    default:
        return false;
    }
}

void MainWindow::on_actionOpen_triggered()
{
    if (!mayDiscardChanges())
        return;
    const QString dir = m_settings.value(QStringLiteral("CurrDir")).toString();
    const QString path = UserPrompts::current().openFileName(this, tr("Open Image"), dir,
        tr("Image Files (*.png *.jpg *.bmp *.jpeg *.tiff *.tif *.gif);;All files (*.*)"));
    if (path.isEmpty()) {
        statusBar()->showMessage(tr("No file selected"));
        return;
    }
    openPhoto(path);
}

bool MainWindow::openPhoto(const QString &path)
try {
    const QFileInfo file(path);
    m_settings.setValue(QStringLiteral("CurrDir"), file.absoluteDir().canonicalPath());

    QImage photo = tolvane::readPhoto(path);
    if (photo.isNull()) {
        statusBar()->showMessage(tr("Failed to read image"));
        return false;
    }
    // All the new photo needs is made before the old one goes, so that running out of memory
    // leaves the photo and its history as they were.
    checkAllocated(photoPixmap(photo), photo.size());
    tolvane::PlaneBuffer<std::uint8_t> brightness = tolvane::tools::brightnessMap(photo);
    // The history belongs to the photo it was made on: an undo must never bring back a photo
    // of another size than the brightness map.
    m_undoStack.clear();
    m_document.open(path, std::move(photo), std::move(brightness), tolvane::readMetadata(path));
    statusBar()->clearMessage();
    setWindowTitle(QStringLiteral("Tolvane - ") + file.fileName());

    for (QSpinBox *box : {m_ui->spinBox, m_ui->spinBox_2, m_ui->padspinbox})
        box->setEnabled(true);
    m_ui->spinBox->setValue(tolvane::parameters::widthThreshold.defaultValue);
    m_ui->spinBox_2->setValue(tolvane::parameters::lengthThreshold.defaultValue);
    m_ui->padspinbox->setValue(tolvane::parameters::wirePadding.defaultValue);
    return true;
} catch (const std::bad_alloc &) {
    showNoMemory();
    return false;
}

void MainWindow::showOpenedPhoto()
{
    clearScene();
    const QImage &photo = m_document.photo();
    // White in 8-bit grey, drawn like any other pixmap: a quarter of the memory to fill.
    QImage white(photo.width() + 20, photo.height() + 20, QImage::Format_Grayscale8);
    white.fill(255);
    m_backdropItem = m_scene.addPixmap(QPixmap::fromImage(white, Qt::NoFormatConversion));
    m_backdropItem->setTransformationMode(Qt::SmoothTransformation);
    m_backdropItem->setZValue(SceneZ::backdrop);
    m_scene.setSceneRect(0, 0, white.width(), white.height());
    showPhoto();

    KestGraphicsView *view = m_ui->graphicsView;
    view->setScene(&m_scene);
    view->fitInView(m_scene.sceneRect(), Qt::KeepAspectRatio);
    view->show();
}

void MainWindow::showPhoto()
{
    m_showingBefore = false;
    removeSceneItem(&m_scene, m_photoItem);
    addSceneItem(&m_scene, m_photoItem, photoPixmap(m_document.photo()), SceneZ::photo);
}

void MainWindow::showMask()
{
    removeSceneItem(&m_scene, m_maskItem);
    if (m_document.hasMask()) {
        addSceneItem(&m_scene, m_maskItem, maskPixmap(m_document.mask()), SceneZ::mask);
        m_maskItem->setVisible(m_ui->actionShowMarks->isChecked() && !m_showingBefore);
    }
}

void MainWindow::showNoMemory()
{
    statusBar()->showMessage(tr("Not enough memory"));
}

void MainWindow::clearScene()
{
    // The scene deletes the cursor circle and the preview with everything else.
    m_ui->graphicsView->forgetCursorCircle();
    removeSceneItem(&m_scene, m_maskItem);
    removeSceneItem(&m_scene, m_photoItem);
    removeSceneItem(&m_scene, m_backdropItem);
    m_previewItem = nullptr;
    m_scene.clear();
}

void MainWindow::on_actionSave_triggered()
{
    savePhoto();
}

bool MainWindow::savePhoto()
{
    if (m_document.photo().isNull()) {
        statusBar()->showMessage(QStringLiteral("Nothing to save."));
        return false;
    }
    const QString openDir = m_settings.value(QStringLiteral("CurrDir")).toString();
    const QString dir = m_settings.value(QStringLiteral("CurrSaveDir"), openDir).toString();
    QString filter;
    QString name = UserPrompts::current().saveFileName(
        this, tr("Save Image"), dir, tr("JPG Files (*.jpg);;PNG Files (*.png)"), &filter);
    if (name.isEmpty()) {
        statusBar()->showMessage(tr("No file selected"));
        return false;
    }
    if (QFileInfo(name).suffix().isEmpty()) {
        const QString suffix = UserPrompts::filterSuffix(filter);
        name += QLatin1Char('.') + (suffix.isEmpty() ? QStringLiteral("jpg") : suffix);
    }
    if (!tolvane::writeImage(m_document.photo(), name, m_document.metadata())) {
        statusBar()->showMessage(tr("Failed to save image"));
        return false;
    }
    statusBar()->clearMessage();
    m_settings.setValue(
        QStringLiteral("CurrSaveDir"), QFileInfo(name).absoluteDir().canonicalPath());
    m_document.markSaved();
    return true;
}

void MainWindow::on_actionSmartSelect_toggled(bool)
{
    updateTool();
}

void MainWindow::on_actionProcess_triggered()
try {
    // Nothing to remove: no photo, or a mask without a single mark. No command is pushed, so
    // the photo does not count as changed.
    if (m_document.photo().isNull() || !m_document.hasMask()
        || !tolvane::hasMarks(m_document.mask()))
        return;
    const tolvane::FillMode fill
        = m_ui->fillModeBox->currentData().toString() == QLatin1StringView("seamless")
        ? tolvane::FillMode::Seamless
        : tolvane::FillMode::Mirror;
    QImage cleaned = tolvane::tools::removeWires(
        m_document.photo(), m_document.mask(), m_ui->padspinbox->value(), fill);
    auto *command = new ProcessCommand(m_document, std::move(cleaned));
    command->setText(tr("Clear wires"));
    m_undoStack.push(command);
} catch (const std::bad_alloc &) {
    showNoMemory();
}

void MainWindow::on_actionSelect_triggered()
try {
    if (m_document.photo().isNull())
        return;
    QProgressBar *bar = m_ui->progressBar;
    bar->setValue(0);
    bar->show();
    m_busy = true;
    const auto idle = qScopeGuard([this] {
        m_busy = false;
        m_ui->progressBar->hide();
    });
    const QImage &photo = m_document.photo();
    const int widthThreshold = m_ui->spinBox->value();
    const int lengthThreshold = m_ui->spinBox_2->value();
    tolvane::Progress progress;
    tolvane::tools::Detection detection = runShowingProgress(bar, progress, 90,
        [&] { return tolvane::tools::detect(photo, widthThreshold, lengthThreshold, &progress); });
    m_undoStack.push(new SelectCommand(m_document, std::move(detection.mask)));
    bar->setValue(100);
} catch (const std::bad_alloc &) {
    showNoMemory();
}

void MainWindow::on_actionZoomMinus_triggered()
{
    m_ui->graphicsView->scale(0.8333333333333334, 0.8333333333333334);
}

void MainWindow::on_actionZoomPlus_triggered()
{
    m_ui->graphicsView->scale(1.2, 1.2);
}

void MainWindow::removePreview()
{
    removeSceneItem(&m_scene, m_previewItem);
}

void MainWindow::ProcessSmartSelect(QRect rect, bool pressed, bool is_right)
try {
    if (pressed && is_right) {
        removePreview();
        m_document.setLastControlPoint(noControlPoint);
        return;
    }
    const QImage &photo = m_document.photo();
    const tolvane::PlaneBuffer<std::uint8_t> &brightness = m_document.brightnessMap();
    // The brightness map describes the photo as opened; it is never read with other sizes.
    if (photo.isNull() || brightness.width() != photo.width()
        || brightness.height() != photo.height())
        return;
    const tolvane::Point cursor = tolvane::cursorPoint(
        rect.left(), rect.top(), rect.right(), rect.bottom(), photo.width(), photo.height());
    const QPoint from = m_document.lastControlPoint();
    if (from == noControlPoint) {
        if (pressed)
            m_document.setLastControlPoint(QPoint(cursor.x, cursor.y));
        return;
    }

    const tolvane::WireRoute route
        = tolvane::tools::traceRoute(brightness.view(), {from.x(), from.y()}, cursor);
    removePreview();
    if (route.outcome != tolvane::WireRoute::Outcome::Found)
        return;
    const QPixmap path = QPixmap::fromImage(tolvane::routeImage(route));
    checkAllocated(path, QSize(route.width, route.height));
    m_previewItem = m_scene.addPixmap(path);
    m_previewItem->setPos(route.x0 + 10, route.y0 + 10);
    m_previewItem->setZValue(SceneZ::preview);
    if (!pressed)
        return;

    // The first commit starts from an empty mask, put in place outside the history once every
    // image of the commit exists.
    const QImage marks
        = m_document.hasMask() ? m_document.mask() : tolvane::tools::emptyMask(photo.size());
    QImage marked = tolvane::tools::commitRoute(marks, route);
    if (!m_document.hasMask())
        m_document.setMask(marks);
    removePreview();
    m_undoStack.push(
        new SmartSelectCommand(m_document, std::move(marked), QPoint(cursor.x, cursor.y)));
} catch (const std::bad_alloc &) {
    showNoMemory();
}
