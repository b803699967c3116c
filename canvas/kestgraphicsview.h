#pragma once

#include <QGraphicsView>
#include <QPolygonF>

class QGraphicsEllipseItem;
class QGraphicsPathItem;

// The canvas: shows the main window's scene, rescales the picture when it is resized, and
// turns the mouse into the tools' signals while drawing the cursor circle in place of the
// hidden system cursor: in smart-selection mode presses and moves become SmartSelect signals;
// with the eraser or the mark brush a drag draws a stroke of the brush's size, given as
// BrushStroke when the button is released, and with the eraser an Alt+click asks to drop the
// piece of marks under it.
//
// It also navigates: the wheel zooms around the pointer; a drag with the left button while the
// space bar is held, or with the middle button outside smart selection, moves the picture.
class KestGraphicsView : public QGraphicsView
{
    Q_OBJECT
public:
    enum class Tool { None, SmartSelect, Eraser, Brush };

    explicit KestGraphicsView(QWidget *parent = nullptr);

    Tool tool() const { return m_tool; }
    // Ends a stroke under way without a signal.
    void setTool(Tool tool);

    // The brush's diameter, in scene (photo) pixels.
    int brushSize() const { return m_brushSize; }
    void setBrushSize(int size);

    QGraphicsEllipseItem *cursorCircle() const { return m_cursorCircle; }
    // Takes the cursor circle out of the scene and destroys it, if there is one.
    void removeCursorCircle();
    // Drops the references to the cursor circle and the stroke being drawn without touching the
    // scene: for when the scene is about to delete every item itself.
    void forgetCursorCircle();

    // The 10 x 10 viewport pixels around `pos` as a square of scene coordinates, clipped to
    // the scene rectangle: empty when they miss it or the view is scaled above 10.
    QRect cursorSquare(QPoint pos) const;

    // The scale of the view: viewport pixels per scene pixel.
    double zoom() const { return transform().m11(); }
    // Scales by `factor` keeping the scene point under viewport point `anchor` in place. A
    // step that would pass 100 % stops there; the scale stays within 1/64 and 64.
    void zoomAround(QPoint anchor, double factor);
    // The same about the view's centre.
    void zoomBy(double factor);
    // The whole scene in the viewport, and one viewport pixel per photo pixel.
    void fitToWindow();
    void showActualSize();

signals:
    void SmartSelect(QRect rect, bool pressed, bool right = false);
    // A finished drag of the eraser or the mark brush, in scene coordinates, from press to
    // release.
    void BrushStroke(QPolygonF points);
    // An Alt+click of the eraser at scene point `point`.
    void DropPiece(QPointF point);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    bool usesBrush() const { return m_tool == Tool::Eraser || m_tool == Tool::Brush; }
    // The scene point under viewport position `pos`, to a fraction of a pixel.
    QPointF scenePoint(QPointF pos) const;
    void moveCursorCircle(QPointF pos);
    void endStroke();
    void startPan(QPoint pos);
    void updateViewportCursor();

    Tool m_tool = Tool::None;
    int m_brushSize = 20;
    QGraphicsEllipseItem *m_cursorCircle = nullptr;
    QGraphicsPathItem *m_strokeItem = nullptr;
    QPolygonF m_stroke;
    QPoint m_lastMovePos;
    bool m_spaceHeld = false;
    bool m_panning = false;
    QPoint m_panFrom;
};
