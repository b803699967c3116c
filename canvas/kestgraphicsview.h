#pragma once

#include <QGraphicsView>

class QGraphicsEllipseItem;

// The canvas: shows the main window's scene, rescales the picture when it is resized, and in
// smart-selection mode turns presses and moves into SmartSelect signals while drawing the
// cursor circle in place of the hidden system cursor.
class KestGraphicsView : public QGraphicsView
{
    Q_OBJECT
public:
    enum class Tool { None, SmartSelect };

    explicit KestGraphicsView(QWidget *parent = nullptr);

    Tool tool() const { return m_tool; }
    void setTool(Tool tool) { m_tool = tool; }

    QGraphicsEllipseItem *cursorCircle() const { return m_cursorCircle; }
    // Takes the cursor circle out of the scene and destroys it, if there is one.
    void removeCursorCircle();
    // Drops the reference without touching the scene: for when the scene is about to delete
    // every item itself.
    void forgetCursorCircle() { m_cursorCircle = nullptr; }

    // The 10 x 10 viewport pixels around `pos` as a square of scene coordinates, clipped to
    // the scene rectangle: empty when they miss it or the view is scaled above 10.
    QRect cursorSquare(QPoint pos) const;

signals:
    void SmartSelect(QRect rect, bool pressed, bool right = false);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    Tool m_tool = Tool::None;
    QGraphicsEllipseItem *m_cursorCircle = nullptr;
    QPoint m_lastMovePos;
};
