#include <QAction>
#include <QGraphicsEllipseItem>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "app/mainwindow.h"
#include "canvas/kestgraphicsview.h"
#include "guitestsupport.h"

// The canvas view: the cursor square, the cursor circle, the SmartSelect signal and the
// rescale on resize.
class TestCanvas : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void openFitsPicture();
    void cursorSquare_data();
    void cursorSquare();
    void pressEmits_data();
    void pressEmits();
    void movesEmitOnlyWhenMoved();
    void pressWhereMoveEnded();
    void doubleClickEmitsOnePress();
    void aboveScaleTenOnlyPressesEmit();
    void nothingWithoutTool();
    void nothingWithoutScene();
    void circleRemovedOnLeave();
    void toolToggleSetsCursorAndRemovesCircle();
    void firstMoveToOriginEmitsNothing();
    void openForgetsCircle();
    void resizeBeforePhotoChangesNothing();
    void resizeRescales_data();
    void resizeRescales();

private:
    QTemporaryDir m_settingsDir;
};

namespace {

// A window with a photo of W x H open; the scene is (W + 20) x (H + 20).
class Canvas
{
public:
    explicit Canvas(QSize photo = QSize(200, 100), bool shown = true)
    {
        if (shown) {
            window.resize(900, 700);
            window.show();
            if (!QTest::qWaitForWindowExposed(&window))
                qWarning("window not exposed");
        }
        view = window.findChild<KestGraphicsView *>(QStringLiteral("graphicsView"));
        if (!photo.isEmpty())
            open(photo);
    }

    void open(QSize photo)
    {
        prompts.openAnswers << writePhoto(dir, QStringLiteral("p%1.png").arg(++opened),
            patternPhoto(photo.width(), photo.height()));
        window.findChild<QAction *>(QStringLiteral("actionOpen"))->trigger();
    }

    void setTool(bool on)
    {
        window.findChild<QAction *>(QStringLiteral("actionSmartSelect"))->setChecked(on);
    }

    // Shows the scene at `scale`, centred on its middle.
    void setScale(qreal scale)
    {
        view->setTransform(QTransform::fromScale(scale, scale));
        view->centerOn(view->sceneRect().center());
    }

    // The viewport pixel over scene point `p`.
    QPoint at(QPointF p) const { return view->mapFromScene(p); }

    void mouse(QEvent::Type type, QPoint pos, Qt::MouseButton button = Qt::NoButton)
    {
        const bool down = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick;
        const Qt::MouseButtons held = down ? button : Qt::NoButton;
        QMouseEvent event(type, QPointF(pos), view->viewport()->mapToGlobal(QPointF(pos)), button,
            held, Qt::NoModifier);
        QCoreApplication::sendEvent(view->viewport(), &event);
    }
    void move(QPoint pos) { mouse(QEvent::MouseMove, pos); }

    int ellipsesInScene() const
    {
        int count = 0;
        if (view->scene()) {
            for (QGraphicsItem *item : view->scene()->items())
                count += qgraphicsitem_cast<QGraphicsEllipseItem *>(item) != nullptr;
        }
        return count;
    }

    QTemporaryDir dir;
    FakePrompts prompts;
    MainWindow window;
    KestGraphicsView *view = nullptr;
    int opened = 0;
};

struct Emitted
{
    QRect rect;
    bool pressed;
    bool right;
};

Emitted emitted(const QSignalSpy &spy, int i)
{
    const QList<QVariant> args = spy.at(i);
    return {args.at(0).toRect(), args.at(1).toBool(), args.at(2).toBool()};
}

} // namespace

void TestCanvas::initTestCase()
{
    useTemporarySettings(m_settingsDir);
}

void TestCanvas::init()
{
    QSettings().clear();
}

void TestCanvas::openFitsPicture()
{
    Canvas canvas(QSize(300, 100));
    QVERIFY(canvas.view->isVisible());
    const QTransform shown = canvas.view->transform();
    QVERIFY(qFuzzyCompare(shown.m11(), shown.m22()));
    const QRectF picture = shown.mapRect(canvas.view->sceneRect());
    const QSize room = canvas.view->viewport()->size();
    QVERIFY(picture.width() <= room.width() && picture.height() <= room.height());
    // fitInView keeps a small margin.
    QVERIFY(picture.width() >= room.width() - 6 || picture.height() >= room.height() - 6);
}

