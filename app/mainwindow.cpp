#include "app/mainwindow.h"

#include <algorithm>
#include <chrono>
#include <cmath>
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
#include "core/parameters.h"
#include "dialogs/helpdialog.h"
#include "document/tools.h"
#include "image/imagefiles.h"
#include "image/snapshot.h"
#include "image/wiremask.h"
#include "selection/ridgesnap.h"
#include "undo/commands.h"

using tolvane::noControlPoint;
using tolvane::tools::checkAllocated;

namespace {

// The folder undo snapshots go to, as the user named it: QDir::tempPath() is empty when TMPDIR
// names a folder that does not exist.
QString temporaryFolderName()
{
    const QString named = qEnvironmentVariable("TMPDIR");
    return named.isEmpty() ? QDir::tempPath() : named;
}

// Runs `work` on a thread of its own and returns its result, while the window goes on
// repainting and `bar` follows `progress` up to `upTo` percent; the user's input waits until
// the work is done. Runs it here when no thread can be started. An exception of the work is
// thrown here.
template <typename Work>
auto runShowingProgress(QProgressBar *bar, const tolvane::Progress *progress, int upTo, Work work)
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
    // The bar shows at once, however short the work; without a progress to follow it shows
    // that something is going on.
    if (!progress)
        bar->setRange(0, 0);
    do {
        if (progress)
            bar->setValue(int(upTo * progress->fraction()));
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    } while (result.wait_for(std::chrono::milliseconds(15)) != std::future_status::ready);
    thread.join();
    bar->setRange(0, 100);
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
    // Undo still works from memory then, but the user should know why memory fills up.
    Snapshot::setKeptInMemoryHandler(this, [this](const QString &reason) {
        QMetaObject::invokeMethod(
            this,
            [this, reason] {
                statusBar()->showMessage(
                    tr("Undo data is kept in memory: the temporary folder %1 cannot take it (%2)")
                        .arg(QDir::toNativeSeparators(temporaryFolderName()), reason));
            },
            Qt::QueuedConnection);
    });
    connect(&m_document, &tolvane::PhotoDocument::photoChanged, this, &MainWindow::showPhoto);
    connect(&m_document, &tolvane::PhotoDocument::maskChanged, this, &MainWindow::showMask);
    // The title's modified mark: a removal or marks that no file holds.
    connect(&m_document, &tolvane::PhotoDocument::unsavedWorkChanged, this,
        &QWidget::setWindowModified);

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

    // The detector chosen last time, by its item data.
    const int detector = m_ui->detectorBox->findData(
        m_settings.value(QStringLiteral("Detector"), QStringLiteral("classic")).toString());
    m_ui->detectorBox->setCurrentIndex(std::max(detector, 0));
    connect(m_ui->detectorBox, &QComboBox::currentIndexChanged, this, [this] {
        m_settings.setValue(
            QStringLiteral("Detector"), m_ui->detectorBox->currentData().toString());
        updateDetectorBoxes();
    });
}

bool MainWindow::usesPreciseDetector() const
{
    return m_ui->detectorBox->currentData().toString() == u"precise";
}

void MainWindow::updateDetectorBoxes()
{
    const bool open = !m_document.photo().isNull();
    m_ui->spinBox_2->setEnabled(open && !usesPreciseDetector());
    m_ui->wireLengthBox->setEnabled(open && usesPreciseDetector());
}

MainWindow::~MainWindow()
{
    Snapshot::setKeptInMemoryHandler(this, {});
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
    const bool photoChanged = m_document.isModified();
    const qint64 marks
        = m_document.hasUnsavedMarks() ? tolvane::markedPixelCount(m_document.mask()) : 0;
    if (!photoChanged && marks == 0)
        return true;
    const QString name = QFileInfo(m_document.filePath()).fileName();
    QString question;
    if (photoChanged && m_document.isOpenedPhoto())
        question = tr("%1 was saved with wires removed, which have since been undone.").arg(name);
    else if (photoChanged)
        question = tr("The wires removed from %1 have not been saved.").arg(name);
    if (marks > 0) {
        const QString unremoved = marks == 1
            ? tr("1 marked pixel of %1 has not been removed.").arg(name)
            : tr("%1 marked pixels of %2 have not been removed.").arg(marks).arg(name);
        question = question.isEmpty() ? unremoved : question + QLatin1Char(' ') + unremoved;
    }
    question += QLatin1Char(' ')
        + (photoChanged ? tr("Save the photo?") : tr("Save the marks as a mask?"));
    switch (UserPrompts::current().askToSaveChanges(this, tr("Tolvane"), question)) {
    case QMessageBox::Save:
        return photoChanged ? savePhoto() : saveMask();
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
        tr("Image Files (*.png *.jpg *.bmp *.jpeg *.tiff *.tif *.gif *.webp);;All files (*.*)"));
    if (path.isEmpty()) {
        statusBar()->showMessage(tr("No file selected"));
        return;
    }
    openPhoto(path);
}

