#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "selection/smarttrace.h"

using namespace tolvane;

namespace {

struct Scene
{
    std::vector<std::uint8_t> brightness;
    int width = 0;
    int height = 0;
    Point start;
    Point end;

    Scene(int w, int h)
        : brightness(std::size_t(w) * h)
        , width(w)
        , height(h)
    { }
    std::uint8_t &at(int x, int y) { return brightness[std::size_t(y) * width + x]; }
    Plane<const std::uint8_t> plane() const
    {
        return Plane<const std::uint8_t>(brightness.data(), width, height, width);
    }
};

void fillNoise(Scene &scene, int low, int high, std::mt19937 &random)
{
    std::uniform_int_distribution<int> noise(low, high);
    for (auto &b : scene.brightness)
        b = std::uint8_t(noise(random));
}

// A sagging wire two pixels thick on a noisy sky of a 1024x768 photo; the points lie 400 apart
// on it.
Scene wireOnSky()
{
    std::mt19937 random(1);
    Scene scene(1024, 768);
    fillNoise(scene, 150, 230, random);
    std::uniform_int_distribution<int> dark(30, 60);
    auto wireY = [](int x) { return int(std::lround(380 + 0.05 * x + 25 * std::sin(x / 130.0))); };
    for (int x = 0; x < scene.width; ++x)
        scene.at(x, wireY(x)) = scene.at(x, wireY(x) + 1) = std::uint8_t(dark(random));
    scene.start = {300, wireY(300)};
    scene.end = {700, wireY(700)};
    return scene;
}

// Points 250 apart in x and y (a 291x291 window) on dark noise, split by a band of 245 to 250:
// the route exists only at a limit near 250, after the dark side has been searched completely.
Scene routeAtHighLimit()
{
    std::mt19937 random(2);
    Scene scene(400, 400);
    fillNoise(scene, 10, 40, random);
    std::uniform_int_distribution<int> bright(245, 250);
    for (int y = 0; y < scene.height; ++y)
        for (int x = 0; x < scene.width; ++x)
            if (x + y >= 385 && x + y <= 395)
                scene.at(x, y) = std::uint8_t(bright(random));
    scene.start = {70, 70};
    scene.end = {320, 320};
    return scene;
}

// The same window over a maze of one-pixel corridors: the route winds through most of it.
Scene maze()
{
    std::mt19937 random(3);
    Scene scene(400, 400);
    std::fill(scene.brightness.begin(), scene.brightness.end(), 200);
    std::vector<Point> stack {{70, 70}};
    scene.at(70, 70) = 30;
    while (!stack.empty()) {
        const Point p = stack.back();
        std::vector<Point> options;
        for (const Point d : {Point {2, 0}, Point {-2, 0}, Point {0, 2}, Point {0, -2}}) {
            const Point n {p.x + d.x, p.y + d.y};
            if (n.x >= 50 && n.x <= 340 && n.y >= 50 && n.y <= 340 && scene.at(n.x, n.y) == 200)
                options.push_back(d);
        }
        if (options.empty()) {
            stack.pop_back();
            continue;
        }
        const Point d
            = options[std::uniform_int_distribution<int>(0, int(options.size()) - 1)(random)];
        scene.at(p.x + d.x / 2, p.y + d.y / 2) = scene.at(p.x + d.x, p.y + d.y) = 30;
        stack.push_back({p.x + d.x, p.y + d.y});
    }
    scene.start = {70, 70};
    scene.end = {320, 320};
    return scene;
}

// Evenly dark between points 250 and 180 apart: the search floods the 291x221 window and the
// walk back gives up at its first wide level.
Scene openArea()
{
    Scene scene(400, 400);
    std::fill(scene.brightness.begin(), scene.brightness.end(), 40);
    scene.start = {70, 70};
    scene.end = {320, 250};
    return scene;
}

// Full-range noise between points 250 apart in x and y: the limit rises to where the dark
// pixels first link up, with wide searches at every step.
Scene noise()
{
    std::mt19937 random(5);
    Scene scene(400, 400);
    fillNoise(scene, 0, 255, random);
    scene.start = {70, 70};
    scene.end = {320, 320};
    scene.at(70, 70) = scene.at(320, 320) = 0;
    return scene;
}

// A dark band 45 pixels wide winding through the 291x291 window between walls of 255: the
// search, and the walk back, cover most of the window.
Scene windingBand()
{
    Scene scene(400, 400);
    std::fill(scene.brightness.begin(), scene.brightness.end(), 20);
    // Walls every 47 rows from x = 50 to 340, open alternately at the right and the left end.
    for (int i = 0, y = 97; y < 340; ++i, y += 47)
        for (int x = 50; x <= 340; ++x)
            for (int w = 0; w < 2; ++w)
                if (i % 2 == 0 ? x < 300 : x > 90)
                    scene.at(x, y + w) = 255;
    scene.start = {70, 70};
    scene.end = {320, 320};
    return scene;
}

void runTrace(benchmark::State &state, const Scene &scene)
{
    for (auto _ : state) {
        WireRoute route = traceWire(scene.plane(), scene.start, scene.end);
        benchmark::DoNotOptimize(route);
    }
    const WireRoute route = traceWire(scene.plane(), scene.start, scene.end);
    state.counters["limit"] = route.limit;
    state.counters["found"] = route.outcome == WireRoute::Outcome::Found;
    state.counters["pathPixels"] = double(std::count(route.path.begin(), route.path.end(), 1));
}

} // namespace

BENCHMARK_CAPTURE(runTrace, wireOnSky, wireOnSky())->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(runTrace, routeAtHighLimit, routeAtHighLimit())->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(runTrace, maze, maze())->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(runTrace, openArea, openArea())->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(runTrace, noise, noise())->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(runTrace, windingBand, windingBand())->Unit(benchmark::kMicrosecond);
