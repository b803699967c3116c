#include <QStringList>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <string_view>

#include "selection/smarttrace.h"
#include "smarttracereference.h"

using namespace tolvane;
using Outcome = WireRoute::Outcome;

Q_DECLARE_METATYPE(WireRoute::Outcome)

namespace {

struct BrightnessMap
{
    std::vector<std::uint8_t> pixels;
    int width = 0;
    int height = 0;
    Point start;
    Point end;

    BrightnessMap(int w, int h, std::uint8_t value)
        : pixels(std::size_t(w) * h, value)
        , width(w)
        , height(h)
    { }
    std::uint8_t &at(int x, int y) { return pixels[std::size_t(y) * width + x]; }
    Plane<const std::uint8_t> plane() const
    {
        return Plane<const std::uint8_t>(pixels, width, height);
    }
    WireRoute trace() const { return traceWire(plane(), start, end); }
    WireRoute traceLiterally() const
    {
        return reference::traceWireLiterally(pixels, width, height, start, end);
    }
};

// '.' sky 200, '#' wire 20, 'o' 120, 'w' 210, 'X' 255; 'S' and 'E' are wire pixels marking the
// points, 's' and 'e' points of brightness 250.
std::uint8_t brightnessOf(char c)
{
    const std::string_view symbols = "#SEowXse";
    const std::uint8_t values[] = {20, 20, 20, 120, 210, 255, 250, 250};
    const std::size_t i = symbols.find(c);
    return i == std::string_view::npos ? 200 : values[i];
}

BrightnessMap mapFromRows(const QStringList &rows)
{
    BrightnessMap map(int(rows.first().size()), int(rows.size()), 200);
    for (int y = 0; y < map.height; ++y) {
        for (int x = 0; x < map.width; ++x) {
            const char c = rows[y][x].toLatin1();
            if (c == 'S' || c == 's')
                map.start = {x, y};
            if (c == 'E' || c == 'e')
                map.end = {x, y};
            map.at(x, y) = brightnessOf(c);
        }
    }
    return map;
}

// The route's window drawn as rows, '#' on path pixels; none when there is no path.
QStringList pathRows(const WireRoute &route)
{
    QStringList rows;
    for (int y = 0; y < route.height && !route.path.empty(); ++y) {
        QString row;
        for (int x = 0; x < route.width; ++x)
            row += route.path[std::size_t(y) * route.width + x] ? '#' : '.';
        rows << row;
    }
    return rows;
}

// Most path pixels at one Chebyshev distance from the start: the widest walk-back level when
// every pixel is passable.
int widestLevel(const WireRoute &route, Point start)
{
    std::map<int, int> counts;
    for (int y = 0; y < route.height; ++y)
        for (int x = 0; x < route.width; ++x)
            if (route.path[std::size_t(y) * route.width + x])
                ++counts[std::max(
                    std::abs(route.x0 + x - start.x), std::abs(route.y0 + y - start.y))];
    int widest = 0;
    for (const auto &[distance, count] : counts)
        widest = std::max(widest, count);
    return widest;
}

} // namespace

class TestSmartTrace : public QObject
{
    Q_OBJECT

private slots:
    void cursorPointIsClampedCentre_data();
    void cursorPointIsClampedCentre();
    void darkWireLimitRisesByOne();
    void brightnessDecidesTheRoute_data();
    void brightnessDecidesTheRoute();
    void windowIsClippedToThePhoto_data();
    void windowIsClippedToThePhoto();
    void walkBackCapsLevelWidth_data();
    void walkBackCapsLevelWidth();
    void distanceGate_data();
    void distanceGate();
    void startOnEndIsAnEmptyRoute();
    void matchesLiteralReference();
};

void TestSmartTrace::cursorPointIsClampedCentre_data()
{
    QTest::addColumn<QList<int>>("edges"); // left, top, right, bottom
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::newRow("null rectangle") << QList<int> {0, 0, -1, -1} << 0 << 0;
    QTest::newRow("centre minus 10") << QList<int> {15, 25, 24, 34} << 9 << 19;
    QTest::newRow("odd sum rounds down") << QList<int> {20, 21, 31, 32} << 15 << 16;
    QTest::newRow("empty square keeps its centre") << QList<int> {60, 61, 59, 60} << 49 << 50;
    QTest::newRow("negative centre clamps to 0") << QList<int> {-7, -30, 2, 8} << 0 << 0;
    QTest::newRow("right and bottom clamp") << QList<int> {300, 200, 309, 209} << 99 << 79;
}

