#include <algorithm>
#include <array>
#include <random>

#include <QStringList>
#include <QTest>

#include "selection/smarttrace.h"
#include "smarttracereference.h"

using namespace tolvane;
using Outcome = WireRoute::Outcome;

Q_DECLARE_METATYPE(WireRoute::Outcome)

namespace {

struct BrightnessMap
{
    int width, height;
    std::vector<std::uint8_t> pixels = std::vector<std::uint8_t>(std::size_t(width) * height);
    Point start {}, end {};

    std::uint8_t &at(int x, int y) { return pixels[std::size_t(y) * width + x]; }
    WireRoute trace() const { return traceWire({pixels, width, height}, start, end); }
};

// Whether the literal reference traces the same route, field for field.
bool agreesWithReference(const WireRoute &route, const BrightnessMap &map)
{
    const WireRoute r
        = reference::traceWireLiterally(map.pixels, map.width, map.height, map.start, map.end);
    return route.outcome == r.outcome && route.x0 == r.x0 && route.y0 == r.y0
        && route.width == r.width && route.height == r.height && route.limit == r.limit
        && route.path == r.path;
}

// Rows separated by spaces. '.' sky 200, '#' wire 20, 'o' 120, 'w' 210, 'X' 255; 'S' and 'E'
// are wire pixels marking the points, 's' and 'e' points of brightness 250, '@' both points on
// one pixel of brightness 255.
BrightnessMap mapFromRows(const QString &drawing)
{
    const QStringList rows = drawing.split(' ');
    BrightnessMap map {int(rows.first().size()), int(rows.size())};
    for (int i = 0; i < map.width * map.height; ++i) {
        const Point p {i % map.width, i / map.width};
        const QChar c = rows[p.y][p.x];
        if (QString("Ss@").contains(c))
            map.start = p;
        if (QString("Ee@").contains(c))
            map.end = p;
        const qsizetype symbol = QString(".#SEowXse@").indexOf(c);
        map.pixels[i] = std::array {200, 20, 20, 20, 120, 210, 255, 250, 250, 255}[symbol];
    }
    return map;
}

// The route's window drawn like a map, '#' on path pixels; empty when there is no path.
QString pathRows(const WireRoute &route)
{
    QString drawing;
    for (std::size_t i = 0; i < route.path.size(); ++i)
        drawing += (i > 0 && i % route.width == 0 ? " " : "") + QString(route.path[i] ? "#" : ".");
    return drawing;
}

} // namespace

class TestSmartTrace : public QObject
{
    Q_OBJECT

private slots:
    void cursorPointIsClampedCentre_data();
    void cursorPointIsClampedCentre();
    void drawnMaps_data();
    void drawnMaps();
    void openAreas_data();
    void openAreas();
    void matchesLiteralReference();
};

void TestSmartTrace::cursorPointIsClampedCentre_data()
{
    QTest::addColumn<QList<int>>("edges"); // left, top, right, bottom
    QTest::addColumn<Point>("point");
    QTest::newRow("null rectangle") << QList<int> {0, 0, -1, -1} << Point {0, 0};
    QTest::newRow("centre minus 10") << QList<int> {15, 25, 24, 34} << Point {9, 19};
    QTest::newRow("odd sum rounds down") << QList<int> {20, 21, 31, 32} << Point {15, 16};
    QTest::newRow("empty square keeps its centre") << QList<int> {60, 61, 59, 60} << Point {49, 50};
    QTest::newRow("negative centre clamps to 0") << QList<int> {-7, -30, 2, 8} << Point {0, 0};
    QTest::newRow("right and bottom clamp") << QList<int> {300, 200, 309, 209} << Point {99, 79};
}

void TestSmartTrace::cursorPointIsClampedCentre()
{
    QFETCH(QList<int>, edges);
    QFETCH(Point, point);
    QCOMPARE(cursorPoint(edges[0], edges[1], edges[2], edges[3], 100, 80), point);
}

void TestSmartTrace::drawnMaps_data()
{
    // The maps are smaller than the window margin: every window is the whole map. No path and
    // limit 0 mean no route for any limit.
    QTest::addColumn<QString>("map");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("path");
    QTest::newRow("uniform dark wire") << ".......... .S####E... .......##. ........#." << 21
                                       << ".......... .#####.... .......... ..........";
    QTest::newRow("brighter gap crossed at 121")
        << "........... ..S##o##E.. ..........." << 121 << "........... ..######... ...........";
    QTest::newRow("gap 210 bypassed through the sky at 201")
        << "........... ..S##w##E.. ..........." << 201 << "...#####... ..###.##... ...#####...";
    QTest::newRow("255 gap never crossed") << ".....X..... ..S##X##E.. .....X....." << 0 << "";
    QTest::newRow("bright end reached") << "...... .S##e. ......" << 21 << "...... .###.. ......";
    QTest::newRow("bright start left") << "...... .s##E. ......" << 21 << "...... .###.. ......";
    QTest::newRow("end is the only exit") << "XXXXX XS#EX XXX#X" << 21 << "..... .##.. .....";
    QTest::newRow("start == end on 255") << "XXX X@X" << 255 << "... ...";
}

void TestSmartTrace::drawnMaps()
{
    QFETCH(QString, map);
    QFETCH(int, limit);
    QFETCH(QString, path);
    const BrightnessMap brightness = mapFromRows(map);
    const WireRoute route = brightness.trace();
    QCOMPARE(route.limit, limit);
    QCOMPARE(pathRows(route), path);
    QVERIFY(agreesWithReference(route, brightness));
}

