#include "canvas/kestgraphicsview.h"

#include <QGraphicsEllipseItem>
#include <QMouseEvent>
#include <QResizeEvent>

KestGraphicsView::KestGraphicsView(QWidget *parent)
    : QGraphicsView(parent)
{ }

void KestGraphicsView::removeCursorCircle()
{
    if (!m_cursorCircle)
        return;
    if (QGraphicsScene *owner = m_cursorCircle->scene())
        owner->removeItem(m_cursorCircle);
    delete m_cursorCircle;
    m_cursorCircle = nullptr;
}

QRect KestGraphicsView::cursorSquare(QPoint pos) const
{
    const QPointF a = mapToScene(pos.x() + 5, pos.y() + 5);
    const QPointF b = mapToScene(pos.x() - 5, pos.y() - 5);
    // Plain int conversion truncates toward zero.
    const QRect square(int(b.x()), int(b.y()), int(a.x() - b.x()), int(a.y() - b.y()));
    return square & sceneRect().toRect();
}

void KestGraphicsView::mousePressEvent(QMouseEvent *event)
{
    if (!scene())
        return;
    if (m_tool == Tool::SmartSelect) {
        emit SmartSelect(
            cursorSquare(event->position().toPoint()), true, event->button() == Qt::RightButton);
    }
    QGraphicsView::mousePressEvent(event);
}

void KestGraphicsView::mouseReleaseEvent(QMouseEvent *event)
{
    if (!scene())
        return;
    QGraphicsView::mouseReleaseEvent(event);
}

void KestGraphicsView::mouseMoveEvent(QMouseEvent *event)
{
    if (!scene())
        return;
    if (m_tool == Tool::SmartSelect) {
        const QPoint pos = event->position().toPoint();
        const QRect square = cursorSquare(pos);
        if (square.isValid()) {
            if (!m_cursorCircle) {
                m_cursorCircle = scene()->addEllipse(QRectF(square), QPen(), QBrush());
                m_cursorCircle->setZValue(20);
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
    QGraphicsView::mouseMoveEvent(event);
}

void KestGraphicsView::leaveEvent(QEvent *)
{
    removeCursorCircle();
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
