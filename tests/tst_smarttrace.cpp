#include <algorithm>
#include <random>
#include <tuple>

#include <QTest>

#include "selection/smarttrace.h"
#include "smarttracereference.h"

using namespace tolvane;
using Outcome = WireRoute::Outcome;

namespace {

struct BrightnessMap
{
    int width, height;
    std::vector<std::uint8_t> pixels = std::vector<std::uint8_t>(std::size_t(width) * height);
    Point start {}, end {};

    std::uint8_t &at(int x, int y) { return pixels[std::size_t(y) * width + x]; }
    WireRoute trace() const { return traceWire({pixels, width, height}, start, end); }
    // Whether the literal reference traces the same route, field for field.
    bool agreesWithReference(const WireRoute &a) const
    {
        const WireRoute b = reference::traceWireLiterally(pixels, width, height, start, end);
        return std::tie(a.outcome, a.x0, a.y0, a.width, a.height, a.limit, a.path)
            == std::tie(b.outcome, b.x0, b.y0, b.width, b.height, b.limit, b.path);
    }
};

} // namespace

class TestSmartTrace : public QObject
{
    Q_OBJECT

private slots:
    // The centre of the rectangle minus 10, clamped to the 100x80 map.
    void cursorPointIsClampedCentre()
    {
        // Left, top, right, bottom; the point.
        for (const auto &[l, t, r, b, point] : {std::tuple(0, 0, -1, -1, Point {0, 0}),
                 {15, 25, 24, 34, Point {9, 19}}, {60, 61, 59, 60, Point {49, 50}},
                 {-7, -30, 2, 8, Point {0, 0}}, {300, 200, 309, 209, Point {99, 79}}})
            QCOMPARE(cursorPoint(l, t, r, b, 100, 80), point);
    }

    void openAreas()
    {
        // From (30, 30) to (30 + dx, 30 + dy) over a uniform area 30 pixels wider on every side.
        // Every pixel is passable from limit 51 on, so that every shortest route is on the path;
        // with dx >= dy, the walk-back levels are the columns of the window: 41 rows at most
        // for points on one row, more than 50 at 99x49, exactly 50 at 98x49.
        for (const auto &[dx, dy, outcome] :
            {std::tuple(300, 0, Outcome::Found), {99, 49, Outcome::Abandoned},
                {98, 49, Outcome::Found}, {500, 0, Outcome::Found}, {501, 0, Outcome::TooFar},
                {250, 250, Outcome::Found}, {251, 250, Outcome::TooFar}}) {
            const std::vector<std::uint8_t> area(std::size_t(dx + 60) * (dy + 60), 50);
            const BrightnessMap map {dx + 60, dy + 60, area, {30, 30}, {30 + dx, 30 + dy}};
            const WireRoute route = map.trace();
            QCOMPARE(route.outcome, outcome);
            QVERIFY(map.agreesWithReference(route));
        }
    }

    void matchesLiteralReference()
    {
        std::mt19937 rng(20240611);
        auto uniform = [&](int a, int b) { return std::uniform_int_distribution(a, b)(rng); };
        int outcomes[4] = {}; // by outcome
        for (int round = 0; round < 3000; ++round) {
            // Large maps hold wide open areas, long strips points more than 500 apart.
            const int size = round % 3 == 0 ? 180 : 70;
            const bool strip = round % 12 == 5;
            BrightnessMap map = strip ? BrightnessMap {uniform(500, 600), uniform(3, 8)}
                                      : BrightnessMap {uniform(3, size), uniform(3, size)};
            // Sets the pixels of a rectangle, clipped to the map, to values from `value`.
            auto paint = [&](int x0, int y0, int w, int h, auto value) {
                for (int y = std::max(y0, 0); y < std::min(y0 + h, map.height); ++y)
                    for (int x = std::max(x0, 0); x < std::min(x0 + w, map.width); ++x)
                        map.at(x, y) = std::uint8_t(value());
            };
            // Noise within a band or one level; brighter rectangles and dots, a third of them 255;
            // wandering lines, dark wires or 255 walls, with a few gaps of any brightness.
            const int low = uniform(0, 230),
                      high = size > 70 || uniform(0, 1) ? low : uniform(low, 255);
            paint(0, 0, map.width, map.height, [&] { return uniform(low, high); });
            for (int block = uniform(0, 2100 / size); block > 0; --block)
                paint(uniform(0, map.width), uniform(0, map.height), uniform(1, 30), uniform(1, 30),
                    [level = uniform(0, 2) ? uniform(low, 255) : 255] { return level; });
            for (int line = uniform(0, 350 / size); line > 0; --line) {
                const int level = uniform(0, 2) ? uniform(0, low) : 255, rows = uniform(1, 2);
                for (int x = 0, y = uniform(0, map.height); x < map.width; ++x, y += uniform(-1, 1))
                    paint(x, y, 1, rows, [&] { return uniform(0, 9) ? level : uniform(0, 255); });
            }
            // Points anywhere, on dark pixels, on the border, one on the other; on a strip at its
            // ends.
            auto pickPoint = [&] {
                Point p {uniform(0, map.width - 1), uniform(0, map.height - 1)};
                const int how = uniform(0, 3);
                for (int tries = 0; how == 1 && map.at(p.x, p.y) >= 90 && tries < 50; ++tries)
                    p = {uniform(0, map.width - 1), uniform(0, map.height - 1)};
                p.x = how == 2 || strip ? uniform(0, 1) * (map.width - 1) : p.x;
                p.y = how == 3 ? uniform(0, 1) * (map.height - 1) : p.y;
                return p;
            };
            map.start = pickPoint();
            map.end = uniform(0, 40) == 0 ? map.start : pickPoint();
            const WireRoute route = map.trace();
            QVERIFY2(map.agreesWithReference(route), qPrintable(QString::number(round)));
            ++outcomes[int(route.outcome)];
        }
        QVERIFY(*std::min_element(outcomes, outcomes + 4) >= 25);
    }
};

QTEST_APPLESS_MAIN(TestSmartTrace)
#include "tst_smarttrace.moc"
