#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <random>
#include <thread>

#include <QTest>

#include "datatable.h"
#include "detectionstages.h"
#include "reference_detection.h"
#include "selection/detection.h"
#include "selection/tiletracing.h"
#include "selection/workers.h"

using namespace tolvane;

namespace {

constexpr Argb black = 0xFF000000u;
constexpr Argb garbage = 0x12345678u;

using Rows = std::vector<int>;
using Bands = std::vector<std::pair<int, int>>; // first row and length, top to bottom

// A line on a white photo, from column 5: `columns` long, `thickness` rows thick from firstRow
// on in its first column and `drop` rows lower in each next one.
struct Line
{
    int columns, firstRow, thickness, T, L;
    int drop = 0;
};

// paintTraces on a view into a wider buffer of garbage: the view's pixels, or nothing unless
// exactly those were written.
std::vector<Argb> painted(const std::vector<WireTrace> &traces, int width, int height)
{
    std::vector<Argb> buffer(std::size_t(width + 1) * height, garbage);
    paintTraces(traces, Plane<Argb>(buffer.data(), width, height, width + 1));
    return std::erase(buffer, garbage) == std::size_t(height) ? buffer : std::vector<Argb>();
}

// The kept traces drawn on a blank picture, each row ended by '|': each trace's runs show its
// place in the list ('0', '1', ...); '*' marks a pixel of two traces or a run out of its column.
QByteArray drawTraces(const std::vector<WireTrace> &traces, int width, int height)
{
    QByteArray picture = QByteArray(width, '.').append('|').repeated(height);
    for (std::size_t k = 0; k < traces.size(); ++k) {
        for (std::size_t i = 0; i < traces[k].size(); ++i) {
            const ColumnRun &run = traces[k][i];
            for (int y = run.y; y < run.y + run.length; ++y) {
                char &c = picture[y * (width + 1) + run.x];
                c = c == '.' && run.x == traces[k][0].x + int(i) ? char('0' + k) : '*';
            }
        }
    }
    return picture;
}

// Traced tile by tile as the detection does, in tiles 1 to 40 columns wide.
std::vector<WireTrace> traceInTiles(const CandidateMask &candidates, int lengthThreshold)
{
    std::mt19937 random(candidates.width);
    std::vector<std::vector<OrderedTrace>> tileKept;
    std::vector<BandColumns> tileOpen;
    TileTracer tracer;
    for (int x0 = 0, tileWidth = 0; x0 < candidates.width; x0 += tileWidth) {
        tileWidth = std::min(candidates.width - x0, 1 + int(random() % 40));
        ColumnBits bits;
        bits.reset(x0, tileWidth, candidates.height);
        for (int b = candidates.columnBegin(x0); b < candidates.columnBegin(x0 + tileWidth); ++b)
            bits.setRun(
                candidates.bands[b].x - x0, candidates.bands[b].y, candidates.bands[b].length);
        tracer.trace(bits, x0 > 0, x0 + tileWidth < candidates.width, lengthThreshold,
            tileKept.emplace_back(), tileOpen.emplace_back());
    }
    return joinTileTraces(tileKept, tileOpen, lengthThreshold);
}

struct Random
{
    std::mt19937 engine;
    int operator()(int a, int b) { return std::uniform_int_distribution(a, b)(engine); }
    double operator()(double a, double b) { return std::uniform_real_distribution(a, b)(engine); }
};

// Covers the part c of pixel p with ink of the colour (red, green, blue), keeping p's alpha.
Argb cover(Argb p, double c, double red, double green, double blue)
{
    auto mix = [&](int shift, double ink) {
        return Argb(std::clamp(std::lround((p >> shift & 0xFF) * (1 - c) + ink * c), 0L, 255L));
    };
    return (p & 0xFF000000u) | mix(16, red) << 16 | mix(8, green) << 8 | mix(0, blue);
}

// Dark wires (straight, sloped, steep, sagging, forking, 1 to 4 pixels thick, anti-aliased or
// not, some pale, some near the first or last row) over white, a sky, a noisy sky or a sky
// above a brick wall, with random alpha, drawn into `photo`. The same seed always gives the
// same photo.
void drawWirePhoto(std::uint32_t seed, Plane<Argb> photo)
{
    Random random {std::mt19937(seed)};
    const int width = photo.width, height = photo.height;
    const int background = random(0, 3);
    const int noise = background == 2 ? 40 : random(0, background ? 6 : 0);
    // White, a sky, a noisy sky or a sky above a brick wall; random alpha.
    for (int i = 0; i < width * height; ++i) {
        const int x = i % width, y = i / width;
        const int sky = 130 + 100 * y / height, n = random(-noise, noise);
        const int brick = 100 + (x / 9 + y / 5 % 2) % 3 * 25 - (y % 5 ? 0 : 40);
        const int level = background == 0 ? 255 : background == 3 && 2 * y >= height ? brick : sky;
        photo.at(x, y) = cover(random(0, 255) << 24, 1, level + n, level + 20 + n, level + 40 + n);
    }
    double x0 = 0, y0 = 0;
    for (int line = 0, lines = random(1, 7); line < lines; ++line) {
        // A quarter of the lines fork from the previous line's start; some lines start near the
        // first or the last row.
        if (line == 0 || random(0, 3)) {
            x0 = random(-width / 4, width / 2);
            y0 = random(0, 2) ? random(0.0, double(height)) : random(0, 1) * height + random(-3, 3);
        }
        const double x1 = x0 + 5 + random(0, width);
        const int shape = random(0, 3);
        const double slope = shape == 0 ? 0 : shape == 1 ? random(-1.0, 1.0) : random(-4.5, 4.5);
        const double sag = shape == 3 ? random(0.0, 160 / std::max(1.0, (x1 - x0) * (x1 - x0))) : 0;
        // The rows it covers in a column: its thickness, 1 to 4 pixels, and its slope.
        const double extent = (random(0, 2) ? random(1, 4) : random(0.6, 4.5)) + std::abs(slope);
        const int darkest = random(0, 3) ? random(0, 120) : random(160, 200), smooth = random(0, 1);
        for (int x = std::max(0, int(x0)); x <= std::min(width - 1, int(x1)); ++x) {
            const double top = y0 + slope * (x - x0) + sag * (x - x0) * (x1 - x) - extent / 2;
            const double end = top + extent;
            for (int y = std::max(0, int(top)); y < std::min(height, int(end) + 2); ++y) {
                const double part = std::max(0.0, std::min(end, y + 1.0) - std::max(top, y + 0.0));
                Argb &p = photo.at(x, y);
                p = cover(p, smooth ? part : part >= 0.5, darkest + 30, darkest + 10, darkest);
            }
        }
    }
}

// The traces of a 0/255 mask by the reference, then by every tracing path; all must agree.
std::vector<std::vector<WireTrace>> traceAllWays(
    const std::vector<std::uint8_t> &mask, int width, int height, int lengthThreshold)
{
    const Plane<const std::uint8_t> plane {std::span(mask), width, height};
    const std::vector<Component> components = reference::findComponents(mask, width, height);
    return {reference::buildTraces(components, width, lengthThreshold),
        buildTraces(findComponents(plane), width, lengthThreshold),
        traceCandidates(candidatesFromPlane(plane), lengthThreshold),
        traceInTiles(candidatesFromPlane(plane), lengthThreshold)};
}

} // namespace