void TestCanvas::cursorSquare_data()
{
    QTest::addColumn<qreal>("scale");
    QTest::addColumn<QPointF>("pointer");
    QTest::addColumn<QRect>("square");

    // Scene rectangle (0, 0, 220, 120).
    QTest::newRow("scale 1") << 1.0 << QPointF(50, 40) << QRect(45, 35, 10, 10);
    QTest::newRow("scale 1, clipped top left") << 1.0 << QPointF(2, 3) << QRect(0, 0, 7, 8);
    QTest::newRow("scale 1, clipped bottom right")
        << 1.0 << QPointF(218, 117) << QRect(213, 112, 7, 8);
    QTest::newRow("scale 1, one column overlaps") << 1.0 << QPointF(-4, 50) << QRect(0, 45, 1, 10);
    QTest::newRow("scale 1, just beside") << 1.0 << QPointF(-5, 50) << QRect();
    QTest::newRow("scale 1, far off") << 1.0 << QPointF(-40, -30) << QRect();
    QTest::newRow("scale 2") << 2.0 << QPointF(50, 40) << QRect(47, 37, 5, 5);
    QTest::newRow("scale 2, truncated toward zero") << 2.0 << QPointF(1, 1) << QRect(0, 0, 4, 4);
    QTest::newRow("scale 0.5") << 0.5 << QPointF(50, 40) << QRect(40, 30, 20, 20);
    QTest::newRow("scale 4") << 4.0 << QPointF(50, 40) << QRect(48, 38, 2, 2);
    QTest::newRow("scale 10") << 10.0 << QPointF(110, 60) << QRect(109, 59, 1, 1);
    QTest::newRow("scale 11, empty") << 11.0 << QPointF(110, 60) << QRect();
}

void TestCanvas::cursorSquare()
{
    QFETCH(qreal, scale);
    QFETCH(QPointF, pointer);
    QFETCH(QRect, square);

    Canvas canvas;
    canvas.setScale(scale);
    const QPoint p = canvas.at(pointer);
    QCOMPARE(canvas.view->mapToScene(p), pointer);
    QCOMPARE(canvas.view->cursorSquare(p), square);

    // The same square reaches the tool through a press.
    canvas.setTool(true);
    QSignalSpy spy(canvas.view, &KestGraphicsView::SmartSelect);
    canvas.mouse(QEvent::MouseButtonPress, p, Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(emitted(spy, 0).rect, square);
}

void TestCanvas::pressEmits_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<bool>("right");

    QTest::newRow("left") << Qt::LeftButton << false;
    QTest::newRow("right") << Qt::RightButton << true;
    QTest::newRow("middle") << Qt::MiddleButton << false;
}

// A press sends the square even off the scene; it neither creates a circle nor counts as a
// move.
void TestCanvas::pressEmits()
{
    QFETCH(Qt::MouseButton, button);
    QFETCH(bool, right);

    Canvas canvas;
    canvas.setScale(1);
    canvas.setTool(true);
    QSignalSpy spy(canvas.view, &KestGraphicsView::SmartSelect);
    canvas.mouse(QEvent::MouseButtonPress, canvas.at({50, 40}), button);
    canvas.mouse(QEvent::MouseButtonRelease, canvas.at({50, 40}), button);
    canvas.mouse(QEvent::MouseButtonPress, canvas.at({-40, -30}), button);
    canvas.mouse(QEvent::MouseButtonRelease, canvas.at({-40, -30}), button);

    QCOMPARE(spy.count(), 2);
    const Emitted inside = emitted(spy, 0);
    QCOMPARE(inside.rect, QRect(45, 35, 10, 10));
    QVERIFY(inside.pressed);
    QCOMPARE(inside.right, right);
    const Emitted outside = emitted(spy, 1);
    QVERIFY(outside.rect.isEmpty());
    QVERIFY(outside.pressed);
    QCOMPARE(outside.right, right);
    QVERIFY(!canvas.view->cursorCircle());
}

