#include "canvas/kestgraphicsview.h"

#include <algorithm>
#include <cmath>

#include <QGraphicsEllipseItem>
#include <QGraphicsPathItem>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainterPath>
#include <QResizeEvent>
#include <QScrollBar>
#include <QWheelEvent>

#include "canvas/sceneitems.h"

namespace {

// How far the wheel and zoomAround() may take the scale, either way.
constexpr double zoomLimit = 64;

// The scale a zoom step by `factor` from `now` lands on: within the limits, and on 100 % when
// the step would pass it, so that stepping always reaches one photo pixel per screen pixel.
double steppedZoom(double now, double factor)
{
    const double target = std::clamp(now * factor, 1 / zoomLimit, zoomLimit);
    if ((now < 1 && target > 1) || (now > 1 && target < 1))
        return 1;
    return target;
}

} // namespace

KestGraphicsView::KestGraphicsView(QWidget *parent)
    : QGraphicsView(parent)
{ }

void KestGraphicsView::setTool(Tool tool)
{
    endStroke();
    removeCursorCircle();
    m_tool = tool;
    updateViewportCursor();
}

void KestGraphicsView::setBrushSize(int size)
{
    m_brushSize = std::max(1, size);
    if (m_cursorCircle && usesBrush()) {
        const QPointF centre = m_cursorCircle->rect().center();
        const double r = m_brushSize / 2.0;
        m_cursorCircle->setRect(QRectF(centre.x() - r, centre.y() - r, 2 * r, 2 * r));
    }
}

void KestGraphicsView::removeCursorCircle()
{
    if (!m_cursorCircle)
        return;
    if (QGraphicsScene *owner = m_cursorCircle->scene())
        owner->removeItem(m_cursorCircle);
    delete m_cursorCircle;
    m_cursorCircle = nullptr;
}

void KestGraphicsView::forgetCursorCircle()
{
    m_cursorCircle = nullptr;
    m_strokeItem = nullptr;
    m_stroke.clear();
}

QRect KestGraphicsView::cursorSquare(QPoint pos) const
{
    const QPointF a = mapToScene(pos.x() + 5, pos.y() + 5);
    const QPointF b = mapToScene(pos.x() - 5, pos.y() - 5);
    // Plain int conversion truncates toward zero.
    const QRect square(int(b.x()), int(b.y()), int(a.x() - b.x()), int(a.y() - b.y()));
    return square & sceneRect().toRect();
}

void KestGraphicsView::zoomAround(QPoint anchor, double factor)
{
    const double now = zoom();
    if (!(factor > 0) || now <= 0)
        return;
    const double target = steppedZoom(now, factor);
    const QPointF fixed = mapToScene(anchor);
    // Set, not multiplied, so that 100 % is exactly 1.
    setTransform(QTransform::fromScale(target, target));
    // Scroll so that the anchored scene point is back under the anchor.
    const QPointF moved = mapFromScene(fixed) - QPointF(anchor);
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() + int(std::lround(moved.x())));
    verticalScrollBar()->setValue(verticalScrollBar()->value() + int(std::lround(moved.y())));
}

void KestGraphicsView::zoomBy(double factor)
{
    const double now = zoom();
    if (!(factor > 0) || now <= 0)
        return;
    const double target = steppedZoom(now, factor);
    setTransform(QTransform::fromScale(target, target));
}

void KestGraphicsView::fitToWindow()
{
    if (scene())
        fitInView(sceneRect(), Qt::KeepAspectRatio);
}

void KestGraphicsView::showActualSize()
{
    const QPointF centre = mapToScene(viewport()->rect().center());
    resetTransform();
    centerOn(centre);
}

void KestGraphicsView::startPan(QPoint pos)
{
    m_panning = true;
    m_panFrom = pos;
    updateViewportCursor();
}

void KestGraphicsView::updateViewportCursor()
{
    Qt::CursorShape shape = Qt::ArrowCursor;
    if (m_panning)
        shape = Qt::ClosedHandCursor;
    else if (m_spaceHeld)
        shape = Qt::OpenHandCursor;
    else if (m_tool != Tool::None)
        shape = Qt::BlankCursor; // the cursor circle shows where the tool acts
    viewport()->setCursor(shape);
}

QPointF KestGraphicsView::scenePoint(QPointF pos) const
{
    return viewportTransform().inverted().map(pos);
}

void KestGraphicsView::moveCursorCircle(QPointF pos)
{
    const QPointF centre = scenePoint(pos);
    const double r = m_brushSize / 2.0;
    const QRectF circle(centre.x() - r, centre.y() - r, 2 * r, 2 * r);
    if (!m_cursorCircle) {
        // A cosmetic outline over a faint shade, so that it shows on light and dark photos.
        QPen pen(m_tool == Tool::Brush ? QColor(0, 120, 255) : QColor(Qt::white), 0);
        pen.setCosmetic(true);
        m_cursorCircle = scene()->addEllipse(circle, pen, QColor(0, 0, 0, 40));
        m_cursorCircle->setZValue(SceneZ::cursor);
    }
    m_cursorCircle->setRect(circle);
}

void KestGraphicsView::endStroke()
{
    m_stroke.clear();
    if (m_strokeItem) {
        if (QGraphicsScene *owner = m_strokeItem->scene())
            owner->removeItem(m_strokeItem);
        delete m_strokeItem;
        m_strokeItem = nullptr;
    }
}