void TestSmartTrace::cursorPointIsClampedCentre()
{
    QFETCH(QList<int>, edges);
    QFETCH(int, x);
    QFETCH(int, y);
    QCOMPARE(cursorPoint(edges[0], edges[1], edges[2], edges[3], 100, 80), (Point {x, y}));
}

void TestSmartTrace::darkWireLimitRisesByOne()
{
    const BrightnessMap map = mapFromRows({"..........", //
        ".S####E...", //
        ".......##.", //
        "........#."});
    const WireRoute route = map.trace();
    QCOMPARE(route.outcome, Outcome::Found);
    QCOMPARE(route.limit, 21);
    QCOMPARE(pathRows(route),
        QStringList({"..........", //
            ".#####....", //
            "..........", //
            ".........."}));
}

void TestSmartTrace::brightnessDecidesTheRoute_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QStringList>("path");
    QTest::newRow("gap 120 crossed at 121")
        << QStringList {"...........", "..S##o##E..", "..........."} << Outcome::Found << 121
        << QStringList {"...........", "..######...", "..........."};
    QTest::newRow("gap 210 bypassed through the sky at 201")
        << QStringList {"...........", "..S##w##E..", "..........."} << Outcome::Found << 201
        << QStringList {"...#####...", "..###.##...", "...#####..."};
    QTest::newRow("255 never crossed") << QStringList {".....X.....", "..S##X##E..", ".....X....."}
                                       << Outcome::NoRoute << 0 << QStringList {};
    QTest::newRow("bright end reached as a neighbour") << QStringList {"......", ".S##e.",
        "......"} << Outcome::Found << 21 << QStringList {"......", ".###..", "......"};
    QTest::newRow("bright start leaves along the wire") << QStringList {"......", ".s##E.",
        "......"} << Outcome::Found << 21 << QStringList {"......", ".###..", "......"};
    QTest::newRow("end point is the only way out") << QStringList {"XXXXX", "XS#EX",
        "XXX#X"} << Outcome::Found << 21 << QStringList {".....", ".##..", "....."};
}

void TestSmartTrace::brightnessDecidesTheRoute()
{
    QFETCH(QStringList, rows);
    QFETCH(Outcome, outcome);
    QFETCH(int, limit);
    QFETCH(QStringList, path);
    const WireRoute route = mapFromRows(rows).trace();
    QCOMPARE(route.outcome, outcome);
    QCOMPARE(route.limit, limit);
    QCOMPARE(pathRows(route), path);
}

void TestSmartTrace::windowIsClippedToThePhoto_data()
{
    QTest::addColumn<Point>("start");
    QTest::addColumn<Point>("end");
    QTest::addColumn<QList<int>>("window"); // x0, y0, width, height
    QTest::newRow("inside") << Point {30, 28} << Point {25, 25} << QList<int> {5, 5, 46, 44};
    QTest::newRow("left and top") << Point {3, 0} << Point {40, 0} << QList<int> {0, 0, 60, 21};
    QTest::newRow("right and bottom")
        << Point {59, 30} << Point {40, 49} << QList<int> {20, 10, 40, 40};
    QTest::newRow("corner to corner")
        << Point {0, 0} << Point {59, 49} << QList<int> {0, 0, 60, 50};
}

void TestSmartTrace::windowIsClippedToThePhoto()
{
    QFETCH(Point, start);
    QFETCH(Point, end);
    QFETCH(QList<int>, window);
    // A wire along the photo's border: top row, right column, bottom row.
    BrightnessMap map(60, 50, 200);
    for (int x = 0; x < 60; ++x)
        map.at(x, 0) = map.at(x, 49) = 20;
    for (int y = 0; y < 50; ++y)
        map.at(59, y) = 20;
    map.start = start;
    map.end = end;
    const WireRoute route = map.trace();
    QCOMPARE((QList<int> {route.x0, route.y0, route.width, route.height}), window);
    const WireRoute literal = map.traceLiterally();
    QCOMPARE(route.outcome, literal.outcome);
    QCOMPARE(route.path, literal.path);
}

