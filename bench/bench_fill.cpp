#include <cmath>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "removal/columnfill.h"
#include "removal/seamlessfill.h"

using namespace tolvane;

namespace {

constexpr int width = 6000;
constexpr int height = 4000;

// A sky gradient with noise, and six wires sagging across the whole width, 1 to 4 pixels thick,
// marked the way detection marks them.
struct Scene
{
    std::vector<Argb> photo = std::vector<Argb>(std::size_t(width) * height);
    std::vector<Argb> mask = std::vector<Argb>(std::size_t(width) * height, 0u);

    Scene()
    {
        std::mt19937 random(1);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const Argb blue = Argb(std::min(255, 120 + y * 100 / height + int(random() % 16)));
                photo[std::size_t(y) * width + x]
                    = 0xFF000000u | (blue / 2) << 16 | (blue * 3 / 4) << 8 | blue;
            }
        }
        for (int wire = 0; wire < 6; ++wire) {
            const double top = 400 + wire * 450;
            const double sag = 150 + wire * 40;
            const int thickness = 1 + wire % 4;
            for (int x = 0; x < width; ++x) {
                const double t = 2.0 * x / width - 1.0;
                const int y0 = int(top + sag * (1.0 - t * t));
                for (int y = y0; y < y0 + thickness; ++y)
                    mask[std::size_t(y) * width + x] = detectionMark;
            }
        }
    }
};

const Scene &scene()
{
    static const Scene instance;
    return instance;
}

void clearWires24MP(benchmark::State &state)
{
    const Scene &s = scene();
    std::vector<Argb> result(s.photo.size());
    const Plane<const Argb> photo(s.photo, width, height);
    const Plane<const Argb> mask(s.mask, width, height);
    for (auto _ : state) {
        clearWires(photo, mask, int(state.range(0)), Plane<Argb>(result, width, height));
        benchmark::DoNotOptimize(result.data());
        benchmark::ClobberMemory();
    }
}

// The same sky with 1 % of its pixels marked: eight sagging wires 3 to 6 pixels thick and two
// near-vertical ones 4 pixels thick.
struct MarkedScene
{
    std::vector<Argb> mask = std::vector<Argb>(std::size_t(width) * height, 0u);
    std::size_t markedCount = 0;

    MarkedScene()
    {
        auto mark = [&](int x, int y) {
            Argb &m = mask[std::size_t(y) * width + x];
            markedCount += m == 0;
            m = detectionMark;
        };
        for (int wire = 0; wire < 8; ++wire) {
            const double top = 300 + wire * 420;
            const double sag = 120 + wire * 30;
            const int thickness = 3 + wire % 4;
            for (int x = 0; x < width; ++x) {
                const double t = 2.0 * x / width - 1.0;
                const int y0 = int(top + sag * (1.0 - t * t));
                for (int y = y0; y < y0 + thickness; ++y)
                    mark(x, y);
            }
        }
        for (int wire = 0; wire < 2; ++wire) {
            for (int y = 0; y < height; ++y) {
                const int x0 = 1500 + wire * 3000 + y / 8;
                for (int x = x0; x < x0 + 4; ++x)
                    mark(x, y);
            }
        }
    }
};

void seamlessFill24MP(benchmark::State &state)
{
    const Scene &s = scene();
    static const MarkedScene marks;
    std::vector<Argb> result(s.photo.size());
    const Plane<const Argb> photo(s.photo, width, height);
    const Plane<const Argb> mask(marks.mask, width, height);
    for (auto _ : state) {
        seamlessFill(photo, mask, Plane<Argb>(result, width, height));
        benchmark::DoNotOptimize(result.data());
        benchmark::ClobberMemory();
    }
    state.counters["marked %"] = 100.0 * double(marks.markedCount) / double(s.photo.size());
}

} // namespace

BENCHMARK(clearWires24MP)->Arg(0)->Arg(10)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(seamlessFill24MP)->Unit(benchmark::kMillisecond)->UseRealTime();