void KestGraphicsView::mousePressEvent(QMouseEvent *event)
{
    if (!scene())
        return;
    const QPoint pos = event->position().toPoint();
    // Smart selection keeps the middle button: its presses commit like the left one's.
    const bool middlePans = event->button() == Qt::MiddleButton && m_tool != Tool::SmartSelect;
    if (middlePans || (event->button() == Qt::LeftButton && m_spaceHeld)) {
        startPan(pos);
        event->accept();
        return;
    }
    if (m_tool == Tool::SmartSelect)
        emit SmartSelect(cursorSquare(pos), true, event->button() == Qt::RightButton);
    if (usesBrush() && event->button() == Qt::LeftButton) {
        if (m_tool == Tool::Eraser && (event->modifiers() & Qt::AltModifier)) {
            emit DropPiece(scenePoint(event->position()));
        } else {
            endStroke();
            m_stroke.append(scenePoint(event->position()));
            QPen pen(m_tool == Tool::Brush ? QColor(0, 120, 255, 150) : QColor(255, 255, 255, 160),
                m_brushSize, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
            QPainterPath path(m_stroke.first());
            path.lineTo(m_stroke.first());
            m_strokeItem = scene()->addPath(path, pen);
            m_strokeItem->setZValue(SceneZ::preview);
        }
    }
    QGraphicsView::mousePressEvent(event);
}

void KestGraphicsView::mouseReleaseEvent(QMouseEvent *event)
{
    if (!scene())
        return;
    if (m_panning && (event->button() == Qt::MiddleButton || event->button() == Qt::LeftButton)) {
        m_panning = false;
        updateViewportCursor();
        event->accept();
        return;
    }
    if (usesBrush() && event->button() == Qt::LeftButton && !m_stroke.isEmpty()) {
        m_stroke.append(scenePoint(event->position()));
        const QPolygonF stroke = m_stroke;
        endStroke();
        emit BrushStroke(stroke);
    }
    QGraphicsView::mouseReleaseEvent(event);
}

void KestGraphicsView::mouseMoveEvent(QMouseEvent *event)
{
    if (!scene())
        return;
    const QPoint pos = event->position().toPoint();
    if (m_panning) {
        const QPoint delta = pos - m_panFrom;
        m_panFrom = pos;
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() - delta.x());
        verticalScrollBar()->setValue(verticalScrollBar()->value() - delta.y());
        event->accept();
        return;
    }
    if (m_tool == Tool::SmartSelect) {
        const QRect square = cursorSquare(pos);
        if (square.isValid()) {
            if (!m_cursorCircle) {
                m_cursorCircle = scene()->addEllipse(QRectF(square), QPen(), QBrush());
                m_cursorCircle->setZValue(SceneZ::cursor);
            }
            m_cursorCircle->setRect(QRectF(square));
            // Repeated moves at one spot would start the same trace again.
            if ((m_lastMovePos - pos).manhattanLength() > 0)
                emit SmartSelect(square, false, false);
            m_lastMovePos = pos;
        } else {
            removeCursorCircle();
        }
    }
    if (usesBrush()) {
        moveCursorCircle(event->position());
        if (m_strokeItem && (event->buttons() & Qt::LeftButton)) {
            const QPointF point = scenePoint(event->position());
            if (point != m_stroke.last()) {
                m_stroke.append(point);
                QPainterPath path = m_strokeItem->path();
                path.lineTo(point);
                m_strokeItem->setPath(path);
            }
        }
    }
    QGraphicsView::mouseMoveEvent(event);
}

void KestGraphicsView::wheelEvent(QWheelEvent *event)
{
    if (!scene() || event->angleDelta().y() == 0) {
        QGraphicsView::wheelEvent(event);
        return;
    }
    // One notch (120) is one step of the zoom buttons.
    zoomAround(event->position().toPoint(), std::pow(1.2, event->angleDelta().y() / 120.0));
    event->accept();
}

void KestGraphicsView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Space) {
        if (!event->isAutoRepeat()) {
            m_spaceHeld = true;
            updateViewportCursor();
        }
        event->accept();
        return;
    }
    QGraphicsView::keyPressEvent(event);
}

void KestGraphicsView::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Space) {
        if (!event->isAutoRepeat()) {
            m_spaceHeld = false;
            updateViewportCursor();
        }
        event->accept();
        return;
    }
    QGraphicsView::keyReleaseEvent(event);
}

void KestGraphicsView::leaveEvent(QEvent *)
{
    removeCursorCircle();
}

void KestGraphicsView::focusOutEvent(QFocusEvent *event)
{
    // The release of a key held while the focus left never arrives.
    m_spaceHeld = false;
    updateViewportCursor();
    QGraphicsView::focusOutEvent(event);
}

void KestGraphicsView::resizeEvent(QResizeEvent *event)
{
    if (!scene())
        return;
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    const QSize now = event->size();
    const QSize before = event->oldSize();
    // A collapsed viewport (or the first resize, whose old size is -1 x -1) has no ratio to
    // follow; scaling by it would be zero, negative or infinite.
    if (now.width() > 0 && now.height() > 0 && before.width() > 0 && before.height() > 0) {
        const QRectF shown = transform().mapRect(sceneRect());
        const double sx = (shown.width() < now.width() || now.width() < before.width())
            ? double(now.width()) / before.width()
            : 1.0;
        const double sy = (shown.height() < now.height() || now.height() < before.height())
            ? double(now.height()) / before.height()
            : 1.0;
        const double departureX = sx > 1 ? sx : 1 / sx;
        const double departureY = sy > 1 ? sy : 1 / sy;
        const double s = departureX > departureY ? sx : sy;
        scale(s, s);
    }
    QGraphicsView::resizeEvent(event);
}
