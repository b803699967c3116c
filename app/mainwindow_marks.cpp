// The main window's tools for editing the marks by hand (eraser, mark brush, dropping a
// trace, mask files) and for looking at them (hiding the marks, before and after, fit and
// actual size, drag and drop of a photo).

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include <QActionGroup>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGraphicsPixmapItem>
#include <QKeyEvent>
#include <QMimeData>
#include <QSpinBox>
#include <QStatusBar>
#include <QUrl>

#include "app/mainwindow.h"
#include "app/mainwindow_form.h"
#include "app/userprompts.h"
#include "canvas/kestgraphicsview.h"
#include "canvas/sceneitems.h"
#include "document/tools.h"
#include "image/imagefiles.h"
#include "image/wiremask.h"
#include "undo/commands.h"

namespace {

// The scene shows the photo at (10, 10).
constexpr double photoOffset = 10;

// A dropped piece is looked for this many screen pixels around the click at least, so that a
// click beside a thin wire in the fit view still finds it.
constexpr double dropReachOnScreen = 6;

// The local photo file that a drag carries, or an empty string.
QString draggedPhoto(const QMimeData *data)
{
    if (!data || !data->hasUrls() || data->urls().size() != 1)
        return {};
    const QUrl url = data->urls().first();
    return url.isLocalFile() ? url.toLocalFile() : QString();
}

} // namespace

void MainWindow::setUpMarkTools()
{
    // At most one tool at a time; clicking the checked one puts it away.
    auto *tools = new QActionGroup(this);
    tools->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (QAction *action : {m_ui->actionSmartSelect, m_ui->actionEraser, m_ui->actionMarkBrush})
        tools->addAction(action);

    KestGraphicsView *view = m_ui->graphicsView;
    connect(view, &KestGraphicsView::BrushStroke, this, &MainWindow::applyBrushStroke);
    connect(view, &KestGraphicsView::DropPiece, this, &MainWindow::dropPieceAt);
    m_ui->actionSnapToWires->setChecked(
        m_settings.value(QStringLiteral("SnapToWires"), false).toBool());
    connect(m_ui->actionSnapToWires, &QAction::toggled, this,
        [this](bool on) { m_settings.setValue(QStringLiteral("SnapToWires"), on); });
    const int size = m_settings.value(QStringLiteral("BrushSize"), 20).toInt();
    m_ui->brushSizeBox->setValue(size);
    view->setBrushSize(m_ui->brushSizeBox->value());

    // Photo files dropped anywhere on the window come here, not to the canvas.
    setAcceptDrops(true);
    view->setAcceptDrops(false);
    view->viewport()->setAcceptDrops(false);
}

void MainWindow::updateTool()
{
    using Tool = KestGraphicsView::Tool;
    Tool tool = Tool::None;
    if (m_ui->actionSmartSelect->isChecked())
        tool = Tool::SmartSelect;
    else if (m_ui->actionEraser->isChecked())
        tool = Tool::Eraser;
    else if (m_ui->actionMarkBrush->isChecked())
        tool = Tool::Brush;
    KestGraphicsView *view = m_ui->graphicsView;
    if (view->tool() == tool)
        return;
    if (view->tool() == Tool::SmartSelect)
        removePreview();
    view->setTool(tool);
}

void MainWindow::on_actionEraser_toggled(bool)
{
    updateTool();
}

void MainWindow::on_actionMarkBrush_toggled(bool)
{
    updateTool();
}

void MainWindow::on_actionBrushSmaller_triggered()
{
    // Steps of about a tenth, so that small and large brushes change alike.
    const int size = m_ui->brushSizeBox->value();
    m_ui->brushSizeBox->setValue(size - std::max(1, size / 10));
}

void MainWindow::on_actionBrushLarger_triggered()
{
    const int size = m_ui->brushSizeBox->value();
    m_ui->brushSizeBox->setValue(size + std::max(1, size / 10));
}

void MainWindow::on_brushSizeBox_valueChanged(int size)
{
    m_ui->graphicsView->setBrushSize(size);
    m_settings.setValue(QStringLiteral("BrushSize"), size);
}

void MainWindow::applyBrushStroke(QPolygonF scenePoints)
try {
    const QImage &photo = m_document.photo();
    if (photo.isNull() || scenePoints.isEmpty())
        return;
    const bool mark = m_ui->graphicsView->tool() == KestGraphicsView::Tool::Brush;
    // Nothing to erase without marks.
    if (!mark && !m_document.hasMask())
        return;
    std::vector<tolvane::StrokePoint> stroke;
    stroke.reserve(scenePoints.size());
    for (const QPointF &p : scenePoints)
        stroke.push_back({p.x() - photoOffset, p.y() - photoOffset});
    const QImage before
        = m_document.hasMask() ? m_document.mask() : tolvane::tools::emptyMask(photo.size());
    std::int64_t changed = 0;
    QImage after = tolvane::tools::paintMarks(
        before, stroke, m_ui->graphicsView->brushSize() / 2.0, mark, &changed);
    // A stroke that changed nothing (off the photo, or over what it would set) is no step.
    if (changed == 0)
        return;
    m_undoStack.push(new EditMarksCommand(
        m_document, std::move(after), mark ? tr("Paint marks") : tr("Erase marks")));
} catch (const std::bad_alloc &) {
    showNoMemory();
}