bool MainWindow::editPhoto(const QString &path)
{
    if (!openPhoto(path))
        return false;
    m_editedFile = path;
    return true;
}

bool MainWindow::openPhoto(const QString &path)
try {
    const QFileInfo file(path);
    m_settings.setValue(QStringLiteral("CurrDir"), file.absoluteDir().canonicalPath());

    QString damage;
    QImage photo = tolvane::readPhoto(path, &damage);
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
    m_editedFile.clear();
    const int longSide = std::max(m_document.photo().width(), m_document.photo().height());
    const int width
        = tolvane::parameters::suggestedValue(tolvane::parameters::widthThreshold, longSide);
    const int length
        = tolvane::parameters::suggestedValue(tolvane::parameters::lengthThreshold, longSide);
    QString message;
    if (!damage.isEmpty())
        message = tr("%1 is damaged: %2").arg(file.fileName(), damage);
    else if (width != tolvane::parameters::widthThreshold.defaultValue
        || length != tolvane::parameters::lengthThreshold.defaultValue)
        message = tr("For a photo of this size Width Threshold %1 and Length Threshold %2 may "
                     "find more (Edit > Use thresholds for this photo's size)")
                      .arg(width)
                      .arg(length);
    if (message.isEmpty())
        statusBar()->clearMessage();
    else
        statusBar()->showMessage(message);
    setWindowTitle(QStringLiteral("Tolvane - ") + file.fileName() + QStringLiteral("[*]"));

    for (QSpinBox *box : {m_ui->spinBox, m_ui->spinBox_2, m_ui->padspinbox})
        box->setEnabled(true);
    m_ui->spinBox->setValue(tolvane::parameters::widthThreshold.defaultValue);
    m_ui->spinBox_2->setValue(tolvane::parameters::lengthThreshold.defaultValue);
    m_ui->padspinbox->setValue(tolvane::parameters::wirePadding.defaultValue);
    m_ui->wireLengthBox->setValue(tolvane::parameters::wireLength.defaultValue);
    updateDetectorBoxes();
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

void MainWindow::on_actionSaveAs_triggered()
{
    savePhoto(true);
}

void MainWindow::on_actionSuggestedThresholds_triggered()
{
    const QImage &photo = m_document.photo();
    if (photo.isNull())
        return;
    const int longSide = std::max(photo.width(), photo.height());
    m_ui->spinBox->setValue(
        tolvane::parameters::suggestedValue(tolvane::parameters::widthThreshold, longSide));
    m_ui->spinBox_2->setValue(
        tolvane::parameters::suggestedValue(tolvane::parameters::lengthThreshold, longSide));
}

namespace {

// The save dialog's filters, and the one for the format of the photo at `path` (JPG when
// Save cannot write that format).
const char saveFilters[] = QT_TRANSLATE_NOOP("MainWindow",
    "JPG Files (*.jpg);;PNG Files (*.png);;TIFF Files (*.tif "
    "*.tiff);;WebP Files (*.webp)");

QString filterFor(const QString &filters, const QString &path)
{
    QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"jpeg")
        suffix = QStringLiteral("jpg");
    else if (suffix == u"tiff")
        suffix = QStringLiteral("tif");
    const QStringList all = filters.split(QStringLiteral(";;"));
    for (const QString &filter : all) {
        if (UserPrompts::filterSuffix(filter) == suffix)
            return filter;
    }
    return all.constFirst();
}

} // namespace

