#include <QGraphicsEllipseItem>
#include <QSignalSpy>

#include "datatable.h"
#include "windowsession.h"

namespace {

// SmartSelect's arguments, one list per signal: rectangle, pressed, right.
using Signals = QList<QVariantList>;

// A hidden window, so that no real resize interferes, with the smart-selection tool on.
struct Canvas : WindowSession
{
    Canvas() { tool->setChecked(true); }

    // Opens a 200 x 100 photo and shows it at `scale`, centred; the scene is 220 x 120.
    void show(qreal scale = 1)
    {
        open(writePhoto(photos, "photo.png", patternPhoto(200, 100)));
        v->setTransform(QTransform::fromScale(scale, scale));
        v->centerOn(v->sceneRect().center());
    }
    void mouse(QEvent::Type type, QPointF scenePos, Qt::MouseButton button = Qt::LeftButton)
    {
        const QPointF pos = v->mapFromScene(scenePos); // the view reads no global position
        QMouseEvent event(type, pos, pos, button, button, Qt::NoModifier);
        QCoreApplication::sendEvent(v->viewport(), &event);
    }
    void move(QPointF scenePos) { mouse(QEvent::MouseMove, scenePos, Qt::NoButton); }

    // The cursor circle's rectangle, null when there is none; (-1, -1, -1, -1) when the scene
    // holds anything else than the backdrop, the photo and that circle.
    QRectF circle() const
    {
        QGraphicsEllipseItem *circle = v->cursorCircle();
        if (v->scene()->items().size() != (circle ? 3 : 2))
            return QRectF(-1, -1, -1, -1);
        return circle ? circle->rect() : QRectF();
    }

    KestGraphicsView *v = view();
    QAction *tool = action("actionSmartSelect");
    QSignalSpy spy {v, &KestGraphicsView::SmartSelect};
};

} // namespace

// The canvas view: the cursor square and circle, the SmartSelect signal, the rescale on resize.
class TestMainWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;

private slots:
    void initTestCase() { useTemporarySettings(m_settingsDir); }

    void cursorSquare_data()
    {
        addColumns<qreal, QPointF, QRect>(); // scale, pointer, square
        QTest::newRow("clipped bottom right") << 1.0 << QPointF(218, 117) << QRect(213, 112, 7, 8);
        QTest::newRow("scale 2, left -1.5 is -1") << 2.0 << QPointF(1, 1) << QRect(0, 0, 4, 4);
    }

    // Every press sends the square, even an empty one; only the right button counts as
    // right.
    void cursorSquare()
    {
        const auto [scale, pointer, square] = fetchRow<qreal, QPointF, QRect>();
        Canvas canvas;
        canvas.show(scale);
        for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton})
            canvas.mouse(QEvent::MouseButtonPress, pointer, button);
        QCOMPARE(Signals(canvas.spy),
            (Signals {{square, true, false}, {square, true, true}, {square, true, false}}));
    }

    // Moves send the square only with the tool on, only when the pointer has moved, and only
    // when it is not empty. The circle shows that square, and goes when it leaves the scene,
    // with Open, and when the pointer leaves the view.
    void moves()
    {
        Canvas canvas;
        canvas.show();
        canvas.move({50, 40});
        canvas.move({50, 40});
        canvas.move({60, 45});
        QCOMPARE(canvas.circle(), QRectF(55, 40, 10, 10));
        canvas.move({-40, -30});
        QCOMPARE(canvas.circle(), QRectF());
        // Off the scene does not count as a move: back at (60, 45) nothing is sent.
        canvas.move({60, 45});
        canvas.tool->setChecked(false);
        canvas.move({70, 40});
        canvas.mouse(QEvent::MouseButtonPress, {70, 40});
        QCOMPARE(Signals(canvas.spy),
            (Signals {
                {QRect(45, 35, 10, 10), false, false}, {QRect(55, 40, 10, 10), false, false}}));

        canvas.tool->setChecked(true);
        canvas.move({56, 40});
        // Open deletes every scene item, the circle among them; the view must not touch it.
        canvas.show();
        QVERIFY(!canvas.v->cursorCircle());
        canvas.move({50, 40});
        QCOMPARE(canvas.circle(), QRectF(45, 35, 10, 10));
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(canvas.v, &leave);
        QCOMPARE(canvas.circle(), QRectF());
    }

    void resizeRescales_data()
    {
        addColumns<qreal, QSize, QSize, qreal>(); // scale, old size, new size, factor
        // The scene is 220 x 120: shown at that size at scale 1, at 660 x 360 at scale 3.
        QTest::newRow("shrink, shown wider") << 3.0 << QSize(800, 600) << QSize(600, 600) << 0.75;
        QTest::newRow("grow, shown overflows") << 3.0 << QSize(500, 400) << QSize(600, 400) << 1.0;
        QTest::newRow("height changes more") << 1.0 << QSize(400, 400) << QSize(380, 200) << 0.5;
        QTest::newRow("first, old -1 x -1") << 1.0 << QSize(-1, -1) << QSize(600, 400) << 1.0;
    }

    void resizeRescales()
    {
        const auto [scale, oldSize, newSize, factor] = fetchRow<qreal, QSize, QSize, qreal>();
        Canvas canvas;
        canvas.show(scale);
        QResizeEvent resize(newSize, oldSize);
        QCoreApplication::sendEvent(canvas.v->viewport(), &resize);
        QCOMPARE(canvas.v->transform(), QTransform::fromScale(scale * factor, scale * factor));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
