#include <cmath>
#include <functional>
#include <vector>

#include <QtTest>

#include "core/plane.h"
#include "datatable.h"
#include "selection/ridgesnap.h"

using tolvane::Point;

namespace {

// A w x h brightness plane drawn by `paint(x, y)`.
struct Scene
{
    int width = 0, height = 0;
    std::vector<std::uint8_t> pixels;

    Scene(int w, int h, const std::function<int(int, int)> &paint)
        : width(w)
        , height(h)
        , pixels(std::size_t(w) * h)
    {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                pixels[std::size_t(y) * w + x] = std::uint8_t(paint(x, y));
    }
    tolvane::Plane<const std::uint8_t> plane() const
    {
        return tolvane::Plane<const std::uint8_t>(pixels.data(), width, height, width);
    }
};

// Sky of 200 with smooth texture of +-10, a dark wire of 40 where `onWire(x, y)`.
Scene wires(const std::function<bool(int, int)> &onWire)
{
    return Scene(80, 60, [&](int x, int y) {
        return onWire(x, y) ? 40 : int(200 + 10 * std::sin(x * 0.3) * std::cos(y * 0.2));
    });
}

} // namespace

Q_DECLARE_METATYPE(Point)

// Clicks beside a wire land on it; clicks near nothing thin and dark stay where they are.
class TestRidgeSnap : public QObject
{
    Q_OBJECT

private slots:
    void snaps_data()
    {
        addColumns<std::function<bool(int, int)>, Point, int, Point>(); // wire, click, reach, lands
        auto row = [](int a, int b) { return [a, b](int, int y) { return y >= a && y <= b; }; };
        QTest::newRow("below a two-row wire")
            << std::function(row(20, 21)) << Point {30, 25} << 8 << Point {30, 21};
        QTest::newRow("above it") << std::function(row(20, 21)) << Point {30, 14} << 8
                                  << Point {30, 20};
        QTest::newRow("out of reach")
            << std::function(row(20, 21)) << Point {30, 25} << 3 << Point {30, 25};
        QTest::newRow("on it") << std::function(row(20, 21)) << Point {30, 21} << 8
                               << Point {30, 21};
        QTest::newRow("no reach") << std::function(row(20, 21)) << Point {30, 22} << 0
                                  << Point {30, 22};
        QTest::newRow("beside a vertical wire") << std::function([](int x, int) { return x == 40; })
                                                << Point {45, 10} << 8 << Point {40, 10};
        QTest::newRow("off a diagonal wire") << std::function([](int x, int y) { return x == y; })
                                             << Point {34, 30} << 8 << Point {32, 32};
        QTest::newRow("between two wires, the nearer")
            << std::function([](int, int y) { return y == 20 || y == 30; }) << Point {10, 27} << 8
            << Point {10, 30};
        QTest::newRow("an edge is no wire") << std::function([](int x, int) { return x < 40; })
                                            << Point {43, 10} << 8 << Point {43, 10};
        QTest::newRow("a band thicker than a wire")
            << std::function(row(20, 40)) << Point {30, 30} << 8 << Point {30, 30};
        QTest::newRow("a wire along the photo's edge has one side")
            << std::function(row(0, 0)) << Point {30, 3} << 8 << Point {30, 3};
        QTest::newRow("reach beyond the photo")
            << std::function(row(58, 58)) << Point {79, 59} << 1000 << Point {79, 58};
    }

    void snaps()
    {
        const auto [onWire, click, reach, lands]
            = fetchRow<std::function<bool(int, int)>, Point, int, Point>();
        const Scene scene = wires(onWire);
        QCOMPARE(tolvane::snapToRidge(scene.plane(), click, reach), lands);
    }

    // A faint line nearer than a clear wire does not catch the click.
    void strongerLineWins()
    {
        const Scene scene(60, 40, [](int, int y) { return y == 24 ? 175 : y == 15 ? 40 : 200; });
        QCOMPARE(tolvane::ridgeStrength(scene.plane(), {10, 24}), 25);
        QCOMPARE(tolvane::ridgeStrength(scene.plane(), {10, 15}), 160);
        QCOMPARE(tolvane::snapToRidge(scene.plane(), {10, 23}, 10), (Point {10, 15}));
        // Lines too faint to be wires are none.
        const Scene faint(60, 40, [](int, int y) { return y == 24 ? 190 : 200; });
        QCOMPARE(tolvane::ridgeStrength(faint.plane(), {10, 24}), 0);
        QCOMPARE(tolvane::snapToRidge(faint.plane(), {10, 23}, 10), (Point {10, 23}));
    }

    // Photos of one pixel, one row or one column: lines across a single column or row are
    // found, and nothing reaches outside the photo.
    void tinyPhotos()
    {
        const Scene pixel(1, 1, [](int, int) { return 0; });
        QCOMPARE(tolvane::snapToRidge(pixel.plane(), {0, 0}, 50), (Point {0, 0}));
        const Scene column(1, 9, [](int, int y) { return y == 4 ? 0 : 255; });
        QCOMPARE(tolvane::snapToRidge(column.plane(), {0, 8}, 50), (Point {0, 4}));
        const Scene row(9, 1, [](int x, int) { return x == 4 ? 0 : 255; });
        QCOMPARE(tolvane::snapToRidge(row.plane(), {0, 0}, 50), (Point {4, 0}));
    }
};

QTEST_APPLESS_MAIN(TestRidgeSnap)
#include "tst_ridgesnap.moc"