void TestCanvas::movesEmitOnlyWhenMoved()
{
    Canvas canvas;
    canvas.setScale(1);
    canvas.setTool(true);
    QSignalSpy spy(canvas.view, &KestGraphicsView::SmartSelect);

    canvas.move(canvas.at({50, 40}));
    QCOMPARE(spy.count(), 1);
    const Emitted first = emitted(spy, 0);
    QCOMPARE(first.rect, QRect(45, 35, 10, 10));
    QVERIFY(!first.pressed);
    QVERIFY(!first.right);
    QGraphicsEllipseItem *circle = canvas.view->cursorCircle();
    QVERIFY(circle);
    QCOMPARE(circle->scene(), canvas.view->scene());
    QCOMPARE(circle->rect(), QRectF(45, 35, 10, 10));
    QCOMPARE(circle->zValue(), 20.0);
    QCOMPARE(circle->pen(), QPen());
    QCOMPARE(circle->brush(), QBrush());

    canvas.move(canvas.at({50, 40}));
    QCOMPARE(spy.count(), 1);

    canvas.move(canvas.at({60, 45}));
    QCOMPARE(spy.count(), 2);
    QCOMPARE(emitted(spy, 1).rect, QRect(55, 40, 10, 10));
    QCOMPARE(canvas.view->cursorCircle(), circle);
    QCOMPARE(circle->rect(), QRectF(55, 40, 10, 10));
    QCOMPARE(canvas.ellipsesInScene(), 1);

    canvas.move(canvas.at({-40, -30}));
    QCOMPARE(spy.count(), 2);
    QVERIFY(!canvas.view->cursorCircle());
    QCOMPARE(canvas.ellipsesInScene(), 0);

    // An off-scene move does not count: back at the last spot nothing is sent.
    canvas.move(canvas.at({60, 45}));
    QCOMPARE(spy.count(), 2);
    QVERIFY(canvas.view->cursorCircle());
    QCOMPARE(canvas.view->cursorCircle()->rect(), QRectF(55, 40, 10, 10));
    QCOMPARE(canvas.ellipsesInScene(), 1);

    canvas.move(canvas.at({50, 40}));
    QCOMPARE(spy.count(), 3);
}

void TestCanvas::pressWhereMoveEnded()
{
    Canvas canvas;
    canvas.setScale(1);
    canvas.setTool(true);
    QSignalSpy spy(canvas.view, &KestGraphicsView::SmartSelect);
    const QPoint p = canvas.at({80, 60});

    canvas.move(p);
    canvas.mouse(QEvent::MouseButtonPress, p, Qt::LeftButton);
    canvas.mouse(QEvent::MouseButtonRelease, p, Qt::LeftButton);
    canvas.move(p);
    QCOMPARE(spy.count(), 2);
    QVERIFY(!emitted(spy, 0).pressed);
    QVERIFY(emitted(spy, 1).pressed);
    QCOMPARE(emitted(spy, 1).rect, QRect(75, 55, 10, 10));
    QVERIFY(canvas.view->cursorCircle());
}