class TestDetection : public QObject
{
    Q_OBJECT

private slots:
    void bandScanRules_data()
    {
        addColumns<Rows, Rows, int, Bands>(); // brightness, minimum, T, expected
        // Rows 1 and 2 both drop by 50: row 1 is a peak despite the tie, the lower edge is row 4
        // (n = 3), and the upper edge moves down to row 2, the lower of the tied rows.
        const Rows tied {255, 255, 205, 155, 155, 255, 255, 255, 255};
        QTest::newRow("tied drops: peak passes, lower row is the upper edge")
            << tied << Rows {255, 255, 100, 100, 100, 255, 255, 255, 255} << 4 << Bands {{3, 2}};
        // Band mean (150 + 150) / n = 100 with n = 3, darker than the rows above (110); divided
        // by its 2 rows it would be 150.
        QTest::newRow("band mean divided by n")
            << tied << Rows {110, 110, 100, 150, 150, 255, 255, 255, 255} << 4 << Bands {{3, 2}};
        // Equal rises 1 and 3 rows below row 1: the nearer one ends the band.
        const Rows rises {255, 255, 0, 200, 0, 200, 200, 200, 200};
        QTest::newRow("nearest rise wins") << rises << rises << 5 << Bands {{2, 1}};
        // Row 1's band ends at row 4 and is rejected (row 0 is darker); rows 2 to 4 are not
        // tested, though row 3 would give an accepted band.
        QTest::newRow("scan resumes below the lower edge")
            << Rows {255, 255, 100, 120, 0, 255, 255, 255, 255}
            << Rows {10, 255, 100, 120, 0, 255, 255, 255, 255} << 4 << Bands {};
        // A band of row 4 alone, between the rows 2 and 5 that make its neighbour means.
        const Rows darkRow {255, 255, 255, 255, 150, 255, 255, 255, 255};
        QTest::newRow("darker than both neighbours")
            << darkRow << Rows {255, 255, 101, 255, 100, 101, 255, 255, 255} << 4 << Bands {{4, 1}};
        QTest::newRow("equal to the mean above")
            << darkRow << Rows {255, 255, 100, 255, 100, 101, 255, 255, 255} << 4 << Bands {};
        QTest::newRow("equal to the mean below")
            << darkRow << Rows {255, 255, 101, 255, 100, 100, 255, 255, 255} << 4 << Bands {};
        // Two-row bands whose neighbour means are cut short by the photo's edges: one row each.
        QTest::newRow("mean above clipped at row 0")
            << Rows {255, 255, 20, 20, 255, 255, 255} << Rows {21, 255, 20, 20, 255, 255, 255} << 4
            << Bands {{2, 2}};
        QTest::newRow("mean below clipped at the last row")
            << Rows {255, 255, 255, 255, 20, 20, 255} << Rows {255, 255, 255, 255, 20, 20, 21} << 4
            << Bands {{4, 2}};
        const Rows pale {255, 255, 255, 200, 200, 255, 255, 255, 255};
        QTest::newRow("first dark row's minimum 179")
            << pale << Rows {255, 255, 255, 179, 179, 255, 255, 255, 255} << 4 << Bands {{3, 2}};
        QTest::newRow("first dark row's minimum 180")
            << pale << Rows {255, 255, 255, 180, 179, 255, 255, 255, 255} << 4 << Bands {};
    }

