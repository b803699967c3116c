#include <random>

#include <QTest>

#include "detectiontestimages.h"
#include "reference_detection.h"
#include "selection/tiletracing.h"

using namespace tolvane;

namespace {

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

class TestWireTracing : public QObject
{
    Q_OBJECT

private slots:
    // Masks drawn with '.' for no candidate, '#' for a candidate in no kept trace and a digit for
    // one in the kept trace of that place in the result, each row ended by '|'.
    void traces_data()
    {
        QTest::addColumn<QByteArray>("mask");
        QTest::addColumn<int>("L");
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
        QFETCH(QByteArray, mask);
        QFETCH(int, L);
        const int width = int(mask.indexOf('|')), height = int(mask.count('|'));
        std::vector<std::uint8_t> plane;
        for (const QByteArray cells = QByteArray(mask).replace("|", ""); const char c : cells)
            plane.push_back(c == '.' ? 0 : 255);
        for (const std::vector<WireTrace> &traces : traceAllWays(plane, width, height, L))
            QCOMPARE(drawTraces(traces, width, height), QByteArray(mask).replace('#', '.'));
    }

    // Random masks, with vertical runs of any length.
    void agreesWithReference()
    {
        for (int seed = 0; seed < 60; ++seed) {
            const int width = 20 + seed * 7 % 180, height = 10 + seed * 13 % 140;
            const std::vector<std::uint8_t> mask = test::randomMask(seed, width, height);
            const Plane<const std::uint8_t> plane {std::span(mask), width, height};
            QVERIFY(findComponents(plane) == reference::findComponents(mask, width, height));
            for (const int L : {1, 5, 30}) {
                // The reference's first; every way must agree with it.
                const auto ways = traceAllWays(mask, width, height, L);
                QVERIFY2(std::ranges::count(ways, ways[0]) == std::ssize(ways),
                    qPrintable(QStringLiteral("seed %1, L %2").arg(seed).arg(L)));
            }
        }
    }
};

QTEST_APPLESS_MAIN(TestWireTracing)
#include "tst_wiretracing.moc"
