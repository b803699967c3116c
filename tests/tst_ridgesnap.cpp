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
        using Wire = std::function<bool(int, int)>;
        addColumns<Wire, Point, int, Point>(); // wire, click, reach, lands
        auto rows
            = [](int a, int b) { return Wire([a, b](int, int y) { return y >= a && y <= b; }); };
        auto row = [](const char *name, Wire wire, Point click, int reach, Point lands) {
            QTest::newRow(name) << wire << click << reach << lands;
        };
        row("below a two-row wire", rows(20, 21), {30, 25}, 8, {30, 21});
        row("above it", rows(20, 21), {30, 14}, 8, {30, 20});
        row("out of reach", rows(20, 21), {30, 25}, 3, {30, 25});
        row("on it", rows(20, 21), {30, 21}, 8, {30, 21});
        row("no reach", rows(20, 21), {30, 22}, 0, {30, 22});
        row("beside a vertical wire", [](int x, int) { return x == 40; }, {45, 10}, 8, {40, 10});
        row("off a diagonal wire", [](int x, int y) { return x == y; }, {34, 30}, 8, {32, 32});
        row("between two wires, the nearer", [](int, int y) { return y == 20 || y == 30; },
            {10, 27}, 8, {10, 30});
        row("an edge is no wire", [](int x, int) { return x < 40; }, {43, 10}, 8, {43, 10});
        row("a band thicker than a wire", rows(20, 40), {30, 30}, 8, {30, 30});
        row("a wire along the photo's edge has one side", rows(0, 0), {30, 3}, 8, {30, 3});
        row("reach beyond the photo", rows(58, 58), {79, 59}, 1000, {79, 58});
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