    // The column alone, scanned a column at a time, and 40 copies of it with 8 more copies of
    // its first and last rows, scanned in vectors; from the photo, from the planes and by the
    // reference.
    void bandScanRules()
    {
        const auto [brightness, minimum, T, expected] = fetchRow<Rows, Rows, int, Bands>();
        for (const int padding : {0, 8}) {
            const int columns = padding ? 40 : 1;
            PlaneBuffer<Argb> photo(columns, int(brightness.size()) + 2 * padding);
            for (int y = 0; y < photo.height(); ++y) {
                const int r = std::clamp(y - padding, 0, int(brightness.size()) - 1);
                std::fill_n(photo.view().rowData(y), columns,
                    0xFF000000u | Argb(brightness[r]) << 16 | Argb(minimum[r]) * 0x101);
            }
            std::vector<ColumnRun> bands;
            for (int x = 0; x < columns; ++x) {
                for (const auto &[y, length] : expected)
                    bands.push_back({x, y + padding, length});
            }
            std::vector<std::uint8_t> mask = reference::candidateMask(photo.view(), T);
            for (const CandidateMask &candidates :
                {scanBands(photo.view(), T), scanBands(computeDetectionPlanes(photo.view()), T),
                    candidatesFromPlane(
                        Plane<const std::uint8_t>(std::span(mask), columns, photo.height()))})
                QVERIFY(candidates.bands == bands);
        }
    }

    void linesOnWhite_data()
    {
        addColumns<Line, bool>(); // line, found
        // Found when longer than L columns, also beyond 255 columns within one tile of columns
        // and across tiles.
        for (const auto &[columns, L] :
            {std::pair(30, 30), {31, 30}, {300, 300}, {301, 300}, {999, 999}, {1000, 999}}) {
            QTest::addRow("%d columns, L %d %s", columns, L, columns > L ? "found" : "missed")
                << Line {columns, 10, 2, 4, L} << (columns > L);
        }
        // Found when thinner than T rows.
        for (auto [T, rows] : {std::pair(4, 1), {4, 3}, {4, 4}, {5, 4}, {2, 1}, {2, 2}, {1, 1}}) {
            QTest::addRow("T %d, %d rows %s", T, rows, rows < T ? "found" : "missed")
                << Line {40, 10, rows, T, 30} << (rows < T);
        }
        // Missed on rows 0 and 1 and when ending on the last row, H - 1 = 19.
        for (const int row : {0, 1, 2, 17, 18}) {
            QTest::addRow("rows %d-%d %s", row, row + 1, row > 1 && row < 18 ? "found" : "missed")
                << Line {40, row, 2, 4, 30} << (row > 1 && row < 18);
        }
        // One pixel wide: it covers `drop` rows of each column and continues at a corner.
        for (const int drop : {1, 2, 3, 4}) {
            QTest::addRow("slope %d %s", drop, drop < 4 ? "found" : "missed")
                << Line {60, 4, drop, 4, 30, drop} << (drop < 4);
        }
    }

