#include <QTest>
#include <algorithm>
#include <random>

#include "detectiontestimages.h"
#include "reference_detection.h"
#include "selection/tiletracing.h"

using namespace tolvane;
using namespace tolvane::test;

namespace {

std::vector<WireTrace> tracesOf(const PlaneBuffer<std::uint8_t> &mask, int lengthThreshold)
{
    return buildTraces(findComponents(mask.view()), mask.width(), lengthThreshold);
}

// A trace of one run per column, from column x0, with the given first rows and length.
WireTrace traceOf(int x0, std::vector<int> rows, int length)
{
    WireTrace trace;
    for (const int y : rows)
        trace.push_back({x0++, y, length});
    return trace;
}

PlaneBuffer<std::uint8_t> emptyMask(int width, int height)
{
    PlaneBuffer<std::uint8_t> mask(width, height);
    std::fill_n(mask.data(), mask.pixelCount(), std::uint8_t(0));
    return mask;
}

} // namespace

class TestTraceBuilder : public QObject
{
    Q_OBJECT

private slots:
    void lengthThreshold_data();
    void lengthThreshold();
    void runsCoverDescendingBand();
    void forkUpperBranchKeepsTrace_data();
    void forkUpperBranchKeepsTrace();
    void earliestTraceTakesMergingRun();
    void overlappingBoxesStaySeparate();
    void agreesWithReference();
    void tilesAgreeWithReference();
};

void TestTraceBuilder::lengthThreshold_data()
{
    QTest::addColumn<int>("lengthThreshold");
    QTest::addColumn<bool>("kept");
    QTest::newRow("39 keeps") << 39 << true;
    QTest::newRow("40 drops") << 40 << false;
}

// A band two rows thick across 40 columns is one trace of 40 runs.
void TestTraceBuilder::lengthThreshold()
{
    QFETCH(int, lengthThreshold);
    QFETCH(bool, kept);
    PlaneBuffer<std::uint8_t> mask = emptyMask(50, 10);
    for (int x = 5; x < 45; ++x)
        mask.view().at(x, 4) = mask.view().at(x, 5) = 255;
    const std::vector<WireTrace> traces = tracesOf(mask, lengthThreshold);
    QCOMPARE(traces.size(), std::size_t(kept ? 1 : 0));
    if (kept)
        QCOMPARE(traces[0], traceOf(5, std::vector<int>(40, 4), 2));
}

// Two rows thick, one row lower every ten columns: the runs, including those reaching the
// bottom row of the box, are exactly the band's pixels.
void TestTraceBuilder::runsCoverDescendingBand()
{
    PlaneBuffer<std::uint8_t> mask = emptyMask(40, 10);
    for (int x = 0; x < 40; ++x)
        mask.view().at(x, 2 + x / 10) = mask.view().at(x, 3 + x / 10) = 255;
    const std::vector<WireTrace> traces = tracesOf(mask, 1);
    QCOMPARE(traces.size(), std::size_t(1));
    PlaneBuffer<std::uint8_t> painted = emptyMask(40, 10);
    for (const ColumnRun &run : traces[0]) {
        for (int y = run.y; y < run.y + run.length; ++y)
            painted.view().at(run.x, y) = 255;
    }
    QVERIFY(toVector(painted.view()) == toVector(mask.view()));
}

void TestTraceBuilder::forkUpperBranchKeepsTrace_data()
{
    QTest::addColumn<int>("lengthThreshold");
    QTest::addColumn<bool>("lowerKept");
    QTest::newRow("both branches long enough") << 19 << true;
    QTest::newRow("lower branch too short") << 20 << false;
}

// A line along row 10 forks at column 10: the upper branch rises, the lower one falls. The
// upper run is placed first, so it continues the trace; the lower one starts a new trace.
void TestTraceBuilder::forkUpperBranchKeepsTrace()
{
    QFETCH(int, lengthThreshold);
    QFETCH(bool, lowerKept);
    PlaneBuffer<std::uint8_t> mask = emptyMask(30, 21);
    std::vector<int> upper;
    std::vector<int> lower;
    for (int x = 0; x < 30; ++x) {
        const int up = x < 10 ? 10 : std::max(0, 9 - (x - 10) / 2);
        mask.view().at(x, up) = 255;
        upper.push_back(up);
        if (x >= 10) {
            const int down = std::min(20, 11 + (x - 10) / 2);
            mask.view().at(x, down) = 255;
            lower.push_back(down);
        }
    }
    std::vector<WireTrace> expected {traceOf(0, upper, 1)};
    if (lowerKept)
        expected.push_back(traceOf(10, lower, 1));
    QCOMPARE(tracesOf(mask, lengthThreshold), expected);
}

