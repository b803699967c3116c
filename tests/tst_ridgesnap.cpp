#include <cmath>
#include <functional>
#include <vector>

#include <QtTest>

#include "core/plane.h"
#include "datatable.h"
#include "selection/ridgesnap.h"

using tolvane::Point;
using Paint = std::function<int(int, int)>;

Q_DECLARE_METATYPE(Point)

// Clicks beside a wire land on it; clicks near nothing thin and dark stay where they are.
class TestRidgeSnap : public QObject
{
    Q_OBJECT

private slots:
    void snaps_data()
    {
        addColumns<QSize, Paint, Point, int, Point>(); // size, brightness, click, reach, lands
        // Sky of 200 with smooth texture of +-10, a dark wire of 40 where `onWire(x, y)`.
        auto wire = [](std::function<bool(int, int)> onWire) {
            return Paint([onWire](int x, int y) {
                return onWire(x, y) ? 40 : int(200 + 10 * std::sin(x * 0.3) * std::cos(y * 0.2));
            });
        };
        auto rows
            = [&](int a, int b) { return wire([a, b](int, int y) { return y >= a && y <= b; }); };
        auto row = [](const char *name, Paint paint, Point click, int reach, Point lands,
                       QSize size = {80, 60}) {
            QTest::newRow(name) << size << paint << click << reach << lands;
        };
        row("below a two-row wire", rows(20, 21), {30, 25}, 8, {30, 21});
        row("out of reach", rows(20, 21), {30, 25}, 3, {30, 25});
        row("no reach", rows(20, 21), {30, 22}, 0, {30, 22});
        row("just beyond the reach, across a corner",
            wire([](int x, int y) { return x + y == 60; }), {30, 25}, 3, {30, 25});
        row("beside a vertical wire", wire([](int x, int) { return x == 40; }), {45, 10}, 8,
            {40, 10});
        row("off a diagonal wire", wire([](int x, int y) { return x == y; }), {34, 30}, 8,
            {32, 32});
        row("between two wires, the nearer", wire([](int, int y) { return y == 20 || y == 30; }),
            {10, 27}, 8, {10, 30});
        row("an edge is no wire", wire([](int x, int) { return x < 40; }), {43, 10}, 8, {43, 10});
        row("a band thicker than a wire", rows(20, 40), {30, 30}, 8, {30, 30});
        row("a wire along the photo's edge has one side", rows(0, 0), {30, 3}, 8, {30, 3});
        row("reach beyond the photo", rows(58, 58), {79, 59}, 1000, {79, 58});
        row("a clear wire beats a nearer faint line",
            [](int, int y) { return y == 24 ? 175
                                 : y == 15  ? 40
                                            : 200; }, {10, 23}, 10, {10, 15});
        row("a line too faint is none", [](int, int y) { return y == 24 ? 190 : 200; }, {10, 23},
            10, {10, 23});
        row("one row", [](int x, int) { return x == 4 ? 0 : 255; }, {0, 0}, 50, {4, 0}, {9, 1});
    }

    void snaps()
    {
        const auto [size, paint, click, reach, lands] = fetchRow<QSize, Paint, Point, int, Point>();
        std::vector<std::uint8_t> pixels;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                pixels.push_back(std::uint8_t(paint(x, y)));
        const tolvane::Plane<const std::uint8_t> plane(
            pixels.data(), size.width(), size.height(), size.width());
        QCOMPARE(tolvane::snapToRidge(plane, click, reach), lands);
    }
};

QTEST_APPLESS_MAIN(TestRidgeSnap)
#include "tst_ridgesnap.moc"
