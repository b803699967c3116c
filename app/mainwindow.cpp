#include "app/mainwindow.h"

#include <new>

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGraphicsPixmapItem>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QSpinBox>
#include <QStatusBar>

#include "app/imagefiles.h"
#include "app/mainwindow_form.h"
#include "app/userprompts.h"
#include "canvas/kestgraphicsview.h"
#include "dialogs/helpdialog.h"
#include "removal/columnfill.h"
#include "selection/detection.h"
#include "selection/planes.h"
#include "selection/smarttrace.h"
#include "selection/wiremask.h"
#include "undo/commands.h"
#include "undo/sceneitems.h"

namespace {

constexpr QPoint noControlPoint(-100, -100);

// Images report a failed allocation with a null result rather than an exception; this turns it
// into one, so that a tool has a single way out when memory runs short. Expecting an empty size
// lets the null image of an empty photo through.
template <typename Image> void checkAllocated(const Image &image, QSize size)
{
    if (image.size() != size)
        throw std::bad_alloc();
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_ui(new MainWindowForm)
{
    m_ui->setupUi(this);
    m_ui->progressBar->hide();
    connect(
        m_ui->graphicsView, &KestGraphicsView::SmartSelect, this, &MainWindow::ProcessSmartSelect);

    QAction *undo = m_undoStack.createUndoAction(this);
    undo->setShortcut(QKeySequence::Undo);
    m_ui->menuEdit->addAction(undo);
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
    if (mayDiscardChanges())
        event->accept();
    else
        event->ignore();
}

int MainWindow::photoRevision() const
{
    for (int i = m_undoStack.index() - 1; i >= 0; --i) {
        if (auto *removal = dynamic_cast<const ProcessCommand *>(m_undoStack.command(i)))
            return removal->revision();
    }
    return 0;
}

bool MainWindow::hasUnsavedChanges() const
{
    return photoRevision() != m_savedRevision;
}

bool MainWindow::mayDiscardChanges()
{
    if (!hasUnsavedChanges())
        return true;
    const QString name = QFileInfo(m_filePath).fileName();
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
    const QPixmap pixmap = photoPixmap(photo);
    checkAllocated(pixmap, photo.size());
    tolvane::PlaneBuffer<std::uint8_t> brightness(photo.width(), photo.height());
    tolvane::computeBrightness(tolvane::argbPlane(photo), brightness.view());
    // The history belongs to the photo it was made on: an undo must never bring back a photo
    // of another size than the brightness map.
    m_undoStack.clear();
    m_savedRevision = 0;
    m_filePath = path;
    m_photo = std::move(photo);
    m_brightnessMap = std::move(brightness);
    m_photoMetadata = tolvane::readMetadata(m_filePath);
    statusBar()->clearMessage();
    setWindowTitle(QStringLiteral("Tolvane - ") + file.fileName());

    for (QSpinBox *box : {m_ui->spinBox, m_ui->spinBox_2, m_ui->padspinbox})
        box->setEnabled(true);
    m_ui->spinBox->setValue(tolvane::parameters::widthThreshold.defaultValue);
    m_ui->spinBox_2->setValue(tolvane::parameters::lengthThreshold.defaultValue);
    m_ui->padspinbox->setValue(tolvane::parameters::wirePadding.defaultValue);

    clearScene();
    // White in 8-bit grey, drawn like any other pixmap: a quarter of the memory to fill.
    QImage white(pixmap.width() + 20, pixmap.height() + 20, QImage::Format_Grayscale8);
    white.fill(255);
    m_backdropItem = m_scene.addPixmap(QPixmap::fromImage(white, Qt::NoFormatConversion));
    m_backdropItem->setTransformationMode(Qt::SmoothTransformation);
    m_backdropItem->setZValue(SceneZ::backdrop);
    m_scene.setSceneRect(0, 0, white.width(), white.height());
    addSceneItem(&m_scene, m_photoItem, pixmap, SceneZ::photo);

    KestGraphicsView *view = m_ui->graphicsView;
    view->setScene(&m_scene);
    view->fitInView(m_scene.sceneRect(), Qt::KeepAspectRatio);
    view->show();

    m_lastControlPoint = noControlPoint;
    return true;
} catch (const std::bad_alloc &) {
    showNoMemory();
    return false;
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
    if (m_photo.isNull()) {
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
    if (!tolvane::writeImage(m_photo, name, m_photoMetadata)) {
        statusBar()->showMessage(tr("Failed to save image"));
        return false;
    }
    statusBar()->clearMessage();
    m_settings.setValue(
        QStringLiteral("CurrSaveDir"), QFileInfo(name).absoluteDir().canonicalPath());
    m_savedRevision = photoRevision();
    return true;
}

void MainWindow::on_actionSmartSelect_toggled(bool checked)
{
    KestGraphicsView *view = m_ui->graphicsView;
    view->setTool(checked ? KestGraphicsView::Tool::SmartSelect : KestGraphicsView::Tool::None);
    view->removeCursorCircle();
    view->viewport()->setCursor(checked ? Qt::BlankCursor : Qt::ArrowCursor);
}

void MainWindow::on_actionProcess_triggered()
try {
    if (!m_maskItem || m_maskItem->pixmap().size() != m_photo.size())
        return;
    const QImage mask = m_maskItem->pixmap().toImage();
    QImage cleaned(mask.size(), QImage::Format_ARGB32);
    checkAllocated(mask, m_photo.size());
    checkAllocated(cleaned, m_photo.size());
    tolvane::clearWires(tolvane::argbPlane(m_photo), tolvane::argbPlane(mask),
        m_ui->padspinbox->value(), tolvane::mutableArgbPlane(cleaned));
    auto *command
        = new ProcessCommand(std::move(cleaned), &m_scene, m_photoItem, m_maskItem, m_photo);
    command->setText(tr("Clear wires"));
    m_undoStack.push(command);
} catch (const std::bad_alloc &) {
    showNoMemory();
}

void MainWindow::on_actionSelect_triggered()
try {
    QProgressBar *progress = m_ui->progressBar;
    progress->show();
    // Detection runs its stages fused over tiles of columns on both cores, never holding a
    // photo-sized plane: 125 ms against over 500 ms stage by stage for a textured 24-megapixel
    // photo (2-core machine). The stage marks follow it in their usual order.
    const std::vector<tolvane::WireTrace> traces = tolvane::detectWires(
        tolvane::argbPlane(m_photo), m_ui->spinBox->value(), m_ui->spinBox_2->value());
    for (int stage : {25, 50, 75, 90})
        progress->setValue(stage);

    QImage mask = tolvane::traceMask(traces, m_photo.size());
    checkAllocated(mask, m_photo.size());
    QPixmap marks = QPixmap::fromImage(std::move(mask));
    checkAllocated(marks, m_photo.size());
    m_undoStack.push(new SelectCommand(m_maskItem, std::move(marks), &m_scene));
    progress->setValue(100);
    progress->hide();
} catch (const std::bad_alloc &) {
    m_ui->progressBar->hide();
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
        m_lastControlPoint = noControlPoint;
        return;
    }
    const int w = m_photo.width();
    const int h = m_photo.height();
    // The brightness map describes the photo as opened; it is never read with other sizes.
    if (m_photo.isNull() || m_brightnessMap.width() != w || m_brightnessMap.height() != h)
        return;
    const tolvane::Point cursor
        = tolvane::cursorPoint(rect.left(), rect.top(), rect.right(), rect.bottom(), w, h);
    if (m_lastControlPoint == noControlPoint) {
        if (pressed)
            m_lastControlPoint = QPoint(cursor.x, cursor.y);
        return;
    }

    const tolvane::WireRoute route = tolvane::traceWire(
        m_brightnessMap.view(), {m_lastControlPoint.x(), m_lastControlPoint.y()}, cursor);
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
    QPixmap empty;
    if (!m_maskItem) {
        const QImage image = tolvane::zeroImage(QSize(w, h), QImage::Format_ARGB32_Premultiplied);
        checkAllocated(image, QSize(w, h));
        empty = QPixmap::fromImage(image);
        checkAllocated(empty, QSize(w, h));
    }
    // The route drawn over the marks, written straight into a copy of them.
    QImage mask = tolvane::copyMask((m_maskItem ? m_maskItem->pixmap() : empty).toImage());
    checkAllocated(mask, QSize(w, h));
    tolvane::markRoute(route, mask);
    QPixmap marks = QPixmap::fromImage(std::move(mask));
    checkAllocated(marks, QSize(w, h));
    if (!m_maskItem)
        addSceneItem(&m_scene, m_maskItem, empty, SceneZ::mask);
    removePreview();
    m_undoStack.push(new SmartSelectCommand(
        m_maskItem, std::move(marks), &m_scene, m_lastControlPoint, cursor.x, cursor.y));
} catch (const std::bad_alloc &) {
    showNoMemory();
}