void TestSmartTrace::walkBackCapsLevelWidth_data()
{
    QTest::addColumn<int>("dx");
    QTest::addColumn<int>("dy");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<int>("widest");
    QTest::newRow("300 by 0 passes, 41 rows") << 300 << 0 << Outcome::Found << 41;
    QTest::newRow("98 by 49 passes, 50 at one level") << 98 << 49 << Outcome::Found << 50;
    QTest::newRow("99 by 49 abandoned") << 99 << 49 << Outcome::Abandoned << 0;
    QTest::newRow("100 by 50 abandoned") << 100 << 50 << Outcome::Abandoned << 0;
}

void TestSmartTrace::walkBackCapsLevelWidth()
{
    QFETCH(int, dx);
    QFETCH(int, dy);
    QFETCH(Outcome, outcome);
    QFETCH(int, widest);
    BrightnessMap map(dx + 60, dy + 60, 50);
    map.start = {30, 30};
    map.end = {30 + dx, 30 + dy};
    const WireRoute route = map.trace();
    QCOMPARE(route.outcome, outcome);
    QCOMPARE(route.limit, 51);
    if (outcome == Outcome::Found)
        QCOMPARE(widestLevel(route, map.start), widest);
    const WireRoute literal = map.traceLiterally();
    QCOMPARE(route.outcome, literal.outcome);
    QCOMPARE(route.path, literal.path);
}

void TestSmartTrace::distanceGate_data()
{
    QTest::addColumn<Point>("end");
    QTest::addColumn<Outcome>("outcome");
    QTest::newRow("500 along a row traces") << Point {510, 20} << Outcome::Found;
    QTest::newRow("501 along a row is too far") << Point {511, 20} << Outcome::TooFar;
    QTest::newRow("250 + 250 traces") << Point {260, 260} << Outcome::Found;
    QTest::newRow("251 + 250 is too far") << Point {261, 260} << Outcome::TooFar;
}

void TestSmartTrace::distanceGate()
{
    QFETCH(Point, end);
    QFETCH(Outcome, outcome);
    // A wire along row 20 from (10, 20), or along the diagonal from (10, 10).
    const bool alongRow = end.y == 20;
    BrightnessMap map(530, alongRow ? 41 : 280, 200);
    for (int i = 0; i < (alongRow ? map.width : map.height); ++i)
        map.at(i, alongRow ? 20 : i) = 20;
    map.start = {10, alongRow ? 20 : 10};
    map.end = end;
    const WireRoute route = map.trace();
    QCOMPARE(route.outcome, outcome);
    if (outcome == Outcome::TooFar)
        QCOMPARE((QList<int> {route.x0, route.y0, route.width, route.height}),
            (QList<int> {0, 0, 0, 0}));
    else // every pixel from the start up to the end
        QCOMPARE(std::count(route.path.begin(), route.path.end(), 1), end.x - 10);
}

void TestSmartTrace::startOnEndIsAnEmptyRoute()
{
    for (const std::uint8_t value : {0, 20, 255}) {
        BrightnessMap map(30, 30, value);
        map.start = map.end = {29, 5};
        const WireRoute route = map.trace();
        QCOMPARE(route.outcome, Outcome::Found);
        QCOMPARE(route.limit, int(value));
        QCOMPARE((QList<int> {route.x0, route.y0, route.width, route.height}),
            (QList<int> {9, 0, 21, 26}));
        QCOMPARE(std::count(route.path.begin(), route.path.end(), 1), 0);
        QCOMPARE(route.path.size(), std::size_t(21 * 26));
    }
}