    // On a photo 20 rows high for a horizontal line: exactly the line's pixels, as one trace,
    // or nothing.
    void linesOnWhite()
    {
        const auto [line, found] = fetchRow<Line, bool>();
        const int width = line.columns + 10, height = 20 + line.columns * line.drop;
        PlaneBuffer<Argb> photo(width, height);
        std::fill_n(photo.data(), photo.pixelCount(), 0xFFFFFFFFu);
        std::vector<Argb> expected(photo.pixelCount(), 0);
        for (int i = 0; i < line.columns; ++i) {
            for (int y = line.firstRow + i * line.drop;
                 y < line.firstRow + i * line.drop + line.thickness; ++y) {
                photo.view().at(5 + i, y) = black;
                expected[y * width + 5 + i] = found ? detectionMark : 0;
            }
        }
        const std::vector<WireTrace> traces = detectWires(photo.view(), line.T, line.L);
        QCOMPARE(traces.size(), std::size_t(found));
        QVERIFY(painted(traces, width, height) == expected);
    }

    void agreesWithReference_data()
    {
        addColumns<int, int, int>(); // width, height, photos
        // 1100 columns make several tiles, wires and noise crossing their edges; 1100x300 is
        // enough pixels to share the work between threads.
        for (const auto &[width, height, photos] :
            {std::tuple(0, 0, 1), {20, 1, 2}, {40, 2, 2}, {60, 3, 10}, {1, 40, 10}, {7, 9, 30},
                {200, 150, 40}, {1100, 60, 20}, {1100, 300, 4}})
            QTest::addRow("%dx%d", width, height) << width << height << photos;
    }

    // Every stage, with the order of its results, on photos seen through views into wider
    // buffers.
    void agreesWithReference()
    {
        const auto [width, height, photos] = fetchRow<int, int, int>();
        for (int seed = 0; seed < photos; ++seed) {
            std::vector<Argb> buffer(std::size_t(width + 3) * height, black);
            const Plane<Argb> photo(buffer.data(), width, height, width + 3);
            drawWirePhoto(seed * 7919 + width, photo);
            for (const int T : {1, 2, 3, 4, 5, 12, 16, 17}) {
                const QByteArray where = QString::asprintf("seed %d, T %d", seed, T).toLatin1();
                const auto expectedMask = reference::candidateMask(photo, T);
                const CandidateMask candidates = scanBands(photo, T);
                QVERIFY(scanBands(computeDetectionPlanes(photo), T).bands == candidates.bands);
                PlaneBuffer<std::uint8_t> mask(width, height);
                paintCandidates(candidates, mask.view());
                QVERIFY2(std::equal(expectedMask.begin(), expectedMask.end(), mask.data()), where);
                // Bands 1 to T - 1 rows thick, never on rows 0, 1 or H - 1.
                for (const ColumnRun &band : candidates.bands)
                    QVERIFY(band.length < T && band.y >= 2 && band.y + band.length <= height - 1);
                QVERIFY2(findComponents(candidates)
                        == reference::findComponents(expectedMask, width, height),
                    where);
                for (const int L : {1, 5, 30}) {
                    // The reference's first; every way must agree with it.
                    auto ways = traceAllWays(expectedMask, width, height, L);
                    ways.push_back(traceCandidates(candidates, L));
                    ways.push_back(detectWires(photo, T, L));
                    QVERIFY2(std::ranges::count(ways, ways[0]) == std::ssize(ways), where);
                    QVERIFY(painted(ways.back(), width, height)
                        == reference::paintedMask(ways[0], width, height));
                }
            }
        }
    }

