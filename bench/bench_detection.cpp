#include <algorithm>
#include <cmath>
#include <random>

#include <benchmark/benchmark.h>

#include "detectionstages.h"
#include "selection/detection.h"
#include "selection/precisedetection.h"

using namespace tolvane;

namespace {

constexpr int photoWidth = 6000;
constexpr int photoHeight = 4000;

Argb rgb(int red, int green, int blue)
{
    auto clamp = [](int v) { return Argb(std::clamp(v, 0, 255)); };
    return 0xFF000000u | clamp(red) << 16 | clamp(green) << 8 | clamp(blue);
}

// A 24-megapixel street photo: a noisy sky lightening towards the horizon, five sagging
// anti-aliased dark wires 1 to 4 pixels thick, and a row of textured buildings with windows
// in the bottom quarter.
PlaneBuffer<Argb> makeStreetPhoto()
{
    const int W = photoWidth;
    const int H = photoHeight;
    PlaneBuffer<Argb> buffer(W, H);
    Plane<Argb> photo = buffer.view();
    std::mt19937 random(2024);
    auto noise = [&](int amplitude) { return int(random() % (2 * amplitude + 1)) - amplitude; };

    const int ground = H * 3 / 4;
    for (int y = 0; y < ground; ++y) {
        const double t = double(y) / ground;
        for (int x = 0; x < W; ++x) {
            const int n = noise(2);
            photo.at(x, y) = rgb(int(90 + 100 * t) + n + noise(1), int(140 + 70 * t) + n,
                int(220 + 20 * t) + n + noise(1));
        }
    }
    int x0 = 0;
    while (x0 < W) {
        const int width = 200 + int(random() % 400);
        const int top = ground - int(random() % (H / 3));
        const int base = 60 + int(random() % 120);
        for (int y = std::max(0, top); y < H; ++y) {
            for (int x = x0; x < std::min(W, x0 + width); ++x) {
                const bool window = y < ground + H / 8 && (x - x0) % 40 > 25 && (y - top) % 60 > 35;
                const int level = window ? base / 3 : base + noise(12);
                photo.at(x, y) = rgb(level + 20, level + 10, level);
            }
        }
        x0 += width;
    }

    struct Wire
    {
        double left, sag, thickness;
        int darkness;
    };
    const Wire wires[] = {{300, 500, 1.2, 40}, {420, 620, 2.0, 55}, {700, 300, 3.0, 30},
        {900, 800, 4.0, 70}, {1500, 200, 1.6, 50}};
    for (const Wire &wire : wires) {
        for (int x = 0; x < W; ++x) {
            const double t = 2.0 * x / W - 1;
            const double centre = wire.left + wire.sag * (1 - t * t);
            const double top = centre - wire.thickness / 2;
            const double bottom = centre + wire.thickness / 2;
            for (int y = int(std::floor(top)); y <= int(std::ceil(bottom)); ++y) {
                const double coverage
                    = std::clamp(std::min(bottom, y + 1.0) - std::max(top, double(y)), 0.0, 1.0);
                const Argb p = photo.at(x, y);
                auto mix = [&](int shift) {
                    return int(std::lround(
                        ((p >> shift) & 0xFF) * (1 - coverage) + wire.darkness * coverage));
                };
                photo.at(x, y) = rgb(mix(16), mix(8), mix(0));
            }
        }
    }
    return buffer;
}

const PlaneBuffer<Argb> &streetPhoto()
{
    static const PlaneBuffer<Argb> photo = makeStreetPhoto();
    return photo;
}

// The whole detection as tolvane-cli runs it, into a mask allocated once by the caller, for
// the width threshold given (length threshold 30).
void BM_DetectAndPaint(benchmark::State &state)
{
    const Plane<const Argb> photo = streetPhoto().view();
    PlaneBuffer<Argb> mask(photo.width, photo.height);
    std::fill_n(mask.data(), mask.pixelCount(), Argb(0));
    std::size_t traces = 0;
    for (auto _ : state) {
        const std::vector<WireTrace> found = detectWires(photo, int(state.range(0)), 30);
        paintTraces(found, mask.view());
        traces = found.size();
        benchmark::DoNotOptimize(mask.data());
    }
    state.counters["traces"] = double(traces);
}

// The five stages the main window runs, with their photo-sized planes and pixel lists.
void BM_FiveStages(benchmark::State &state)
{
    const Plane<const Argb> photo = streetPhoto().view();
    PlaneBuffer<Argb> mask(photo.width, photo.height);
    std::fill_n(mask.data(), mask.pixelCount(), Argb(0));
    for (auto _ : state) {
        const DetectionPlanes planes = computeDetectionPlanes(photo);
        const CandidateMask candidates = scanBands(planes, 4);
        const std::vector<Component> components = findComponents(candidates);
        const std::vector<WireTrace> traces = buildTraces(components, photo.width, 30);
        paintTraces(traces, mask.view());
        benchmark::DoNotOptimize(mask.data());
    }
}

// The band scan from the photo, collecting every band (4 million here) into a CandidateMask.
void BM_StreamingBandScan(benchmark::State &state)
{
    const Plane<const Argb> photo = streetPhoto().view();
    std::size_t bands = 0;
    for (auto _ : state)
        bands = scanBands(photo, int(state.range(0))).bands.size();
    state.counters["bands"] = double(bands);
}

void BM_TraceCandidates(benchmark::State &state)
{
    const CandidateMask candidates = scanBands(streetPhoto().view(), 4);
    for (auto _ : state)
        benchmark::DoNotOptimize(traceCandidates(candidates, 30));
}

void BM_PaintTraces(benchmark::State &state)
{
    const Plane<const Argb> photo = streetPhoto().view();
    const std::vector<WireTrace> traces = detectWires(photo, 4, 30);
    PlaneBuffer<Argb> mask(photo.width, photo.height);
    for (auto _ : state) {
        paintTraces(traces, mask.view());
        benchmark::DoNotOptimize(mask.data());
    }
}

void BM_ComputeDetectionPlanes(benchmark::State &state)
{
    const Plane<const Argb> photo = streetPhoto().view();
    for (auto _ : state)
        benchmark::DoNotOptimize(computeDetectionPlanes(photo));
}

void BM_BandScanOnPlanes(benchmark::State &state)
{
    const DetectionPlanes planes = computeDetectionPlanes(streetPhoto().view());
    for (auto _ : state)
        benchmark::DoNotOptimize(scanBands(planes, 4));
}

void BM_FindComponents(benchmark::State &state)
{
    const CandidateMask candidates = scanBands(streetPhoto().view(), 4);
    std::size_t components = 0;
    for (auto _ : state)
        components = findComponents(candidates).size();
    state.counters["components"] = double(components);
}

void BM_BuildTraces(benchmark::State &state)
{
    const CandidateMask candidates = scanBands(streetPhoto().view(), 4);
    const std::vector<Component> components = findComponents(candidates);
    for (auto _ : state)
        benchmark::DoNotOptimize(buildTraces(components, photoWidth, 30));
}

// The precise detection with its default settings (the photo searched at half scale) and, for
// comparison, at full scale.
void BM_PreciseDetection(benchmark::State &state)
{
    const Plane<const Argb> photo = streetPhoto().view();
    PlaneBuffer<std::uint8_t> marks(photo.width, photo.height);
    PreciseSettings settings;
    if (state.range(0) == 0)
        settings.fullScalePixels = photo.pixelCount();
    int wires = 0;
    for (auto _ : state) {
        wires = detectWiresPrecise(photo, settings, marks.view());
        benchmark::DoNotOptimize(marks.data());
    }
    state.counters["wires"] = double(wires);
}

} // namespace

BENCHMARK(BM_PreciseDetection)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DetectAndPaint)
    ->Arg(4)
    ->Arg(12)
    ->Arg(99)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_PaintTraces)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FiveStages)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ComputeDetectionPlanes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BandScanOnPlanes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FindComponents)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BuildTraces)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StreamingBandScan)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TraceCandidates)->Unit(benchmark::kMillisecond)->UseRealTime();