// The second click of a double click comes as a double-click event, which is not a press.
void TestCanvas::doubleClickEmitsOnePress()
{
    Canvas canvas;
    canvas.setScale(1);
    canvas.setTool(true);
    QSignalSpy spy(canvas.view, &KestGraphicsView::SmartSelect);
    const QPoint p = canvas.at({80, 60});
    canvas.mouse(QEvent::MouseButtonPress, p, Qt::LeftButton);
    canvas.mouse(QEvent::MouseButtonRelease, p, Qt::LeftButton);
    canvas.mouse(QEvent::MouseButtonDblClick, p, Qt::LeftButton);
    canvas.mouse(QEvent::MouseButtonRelease, p, Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
}

void TestCanvas::aboveScaleTenOnlyPressesEmit()
{
    Canvas canvas;
    canvas.setScale(12);
    canvas.setTool(true);
    QSignalSpy spy(canvas.view, &KestGraphicsView::SmartSelect);
    const QPoint p = canvas.at({110, 60});

    canvas.move(p + QPoint(3, 0));
    canvas.move(p);
    QCOMPARE(spy.count(), 0);
    QVERIFY(!canvas.view->cursorCircle());
    QCOMPARE(canvas.ellipsesInScene(), 0);

    canvas.mouse(QEvent::MouseButtonPress, p, Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    QVERIFY(emitted(spy, 0).rect.isEmpty());
    QVERIFY(emitted(spy, 0).pressed);
}

void TestCanvas::nothingWithoutTool()
{
    Canvas canvas;
    canvas.setScale(1);
    QSignalSpy spy(canvas.view, &KestGraphicsView::SmartSelect);
    canvas.move(canvas.at({50, 40}));
    canvas.mouse(QEvent::MouseButtonPress, canvas.at({50, 40}), Qt::LeftButton);
    canvas.move(canvas.at({70, 40}));
    QCOMPARE(spy.count(), 0);
    QVERIFY(!canvas.view->cursorCircle());
    QCOMPARE(canvas.ellipsesInScene(), 0);
}

void TestCanvas::nothingWithoutScene()
{
    Canvas canvas {QSize()};
    QVERIFY(!canvas.view->scene());
    canvas.setTool(true);
    QSignalSpy spy(canvas.view, &KestGraphicsView::SmartSelect);
    canvas.move(QPoint(50, 40));
    canvas.mouse(QEvent::MouseButtonPress, QPoint(50, 40), Qt::LeftButton);
    canvas.mouse(QEvent::MouseButtonRelease, QPoint(50, 40), Qt::LeftButton);
    canvas.move(QPoint(60, 40));
    QCOMPARE(spy.count(), 0);
    QVERIFY(!canvas.view->cursorCircle());
}

void TestCanvas::circleRemovedOnLeave()
{
    Canvas canvas;
    canvas.setScale(1);
    canvas.setTool(true);
    canvas.move(canvas.at({50, 40}));
    QVERIFY(canvas.view->cursorCircle());

    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(canvas.view, &leave);
    QVERIFY(!canvas.view->cursorCircle());
    QCOMPARE(canvas.ellipsesInScene(), 0);

    canvas.move(canvas.at({52, 40}));
    QVERIFY(canvas.view->cursorCircle());
    QCOMPARE(canvas.ellipsesInScene(), 1);
}

void TestCanvas::toolToggleSetsCursorAndRemovesCircle()
{
    Canvas canvas;
    canvas.setScale(1);
    QWidget *viewport = canvas.view->viewport();

    canvas.setTool(true);
    QCOMPARE(canvas.view->tool(), KestGraphicsView::Tool::SmartSelect);
    QCOMPARE(viewport->cursor().shape(), Qt::BlankCursor);
    canvas.move(canvas.at({50, 40}));
    QVERIFY(canvas.view->cursorCircle());

    canvas.setTool(false);
    QCOMPARE(canvas.view->tool(), KestGraphicsView::Tool::None);
    QCOMPARE(viewport->cursor().shape(), Qt::ArrowCursor);
    QVERIFY(!canvas.view->cursorCircle());
    QCOMPARE(canvas.ellipsesInScene(), 0);

    canvas.setTool(true);
    QCOMPARE(viewport->cursor().shape(), Qt::BlankCursor);
    // The last move position survives the toggles: the same spot sends nothing.
    QSignalSpy spy(canvas.view, &KestGraphicsView::SmartSelect);
    canvas.move(canvas.at({50, 40}));
    QCOMPARE(spy.count(), 0);
    QVERIFY(canvas.view->cursorCircle());
    canvas.setTool(false);
    canvas.setTool(true);
    QVERIFY(!canvas.view->cursorCircle());
    QCOMPARE(canvas.ellipsesInScene(), 0);
    // The window keeps its smart-selection state across toggles.
    QCOMPARE(canvas.window.lastControlPoint(), QPoint(-100, -100));
}

// The last move position starts at the viewport's origin.
void TestCanvas::firstMoveToOriginEmitsNothing()
{
    Canvas canvas;
    canvas.setScale(5);
    canvas.setTool(true);
    QVERIFY(canvas.view->cursorSquare(QPoint(0, 0)).isValid());
    QSignalSpy spy(canvas.view, &KestGraphicsView::SmartSelect);
    canvas.move(QPoint(0, 0));
    QCOMPARE(spy.count(), 0);
    QVERIFY(canvas.view->cursorCircle());
    canvas.move(QPoint(1, 0));
    QCOMPARE(spy.count(), 1);
}

// Open deletes every scene item, the circle among them; the view must not touch it again.
void TestCanvas::openForgetsCircle()
{
    Canvas canvas;
    canvas.setScale(1);
    canvas.setTool(true);
    canvas.move(canvas.at({50, 40}));
    QVERIFY(canvas.view->cursorCircle());

    canvas.open(QSize(200, 100));
    QVERIFY(!canvas.view->cursorCircle());
    QCOMPARE(canvas.ellipsesInScene(), 0);
    QCOMPARE(canvas.view->tool(), KestGraphicsView::Tool::SmartSelect);

    canvas.setScale(1);
    QSignalSpy spy(canvas.view, &KestGraphicsView::SmartSelect);
    canvas.move(canvas.at({50, 40}));
    QCOMPARE(spy.count(), 0);
    QVERIFY(canvas.view->cursorCircle());
    QCOMPARE(canvas.ellipsesInScene(), 1);
    canvas.move(canvas.at({70, 40}));
    QCOMPARE(spy.count(), 1);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(canvas.view, &leave);
    QVERIFY(!canvas.view->cursorCircle());
}

void TestCanvas::resizeBeforePhotoChangesNothing()
{
    Canvas canvas(QSize(), false);
    QResizeEvent resize(QSize(600, 600), QSize(800, 600));
    QCoreApplication::sendEvent(canvas.view->viewport(), &resize);
    QVERIFY(canvas.view->transform().isIdentity());
    QCOMPARE(canvas.view->horizontalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    QCOMPARE(canvas.view->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
}

void TestCanvas::resizeRescales_data()
{
    QTest::addColumn<qreal>("scale");
    QTest::addColumn<QSize>("oldSize");
    QTest::addColumn<QSize>("newSize");
    QTest::addColumn<qreal>("factor");

    // The scene is 350 x 300: shown at 350 x 300 at scale 1, at 700 x 600 at scale 2.
    QTest::newRow("shrink, picture 700 x 600") << 2.0 << QSize(800, 600) << QSize(600, 600) << 0.75;
    QTest::newRow("grow, picture smaller") << 1.0 << QSize(400, 400) << QSize(500, 400) << 1.25;
    QTest::newRow("grow, picture overflows") << 2.0 << QSize(500, 400) << QSize(600, 400) << 1.0;
    QTest::newRow("height changes more") << 1.0 << QSize(400, 400) << QSize(380, 200) << 0.5;
    QTest::newRow("tie takes height") << 1.0 << QSize(400, 400) << QSize(200, 800) << 2.0;
    QTest::newRow("first resize, old -1 x -1") << 1.0 << QSize(-1, -1) << QSize(600, 400) << 1.0;
    QTest::newRow("old width 0") << 1.0 << QSize(0, 400) << QSize(600, 400) << 1.0;
    QTest::newRow("old height 0") << 1.0 << QSize(600, 0) << QSize(600, 400) << 1.0;
    QTest::newRow("new 0 x 0") << 1.0 << QSize(600, 400) << QSize(0, 0) << 1.0;
    QTest::newRow("new width 0") << 1.0 << QSize(600, 400) << QSize(0, 400) << 1.0;
    QTest::newRow("new negative") << 1.0 << QSize(600, 400) << QSize(-5, -5) << 1.0;
}

// Resize events are sent straight to the viewport of a hidden window, so that no real
// resize interferes.
void TestCanvas::resizeRescales()
{
    QFETCH(qreal, scale);
    QFETCH(QSize, oldSize);
    QFETCH(QSize, newSize);
    QFETCH(qreal, factor);

    Canvas canvas(QSize(330, 280), false);
    QVERIFY(canvas.view->scene());
    QCOMPARE(canvas.view->horizontalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    QCOMPARE(canvas.view->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    canvas.view->setTransform(QTransform::fromScale(scale, scale));

    QResizeEvent resize(newSize, oldSize);
    QCoreApplication::sendEvent(canvas.view->viewport(), &resize);
    const QTransform now = canvas.view->transform();
    QVERIFY2(qFuzzyCompare(now.m11(), scale * factor), qPrintable(QString::number(now.m11())));
    QVERIFY2(qFuzzyCompare(now.m22(), scale * factor), qPrintable(QString::number(now.m22())));
    QCOMPARE(now.m12(), 0.0);
    QCOMPARE(now.m21(), 0.0);
    QCOMPARE(canvas.view->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(canvas.view->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

QTEST_MAIN(TestCanvas)
#include "tst_canvas.moc"
