#include <QAction>
#include <QGraphicsEllipseItem>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QSignalSpy>
#include <QTest>

#include "app/mainwindow.h"
#include "canvas/kestgraphicsview.h"
#include "guitestsupport.h"

namespace {

// SmartSelect's arguments, one list per signal: rectangle, pressed, right.
using Signals = QList<QVariantList>;

// A window with a W x H photo open at scale 1, centred, and the smart-selection tool on; the
// scene is (W + 20) x (H + 20). Resize events go to a hidden window, so that no real resize
// interferes.
struct Canvas
{
    explicit Canvas(QSize photo = QSize(200, 100), bool shown = true)
    {
        window.setVisible(shown);
        tool->setChecked(true);
        if (!photo.isEmpty())
            open(photo);
    }

    void open(QSize size)
    {
        prompts.openAnswers << writePhoto(
            dir, "photo.png", patternPhoto(size.width(), size.height()));
        window.findChild<QAction *>(QStringLiteral("actionOpen"))->trigger();
        setScale(1);
    }

    void setScale(qreal scale)
    {
        view->setTransform(QTransform::fromScale(scale, scale));
        view->centerOn(view->sceneRect().center());
    }

    void mouse(QEvent::Type type, QPointF scenePos, Qt::MouseButton button = Qt::LeftButton)
    {
        const QPointF pos = view->mapFromScene(scenePos); // the view reads no global position
        QMouseEvent event(type, pos, pos, button, button, Qt::NoModifier);
        QCoreApplication::sendEvent(view->viewport(), &event);
    }
    void move(QPointF scenePos) { mouse(QEvent::MouseMove, scenePos, Qt::NoButton); }

    // The cursor circle's rectangle, null when there is none; (-1, -1, -1, -1) when the
    // scene holds another ellipse than the view's circle.
    QRectF circle() const
    {
        QGraphicsEllipseItem *circle = view->cursorCircle();
        int ellipses = 0;
        for (QGraphicsItem *item : view->scene()->items())
            ellipses += item->type() == QGraphicsEllipseItem::Type;
        if (ellipses != (circle ? 1 : 0))
            return QRectF(-1, -1, -1, -1);
        return circle ? circle->rect() : QRectF();
    }

    QTemporaryDir dir;
    FakePrompts prompts;
    MainWindow window;
    KestGraphicsView *view = window.findChild<KestGraphicsView *>(QStringLiteral("graphicsView"));
    QAction *tool = window.findChild<QAction *>(QStringLiteral("actionSmartSelect"));
    QSignalSpy spy {view, &KestGraphicsView::SmartSelect};
};

void addResizeRow(
    const char *name, qreal scale, QSize oldSize, QSize newSize, qreal factor, bool photo = true)
{
    QTest::newRow(name) << photo << scale << oldSize << newSize << factor;
}

} // namespace

// The canvas view: the cursor square, the cursor circle, the SmartSelect signal and the
// rescale on resize.
class TestCanvas : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;