void MainWindow::dropPieceAt(QPointF scenePoint)
try {
    if (m_document.photo().isNull() || !m_document.hasMask())
        return;
    const tolvane::Point at {int(std::floor(scenePoint.x() - photoOffset)),
        int(std::floor(scenePoint.y() - photoOffset))};
    const double zoom = std::max(m_ui->graphicsView->zoom(), 1e-6);
    const int reach
        = int(std::ceil(std::max(m_ui->graphicsView->brushSize() / 2.0, dropReachOnScreen / zoom)));
    std::int64_t cleared = 0;
    QImage after = tolvane::tools::dropMarkedPiece(m_document.mask(), at, reach, &cleared);
    if (cleared == 0) {
        statusBar()->showMessage(tr("No marks within %1 pixels of the click").arg(reach));
        return;
    }
    m_undoStack.push(new EditMarksCommand(m_document, std::move(after), tr("Drop trace")));
    statusBar()->showMessage(tr("Unmarked a trace of %1 pixels").arg(cleared));
} catch (const std::bad_alloc &) {
    showNoMemory();
}

void MainWindow::on_actionShowMarks_toggled(bool)
{
    if (m_maskItem)
        m_maskItem->setVisible(m_ui->actionShowMarks->isChecked() && !m_showingBefore);
}

void MainWindow::showBefore(bool before)
{
    if (before == m_showingBefore || m_document.photo().isNull())
        return;
    m_showingBefore = before;
    if (m_photoItem) {
        m_photoItem->setPixmap(photoPixmap(before ? m_document.openedPhoto() : m_document.photo()));
    }
    if (m_maskItem)
        m_maskItem->setVisible(m_ui->actionShowMarks->isChecked() && !before);
    if (m_previewItem)
        m_previewItem->setVisible(!before);
    if (before)
        statusBar()->showMessage(tr("The photo as opened"));
    else
        statusBar()->clearMessage();
}

void MainWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Backslash) {
        if (!event->isAutoRepeat())
            showBefore(true);
        event->accept();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void MainWindow::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Backslash) {
        if (!event->isAutoRepeat())
            showBefore(false);
        event->accept();
        return;
    }
    QMainWindow::keyReleaseEvent(event);
}

void MainWindow::changeEvent(QEvent *event)
{
    // The release of a key held while the window lost the focus never arrives.
    if (event->type() == QEvent::ActivationChange && !isActiveWindow())
        showBefore(false);
    QMainWindow::changeEvent(event);
}

void MainWindow::on_actionFitToWindow_triggered()
{
    m_ui->graphicsView->fitToWindow();
}

void MainWindow::on_actionActualSize_triggered()
{
    m_ui->graphicsView->showActualSize();
}

void MainWindow::on_actionSaveMask_triggered()
{
    saveMask();
}

bool MainWindow::saveMask()
{
    if (m_document.photo().isNull()) {
        statusBar()->showMessage(tr("Nothing to save."));
        return false;
    }
    if (!m_document.hasMask()) {
        statusBar()->showMessage(tr("No marks to save"));
        return false;
    }
    const QString dir
        = m_settings
              .value(QStringLiteral("CurrMaskDir"), QFileInfo(m_document.filePath()).absolutePath())
              .toString();
    QString filter;
    QString name = UserPrompts::current().saveFileName(
        this, tr("Save Mask"), dir, tr("PNG Files (*.png)"), &filter);
    if (name.isEmpty()) {
        statusBar()->showMessage(tr("No file selected"));
        return false;
    }
    if (QFileInfo(name).suffix().isEmpty())
        name += QStringLiteral(".png");
    QString error;
    if (!tolvane::writeImage(m_document.mask(), name, &error)) {
        statusBar()->showMessage(
            tr("Failed to save the mask %1: %2").arg(QFileInfo(name).fileName(), error));
        return false;
    }
    m_settings.setValue(QStringLiteral("CurrMaskDir"), QFileInfo(name).absolutePath());
    m_document.markMarksSaved();
    statusBar()->showMessage(tr("Mask saved to %1").arg(name));
    return true;
}

void MainWindow::on_actionLoadMask_triggered()
try {
    const QImage &photo = m_document.photo();
    if (photo.isNull()) {
        statusBar()->showMessage(tr("Open a photo first"));
        return;
    }
    const QString dir
        = m_settings
              .value(QStringLiteral("CurrMaskDir"), QFileInfo(m_document.filePath()).absolutePath())
              .toString();
    const QString path = UserPrompts::current().openFileName(this, tr("Load Mask"), dir,
        tr("PNG Files (*.png);;Image Files (*.png *.tif *.tiff *.bmp);;All files (*.*)"));
    if (path.isEmpty()) {
        statusBar()->showMessage(tr("No file selected"));
        return;
    }
    const QString name = QFileInfo(path).fileName();
    QImage mask = tolvane::readMask(path);
    if (mask.isNull()) {
        statusBar()->showMessage(tr("%1: Failed to read the mask").arg(name));
        return;
    }
    if (mask.size() != photo.size()) {
        statusBar()->showMessage(tr("%1: the mask is %2x%3, the photo %4x%5; not loaded")
                                     .arg(name)
                                     .arg(mask.width())
                                     .arg(mask.height())
                                     .arg(photo.width())
                                     .arg(photo.height()));
        return;
    }
    m_settings.setValue(QStringLiteral("CurrMaskDir"), QFileInfo(path).absolutePath());
    m_undoStack.push(new EditMarksCommand(m_document, std::move(mask), tr("Load mask")));
    const qint64 marked = tolvane::markedPixelCount(m_document.mask());
    statusBar()->showMessage(tr("Loaded the mask %1: %2 pixels marked").arg(name).arg(marked));
} catch (const std::bad_alloc &) {
    showNoMemory();
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (!draggedPhoto(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    const QString path = draggedPhoto(event->mimeData());
    if (path.isEmpty() || m_busy)
        return;
    event->acceptProposedAction();
    if (mayDiscardChanges())
        openPhoto(path);
}