bool MainWindow::savePhoto(bool askName)
{
    if (m_document.photo().isNull()) {
        statusBar()->showMessage(QStringLiteral("Nothing to save."));
        return false;
    }
    if (!askName && !m_editedFile.isEmpty()) {
        if (!writePhotoFile(m_editedFile)) {
            statusBar()->showMessage(tr("Failed to save image"));
            return false;
        }
        statusBar()->showMessage(tr("Saved to %1").arg(QDir::toNativeSeparators(m_editedFile)));
        m_document.markSaved();
        return true;
    }
    const QString openDir = m_settings.value(QStringLiteral("CurrDir")).toString();
    const QString dir = m_settings.value(QStringLiteral("CurrSaveDir"), openDir).toString();
    const QString filters = tr(saveFilters);
    QString filter = filterFor(filters, m_document.filePath());
    QString name
        = UserPrompts::current().saveFileName(this, tr("Save Image"), dir, filters, &filter);
    if (name.isEmpty()) {
        statusBar()->showMessage(tr("No file selected"));
        return false;
    }
    if (QFileInfo(name).suffix().isEmpty()) {
        const QString suffix = UserPrompts::filterSuffix(filter);
        name += QLatin1Char('.') + (suffix.isEmpty() ? QStringLiteral("jpg") : suffix);
    }
    if (!writePhotoFile(name)) {
        statusBar()->showMessage(tr("Failed to save image"));
        return false;
    }
    statusBar()->showMessage(tr("Saved to %1").arg(QDir::toNativeSeparators(name)));
    m_settings.setValue(
        QStringLiteral("CurrSaveDir"), QFileInfo(name).absoluteDir().canonicalPath());
    m_document.markSaved();
    return true;
}

bool MainWindow::writePhotoFile(const QString &path)
{
    QProgressBar *bar = m_ui->progressBar;
    bar->show();
    m_busy = true;
    const auto idle = qScopeGuard([this] {
        m_busy = false;
        m_ui->progressBar->hide();
    });
    // The copies share their pixels with the document, which stays as it is: the user's
    // input waits until the file is written.
    return runShowingProgress(
        bar, nullptr, 100, [photo = m_document.photo(), metadata = m_document.metadata(), path] {
            return tolvane::writeImage(photo, path, metadata);
        });
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
    const tolvane::tools::Detector detector = usesPreciseDetector()
        ? tolvane::tools::Detector::Precise
        : tolvane::tools::Detector::Classic;
    const int wireLength = m_ui->wireLengthBox->value();
    tolvane::Progress progress;
    tolvane::tools::Detection detection = runShowingProgress(bar, &progress, 90, [&] {
        return tolvane::tools::detect(
            photo, widthThreshold, lengthThreshold, &progress, detector, wireLength);
    });
    const qint64 found = tolvane::markedPixelCount(detection.mask);
    // A new detection replaces the marks of earlier ones; marks made by hand stay.
    QImage marks = m_document.hasMask()
        ? tolvane::tools::withHandMarks(detection.mask, m_document.mask())
        : std::move(detection.mask);
    m_undoStack.push(new SelectCommand(m_document, std::move(marks)));
    bar->setValue(100);
    statusBar()->showMessage(detection.traceCount == 0 ? tr("Autodetect found no wires")
            : detection.traceCount == 1
            ? tr("Autodetect found 1 wire trace, %1 pixels marked").arg(found)
            : tr("Autodetect found %1 wire traces, %2 pixels marked")
                  .arg(detection.traceCount)
                  .arg(found));
} catch (const std::bad_alloc &) {
    showNoMemory();
}

void MainWindow::on_actionZoomMinus_triggered()
{
    m_ui->graphicsView->zoomBy(0.8333333333333334);
}

void MainWindow::on_actionZoomPlus_triggered()
{
    m_ui->graphicsView->zoomBy(1.2);
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
    tolvane::Point cursor = tolvane::cursorPoint(
        rect.left(), rect.top(), rect.right(), rect.bottom(), photo.width(), photo.height());
    if (m_ui->actionSnapToWires->isChecked()) {
        // A few screen pixels: in the fit view one of them covers several photo pixels.
        constexpr double snapScreenPixels = 8;
        const int reach = int(std::ceil(snapScreenPixels / m_ui->graphicsView->zoom()));
        cursor = tolvane::snapToRidge(brightness.view(), cursor, reach);
    }
    const QPoint from = m_document.lastControlPoint();
    if (from == noControlPoint) {
        if (pressed)
            m_document.setLastControlPoint(QPoint(cursor.x, cursor.y));
        return;
    }

    const tolvane::WireRoute route
        = tolvane::tools::traceRoute(brightness.view(), {from.x(), from.y()}, cursor);
    removePreview();
    if (route.outcome != tolvane::WireRoute::Outcome::Found) {
        if (pressed) {
            using Outcome = tolvane::WireRoute::Outcome;
            statusBar()->showMessage(route.outcome == Outcome::TooFar
                    ? tr("Too far from the last point (more than %1 pixels across and down): "
                         "click nearer, or right-click to start again")
                          .arg(tolvane::maxTraceDistance)
                    : tr("No thin dark line joins the last point to this one"));
        }
        return;
    }
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