// Column 1 holds a run of a trace started in column 1 above a run of the trace started in
// column 0; the tall run of column 2 touches both and joins the earlier-started trace.
void TestTraceBuilder::earliestTraceTakesMergingRun()
{
    const PlaneBuffer<std::uint8_t> mask = maskFromRows({
        "...",
        "...",
        ".#.",
        "..#",
        "..#",
        "..#",
        "..#",
        "..#",
        "..#",
        "..#",
        "#.#",
        ".#.",
    });
    const std::vector<WireTrace> expected {{{0, 10, 1}, {1, 11, 1}, {2, 3, 8}}};
    QCOMPARE(tracesOf(mask, 2), expected);
}

// A U-shaped wire and a short wire inside its bounding box: each is traced alone.
void TestTraceBuilder::overlappingBoxesStaySeparate()
{
    PlaneBuffer<std::uint8_t> mask = emptyMask(31, 12);
    for (int y = 2; y <= 10; ++y)
        mask.view().at(0, y) = mask.view().at(30, y) = 255;
    for (int x = 0; x <= 30; ++x)
        mask.view().at(x, 10) = 255;
    for (int x = 10; x <= 20; ++x)
        mask.view().at(x, 6) = 255;
    WireTrace wire = traceOf(0, std::vector<int>(31, 10), 1);
    wire.front() = {0, 2, 9};
    wire.back() = {30, 2, 9};
    const std::vector<WireTrace> expected {wire, traceOf(10, std::vector<int>(11, 6), 1)};
    QCOMPARE(tracesOf(mask, 5), expected);
}

// Random masks: the trace builder from the reference's components, and the tracing straight
// from the runs, against the reference.
void TestTraceBuilder::agreesWithReference()
{
    for (int seed = 0; seed < 40; ++seed) {
        const int width = 20 + seed * 7 % 180;
        const int height = 10 + seed * 13 % 140;
        const PlaneBuffer<std::uint8_t> mask = randomMask(seed + 1000, width, height);
        const std::vector<Component> components
            = reference::findComponents(toVector(mask.view()), width, height);
        for (const int lengthThreshold : {1, 3, 12}) {
            const std::vector<WireTrace> expected
                = reference::buildTraces(components, width, lengthThreshold);
            QVERIFY(buildTraces(components, width, lengthThreshold) == expected);
            QVERIFY(traceCandidates(candidatesFromPlane(mask.view()), lengthThreshold) == expected);
        }
    }
}

// Random masks cut into tiles of random widths, traced tile by tile and joined, as the
// detection does.
void TestTraceBuilder::tilesAgreeWithReference()
{
    std::mt19937 random(5);
    for (int seed = 0; seed < 60; ++seed) {
        const int width = 40 + seed * 11 % 160;
        const int height = 20 + seed * 13 % 100;
        const PlaneBuffer<std::uint8_t> mask = randomMask(seed + 2000, width, height);
        const CandidateMask candidates = candidatesFromPlane(mask.view());
        for (const int lengthThreshold : {1, 5, 30}) {
            std::vector<std::vector<OrderedTrace>> tileKept;
            std::vector<BandColumns> tileOpen;
            TileTracer tracer;
            for (int x0 = 0; x0 < width;) {
                const int tileWidth = std::min(width - x0, 1 + int(random() % 40));
                ColumnBits bits;
                bits.reset(x0, tileWidth, height);
                for (int x = x0; x < x0 + tileWidth; ++x) {
                    for (const ColumnRun &band : candidates.column(x))
                        bits.setRun(x - x0, band.y, band.length);
                }
                tileKept.emplace_back();
                tileOpen.emplace_back();
                tracer.trace(bits, x0 > 0, x0 + tileWidth < width, lengthThreshold, tileKept.back(),
                    tileOpen.back());
                x0 += tileWidth;
            }
            const std::vector<WireTrace> expected = reference::buildTraces(
                reference::findComponents(toVector(mask.view()), width, height), width,
                lengthThreshold);
            QVERIFY(joinTileTraces(tileKept, tileOpen, lengthThreshold) == expected);
        }
    }
}

QTEST_APPLESS_MAIN(TestTraceBuilder)
#include "tst_tracebuilder.moc"