void TestSmartTrace::matchesLiteralReference()
{
    std::mt19937 random(20240611);
    auto uniform
        = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    std::map<Outcome, int> outcomes;
    for (int round = 0; round < 3000; ++round) {
        const int kind = round % 6;
        const int largest = kind >= 4 ? 180 : 70; // wide open areas give abandoned traces
        BrightnessMap map(uniform(3, largest), uniform(3, largest), 0);
        auto inside
            = [&](Point p) { return p.x >= 0 && p.x < map.width && p.y >= 0 && p.y < map.height; };
        if (kind == 0) { // noise, full range or a narrow band
            const int low = uniform(0, 255);
            const int high = uniform(low, 255);
            for (auto &b : map.pixels)
                b = std::uint8_t(uniform(low, high));
        } else if (kind == 1 || kind == 2) { // dark curves on a noisy sky, some with bright gaps
            for (auto &b : map.pixels)
                b = std::uint8_t(uniform(150, 230));
            for (int curve = uniform(1, 4); curve > 0; --curve) {
                const double y0 = uniform(0, map.height - 1), slope = uniform(-100, 100) / 100.0;
                const double amplitude = uniform(0, 8), period = uniform(5, 40);
                const int dark = uniform(0, 80), thickness = uniform(1, 2);
                for (int x = 0; x < map.width; ++x) {
                    const int y = int(
                        std::lround(y0 + slope * x + amplitude * std::sin(x / period * 6.28)));
                    for (int dy = 0; dy < thickness; ++dy)
                        if (inside({x, y + dy}))
                            map.at(x, y + dy) = std::uint8_t(
                                uniform(10, 20) == 10 ? uniform(100, 255) : dark + uniform(0, 10));
                }
            }
        } else if (kind == 3) { // walls every third row, bright or 255, with a few openings
            const int wall = uniform(0, 1) ? 255 : 190;
            for (int y = 0; y < map.height; ++y)
                for (int x = 0; x < map.width; ++x)
                    map.at(x, y)
                        = std::uint8_t(y % 3 == 2 && uniform(0, 15) ? wall : uniform(20, 40));
        } else if (kind == 5) { // an open area with scattered brighter dots
            const int background = uniform(0, 200), percent = uniform(0, 30);
            for (auto &b : map.pixels)
                b = std::uint8_t(
                    uniform(1, 100) <= percent ? uniform(background, 255) : background);
        } else { // plateaus: rectangles of a few levels
            const std::array<std::uint8_t, 5> levels {10, 60, 60, 200, 255};
            std::fill(map.pixels.begin(), map.pixels.end(), levels[uniform(0, 4)]);
            for (int block = uniform(1, 12); block > 0; --block) {
                const int x = uniform(0, map.width - 1), y = uniform(0, map.height - 1);
                const int w = uniform(1, 30), h = uniform(1, 30);
                const std::uint8_t level = levels[uniform(0, 4)];
                for (int by = y; by < std::min(y + h, map.height); ++by)
                    for (int bx = x; bx < std::min(x + w, map.width); ++bx)
                        map.at(bx, by) = level;
            }
        }
        // Points: anywhere, on the darkest pixels, on the border, or one on the other.
        auto pickPoint = [&]() -> Point {
            const int how = uniform(0, 3);
            if (how == 1) {
                for (int tries = 0; tries < 50; ++tries) {
                    const Point p {uniform(0, map.width - 1), uniform(0, map.height - 1)};
                    if (map.at(p.x, p.y) < 90)
                        return p;
                }
            }
            if (how == 2)
                return {uniform(0, 1) * (map.width - 1), uniform(0, map.height - 1)};
            return {uniform(0, map.width - 1), uniform(0, map.height - 1)};
        };
        map.start = pickPoint();
        map.end = uniform(0, 40) == 0 ? map.start : pickPoint();
        if (kind >= 4 && uniform(0, 1)) { // far apart in both directions: wide routes
            map.start = {uniform(0, map.width / 3), uniform(0, map.height / 3)};
            map.end = {map.width - 1 - uniform(0, map.width / 3),
                map.height - 1 - uniform(0, map.height / 3)};
        }

        const WireRoute route = map.trace();
        const WireRoute literal = map.traceLiterally();
        const QByteArray where = QByteArray("round ") + QByteArray::number(round);
        QVERIFY2(route.outcome == literal.outcome, where);
        QVERIFY2(route.x0 == literal.x0 && route.y0 == literal.y0 && route.width == literal.width
                && route.height == literal.height,
            where);
        QVERIFY2(route.limit == literal.limit, where);
        QVERIFY2(route.path == literal.path, where);
        ++outcomes[route.outcome];
    }
    // Every kind of outcome but TooFar (covered by distanceGate) must have come up.
    QVERIFY(outcomes[Outcome::Found] > 1000);
    QVERIFY(outcomes[Outcome::NoRoute] > 50);
    QVERIFY(outcomes[Outcome::Abandoned] > 25);
}

QTEST_APPLESS_MAIN(TestSmartTrace)
#include "tst_smarttrace.moc"