    // Progress counts every tile of columns and the joining of them, and changes nothing.
    void progressCountsEveryTile()
    {
        const int width = 3 * 1024 + 5;
        PlaneBuffer<Argb> photo(width, 40);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < width; ++x)
                photo.view().at(x, y) = y == 20 || (x / 7 + y) % 11 == 0 ? 0xFF202020 : 0xFFE0E0E0;
        Progress progress;
        const std::vector<WireTrace> traces = detectWires(photo.view(), 4, 30, &progress);
        QCOMPARE(progress.total.load(), TileBandScanner::tileCount(width) + 1);
        QCOMPARE(progress.done.load(), progress.total.load());
        QCOMPARE(progress.fraction(), 1.0);
        QVERIFY(traces == detectWires(photo.view(), 4, 30));
        QVERIFY(!traces.empty());
    }

    // An allocation that fails on a helper thread reaches the caller, after every thread has
    // stopped, instead of ending the program.
    void helperExceptionReachesCaller()
    {
        ThreadBudget::setCapacity(2);
        const auto restore = qScopeGuard([] { ThreadBudget::setCapacity(0); });
        const std::thread::id caller = std::this_thread::get_id();
        QVERIFY_THROWS_EXCEPTION(std::bad_alloc, runOnThreads(2, [caller] {
            if (std::this_thread::get_id() != caller)
                throw std::bad_alloc();
        }));
    }

    // Parallel stages inside parallel work (detection inside a batch of photos) never run more
    // threads at once than the budget has places, and places that outer work gives back are
    // taken up by the stages after it.
    void threadBudgetBoundsNestedWork_data()
    {
        addColumns<int, int>(); // places, outer threads asked for
        for (int places : {1, 2, 4})
            for (int outer : {1, 2, 8})
                QTest::addRow("%d places, %d outer", places, outer) << places << outer;
    }
    void threadBudgetBoundsNestedWork()
    {
        const auto [places, outer] = fetchRow<int, int>();
        ThreadBudget::setCapacity(places);
        const auto restore = qScopeGuard([] { ThreadBudget::setCapacity(0); });
        std::atomic<int> running = 0, most = 0;
        thread_local int depth = 0;
        auto enter = [&] {
            if (depth++ > 0)
                return;
            const int now = ++running;
            for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) { }
        };
        auto leave = [&] { running -= --depth == 0; };
        std::atomic<int> chunks = 0;
        runOnThreads(outer, [&] {
            enter();
            forEachChunk(8, true, [&](int) {
                enter();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                ++chunks;
                leave();
            });
            leave();
        });
        QVERIFY(most <= places);
        QVERIFY(most >= 1);
        QCOMPARE(chunks.load(), 8 * std::min(outer, places));
        // Every place came back.
        QCOMPARE(ThreadBudget::take(100), places - 1);
        ThreadBudget::give(places - 1);

        // With the outer work done, a later stage gets the freed places: chunk 0 waits for a
        // second thread to join in.
        const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
        if (std::min(places, cores) < 2)
            return;
        most = 0;
        forEachChunk(8, true, [&](int chunk) {
            enter();
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (chunk == 0 && most < 2 && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            leave();
        });
        QCOMPARE(most.load(), 2);
    }

    // Masks drawn with '.' for no candidate, '#' for a candidate in no kept trace and a digit for
    // one in the kept trace of that place in the result, each row ended by '|'.
    void traces_data()
    {
        addColumns<QByteArray, int>(); // mask, L
        QTest::newRow("no candidates") << QByteArray("........|........|") << 1;
        QTest::newRow("6 columns: dx 5 drops") << QByteArray("######|") << 1;
        QTest::newRow("7 columns: dx 6 keeps") << QByteArray("0000000|") << 1;
        QTest::newRow("dx 5, dy 3 drops") << QByteArray("#.....|.#....|..#...|...###|") << 1;
        QTest::newRow("diagonal, dx 5, dy 4: corners connect")
            << QByteArray("0.....|.0....|..0...|...0..|....00|") << 1;
        QTest::newRow("40 runs, L 39 keeps") << QByteArray(40, '0').append('|').repeated(2) << 39;
        QTest::newRow("40 runs, L 40 drops") << QByteArray(40, '#').append('|').repeated(2) << 40;
        QTest::newRow("runs reach the box's bottom row")
            << QByteArray("000.........|000000......|...000000...|......000000|.........000|") << 1;
        QTest::newRow("fork: upper branch continues, lower one starts a trace")
            << QByteArray(".....00000|....0.....|0000......|....1.....|.....11111|") << 5;
        QTest::newRow("fork: lower branch too short")
            << QByteArray(".....00000|....0.....|0000......|....#.....|.....#####|") << 6;
        // The run of column 2 touches the last runs of both traces and joins the earlier one.
        QTest::newRow("merging run joins the earliest trace")
            << QByteArray(".#.|..0|..0|..0|..0|..0|..0|..0|0.0|.0.|") << 2;
        QTest::newRow("overlapping boxes traced separately")
            << QByteArray("0...........0|0..1111111..0|0...........0|0000000000000|") << 5;
    }

    void traces()
    {
        const auto [mask, L] = fetchRow<QByteArray, int>();
        const int width = int(mask.indexOf('|')), height = int(mask.count('|'));
        std::vector<std::uint8_t> plane;
        for (const QByteArray cells = QByteArray(mask).replace("|", ""); const char c : cells)
            plane.push_back(c == '.' ? 0 : 255);
        for (const std::vector<WireTrace> &traces : traceAllWays(plane, width, height, L))
            QCOMPARE(drawTraces(traces, width, height), QByteArray(mask).replace('#', '.'));
    }
};

QTEST_APPLESS_MAIN(TestDetection)
#include "tst_detection.moc"