void TestSmartTrace::openAreas_data()
{
    // From (30, 30) to (30 + dx, 30 + dy) over a uniform area 30 pixels wider on every side.
    // Every pixel is passable from limit 51 on, so that every shortest route is on the path; with
    // dx >= dy, the walk-back levels are the columns of the window.
    QTest::addColumn<int>("dx");
    QTest::addColumn<int>("dy");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<int>("widest"); // the largest level, when found
    QTest::newRow("300-pixel patch passes") << 300 << 0 << Outcome::Found << 41;
    QTest::newRow("100x50 abandoned") << 100 << 50 << Outcome::Abandoned << 0;
    QTest::newRow("99x49 abandoned") << 99 << 49 << Outcome::Abandoned << 0;
    QTest::newRow("98x49 passes with 50") << 98 << 49 << Outcome::Found << 50;
    QTest::newRow("gate 500 passes") << 500 << 0 << Outcome::Found << 41;
    QTest::newRow("gate 501 fails") << 501 << 0 << Outcome::TooFar << 0;
    QTest::newRow("gate 250 + 250 passes") << 250 << 250 << Outcome::Found << 1;
    QTest::newRow("gate 251 + 250 fails") << 251 << 250 << Outcome::TooFar << 0;
}

void TestSmartTrace::openAreas()
{
    QFETCH(int, dx);
    QFETCH(int, dy);
    QFETCH(Outcome, outcome);
    QFETCH(int, widest);
    const std::vector<std::uint8_t> area(std::size_t(dx + 60) * (dy + 60), 50);
    const BrightnessMap map {dx + 60, dy + 60, area, {30, 30}, {30 + dx, 30 + dy}};
    const WireRoute route = map.trace();
    QCOMPARE(route.outcome, outcome);
    QVERIFY(agreesWithReference(route, map));
    std::vector<int> levels(route.width + 1);
    for (std::size_t i = 0; i < route.path.size(); ++i)
        levels[i % route.width] += route.path[i];
    QCOMPARE(*std::max_element(levels.begin(), levels.end()), widest);
}

void TestSmartTrace::matchesLiteralReference()
{
    std::mt19937 rng(20240611);
    auto uniform = [&](int low, int high) { return std::uniform_int_distribution(low, high)(rng); };
    int outcomes[4] = {}; // by outcome
    for (int round = 0; round < 3000; ++round) {
        // Large maps hold wide open areas, long strips points more than 500 apart.
        const int size = round % 3 == 0 ? 180 : 70;
        const bool strip = round % 12 == 5;
        BrightnessMap map = strip ? BrightnessMap {uniform(500, 600), uniform(3, 8)}
                                  : BrightnessMap {uniform(3, size), uniform(3, size)};
        // Sets the pixels of a rectangle, clipped to the map, to values from `value`.
        auto paint = [&](int x0, int y0, int w, int h, auto value) {
            for (int y = std::max(y0, 0); y < std::min(y0 + h, map.height); ++y) {
                for (int x = std::max(x0, 0); x < std::min(x0 + w, map.width); ++x)
                    map.at(x, y) = std::uint8_t(value());
            }
        };
        // Noise within a band or one level; brighter rectangles and dots, a third of them 255;
        // wandering lines, dark wires or 255 walls, with a few gaps of any brightness.
        const int low = uniform(0, 230),
                  high = size > 70 || uniform(0, 1) ? low : uniform(low, 255);
        paint(0, 0, map.width, map.height, [&] { return uniform(low, high); });
        for (int block = uniform(0, 2100 / size); block > 0; --block) {
            paint(uniform(0, map.width), uniform(0, map.height), uniform(1, 30), uniform(1, 30),
                [level = uniform(0, 2) ? uniform(low, 255) : 255] { return level; });
        }
        for (int line = uniform(0, 350 / size); line > 0; --line) {
            const int level = uniform(0, 2) ? uniform(0, low) : 255, thickness = uniform(1, 2);
            for (int x = 0, y = uniform(0, map.height); x < map.width; ++x, y += uniform(-1, 1))
                paint(x, y, 1, thickness, [&] { return uniform(0, 9) ? level : uniform(0, 255); });
        }
        // Points anywhere, on dark pixels, on the border, one on the other; on a strip at its ends.
        auto pickPoint = [&] {
            Point p {uniform(0, map.width - 1), uniform(0, map.height - 1)};
            const int how = uniform(0, 3);
            for (int tries = 0; how == 1 && map.at(p.x, p.y) >= 90 && tries < 50; ++tries)
                p = {uniform(0, map.width - 1), uniform(0, map.height - 1)};
            if (how == 2 || strip)
                p.x = uniform(0, 1) * (map.width - 1);
            if (how == 3)
                p.y = uniform(0, 1) * (map.height - 1);
            return p;
        };
        map.start = pickPoint();
        map.end = uniform(0, 40) == 0 ? map.start : pickPoint();
        const WireRoute route = map.trace();
        QVERIFY2(agreesWithReference(route, map), qPrintable(QString::number(round)));
        ++outcomes[int(route.outcome)];
    }
    for (const int count : outcomes)
        QVERIFY(count >= 25);
}

QTEST_APPLESS_MAIN(TestSmartTrace)
#include "tst_smarttrace.moc"
