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

constexpr Argb garbage = 0x12345678u;

// paintTraces on a view into a wider buffer of garbage: the view's pixels, or nothing unless
// exactly those were written.
std::vector<Argb> painted(const std::vector<WireTrace> &traces, int width, int height)
{
    std::vector<Argb> buffer(std::size_t(width + 1) * height, garbage);
    paintTraces(traces, Plane<Argb>(buffer.data(), width, height, width + 1));
    return std::erase(buffer, garbage) == std::size_t(height) ? buffer : std::vector<Argb>();
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

// Covers the fraction c of pixel p with ink of the colour (red, green, blue), keeping p's alpha.
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
                const double c = std::max(0.0, std::min(end, y + 1.0) - std::max(top, y + 0.0));
                Argb &p = photo.at(x, y);
                p = cover(p, smooth ? c : c >= 0.5, darkest + 30, darkest + 10, darkest);
            }
        }
    }
}

} // namespace

class TestDetection : public QObject
{
    Q_OBJECT

private slots:
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
    // buffers; the detection's progress counts every step.
    void agreesWithReference()
    {
        const auto [width, height, photos] = fetchRow<int, int, int>();
        for (int seed = 0; seed < photos; ++seed) {
            std::vector<Argb> buffer(std::size_t(width + 3) * height, 0xFF000000u);
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
                const Plane<const std::uint8_t> plane {std::span(expectedMask), width, height};
                const auto components = reference::findComponents(expectedMask, width, height);
                QVERIFY2(findComponents(candidates) == components, where);
                for (const int L : {1, 5, 30}) {
                    Progress progress;
                    // The reference's first; every way must agree with it.
                    const std::vector<std::vector<WireTrace>> ways {
                        reference::buildTraces(components, width, L),
                        buildTraces(findComponents(plane), width, L),
                        traceCandidates(candidatesFromPlane(plane), L),
                        traceInTiles(candidatesFromPlane(plane), L), traceCandidates(candidates, L),
                        detectWires(photo, T, L, &progress)};
                    QVERIFY2(std::ranges::count(ways, ways[0]) == std::ssize(ways), where);
                    // A step for every tile of columns and one for joining them.
                    QCOMPARE(progress.total.load(), TileBandScanner::tileCount(width) + 1);
                    QVERIFY(painted(ways.back(), width, height)
                        == reference::paintedMask(ways[0], width, height));
                }
            }
        }
    }

    // Parallel stages inside parallel work (detection inside a batch of photos) never run more
    // threads at once than the budget has places, and every place comes back. An allocation
    // that fails on a helper thread reaches the caller, after every thread has stopped.
    void threadBudget()
    {
        const auto restore = qScopeGuard([] { ThreadBudget::setCapacity(0); });
        for (const auto &[places, outer] : {std::pair(1, 8), {4, 8}, {4, 1}}) {
            ThreadBudget::setCapacity(places);
            std::atomic<int> running = 0, most = 0, chunks = 0;
            thread_local int depth = 0;
            // Runs `work`, counting its thread as running unless it already is.
            auto counted = [&](auto work) {
                const int now = depth++ > 0 ? 0 : ++running;
                for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) { }
                work();
                running -= --depth == 0;
            };
            runOnThreads(outer, [&] {
                counted([&] {
                    forEachChunk(8, true, [&](int) {
                        counted([&] {
                            std::this_thread::sleep_for(std::chrono::milliseconds(1));
                            ++chunks;
                        });
                    });
                });
            });
            QVERIFY(most <= places);
            QCOMPARE(chunks.load(), 8 * std::min(outer, places));
            QCOMPARE(ThreadBudget::take(100), places - 1);
            ThreadBudget::give(places - 1);
        }
        const std::thread::id caller = std::this_thread::get_id();
        QVERIFY_THROWS_EXCEPTION(std::bad_alloc, runOnThreads(2, [caller] {
            if (std::this_thread::get_id() != caller)
                throw std::bad_alloc();
        }));
    }
};

QTEST_APPLESS_MAIN(TestDetection)
#include "tst_detection.moc"