private slots:
    void initTestCase() { useTemporarySettings(m_settingsDir); }

    void cursorSquare_data()
    {
        QTest::addColumn<qreal>("scale");
        QTest::addColumn<QPointF>("pointer");
        QTest::addColumn<QRect>("square");

        // Scene rectangle (0, 0, 220, 120).
        QTest::newRow("clipped bottom right") << 1.0 << QPointF(218, 117) << QRect(213, 112, 7, 8);
        QTest::newRow("one column overlaps") << 1.0 << QPointF(-4, 50) << QRect(0, 45, 1, 10);
        QTest::newRow("just beside, null") << 1.0 << QPointF(-5, 50) << QRect();
        QTest::newRow("scale 2, left -1.5 is -1") << 2.0 << QPointF(1, 1) << QRect(0, 0, 4, 4);
        QTest::newRow("scale 10, one unit") << 10.0 << QPointF(110, 60) << QRect(109, 59, 1, 1);
        QTest::newRow("scale 11, empty") << 11.0 << QPointF(110, 60) << QRect();
    }

    // Every press sends the square, even an empty one; only the right button counts as
    // right.
    void cursorSquare()
    {
        QFETCH(qreal, scale);
        QFETCH(QPointF, pointer);
        QFETCH(QRect, square);

        Canvas canvas;
        canvas.setScale(scale);
        for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton})
            canvas.mouse(QEvent::MouseButtonPress, pointer, button);
        QCOMPARE(Signals(canvas.spy),
            (Signals {{square, true, false}, {square, true, true}, {square, true, false}}));
    }

    // Moves send the square only with a scene and the tool on, only when the pointer has
    // moved, and only when the square is not empty.
    void movesEmitOnlyWhenMoved()
    {
        Canvas canvas {QSize()};
        canvas.move({50, 40});
        canvas.mouse(QEvent::MouseButtonPress, {50, 40});
        canvas.open(QSize(200, 100));
        canvas.tool->setChecked(false);
        canvas.move({70, 40});
        canvas.mouse(QEvent::MouseButtonPress, {70, 40});
        QVERIFY(canvas.spy.isEmpty());

        canvas.tool->setChecked(true);
        // Off the scene does not count as a move: back at (60, 45) nothing is sent.
        for (QPointF at : QList<QPointF> {{50, 40}, {50, 40}, {60, 45}, {-40, -30}, {60, 45}})
            canvas.move(at);
        QCOMPARE(Signals(canvas.spy),
            (Signals {
                {QRect(45, 35, 10, 10), false, false}, {QRect(55, 40, 10, 10), false, false}}));
    }

    // The circle is created once and moved after; it goes when the square leaves the scene,
    // when the pointer leaves the view, on each tool toggle, and with Open.
    void cursorCircle()
    {
        Canvas canvas;
        QCOMPARE(canvas.view->viewport()->cursor().shape(), Qt::BlankCursor);
        canvas.move({50, 40});
        QGraphicsEllipseItem *circle = canvas.view->cursorCircle();
        canvas.move({60, 45});
        QCOMPARE(canvas.circle(), QRectF(55, 40, 10, 10));
        QCOMPARE(canvas.view->cursorCircle(), circle);
        QCOMPARE(circle->zValue(), 20.0);
        canvas.move({-40, -30});
        QCOMPARE(canvas.circle(), QRectF());

        canvas.move({50, 40});
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(canvas.view, &leave);
        QCOMPARE(canvas.circle(), QRectF());

        // Open deletes every scene item, the circle among them; the view must not touch it.
        canvas.move({50, 40});
        canvas.open(QSize(200, 100));
        QVERIFY(!canvas.view->cursorCircle());
        canvas.move({56, 40});
        QCOMPARE(canvas.circle(), QRectF(51, 35, 10, 10));
        canvas.tool->setChecked(false);
        QCOMPARE(canvas.view->viewport()->cursor().shape(), Qt::ArrowCursor);
        QCOMPARE(canvas.circle(), QRectF());
    }

    void resizeRescales_data()
    {
        QTest::addColumn<bool>("photo");
        QTest::addColumn<qreal>("scale");
        QTest::addColumn<QSize>("oldSize");
        QTest::addColumn<QSize>("newSize");
        QTest::addColumn<qreal>("factor");

        // The scene is 350 x 300: shown at 350 x 300 at scale 1, at 700 x 600 at scale 2.
        addResizeRow("no photo", 2, {800, 600}, {600, 600}, 1, false);
        addResizeRow("shrink, shown 700 x 600", 2, {800, 600}, {600, 600}, 0.75);
        addResizeRow("grow, shown smaller", 1, {400, 400}, {500, 400}, 1.25);
        addResizeRow("grow, shown overflows", 2, {500, 400}, {600, 400}, 1);
        addResizeRow("height changes more", 1, {400, 400}, {380, 200}, 0.5);
        addResizeRow("tie takes height", 1, {400, 400}, {200, 800}, 2);
        addResizeRow("first, old -1 x -1", 1, {-1, -1}, {600, 400}, 1);
        addResizeRow("new height 0", 1, {600, 400}, {600, 0}, 1);
    }

    // The first resize with a photo shows both scroll bars for good.
    void resizeRescales()
    {
        QFETCH(bool, photo);
        QFETCH(qreal, scale);
        QFETCH(QSize, oldSize);
        QFETCH(QSize, newSize);
        QFETCH(qreal, factor);

        Canvas canvas(photo ? QSize(330, 280) : QSize(), false);
        canvas.view->setTransform(QTransform::fromScale(scale, scale));
        QResizeEvent resize(newSize, oldSize);
        QCoreApplication::sendEvent(canvas.view->viewport(), &resize);
        QCOMPARE(canvas.view->transform(), QTransform::fromScale(scale * factor, scale * factor));
        const Qt::ScrollBarPolicy bars = photo ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded;
        QCOMPARE(canvas.view->horizontalScrollBarPolicy(), bars);
        QCOMPARE(canvas.view->verticalScrollBarPolicy(), bars);
    }
};

QTEST_MAIN(TestCanvas)
#include "tst_canvas.moc"
