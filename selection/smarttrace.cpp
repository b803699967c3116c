#include "selection/smarttrace.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdlib>

namespace tolvane {

namespace {

// The search window with a one-pixel frame of brightness 255 around it. Neighbour visits index
// the padded arrays directly, with no bounds tests: 255 is never passable (limits stop at 255),
// so the frame is never entered.
struct PaddedWindow
{
    int x0 = 0;
    int y0 = 0;
    int width = 0;
    int height = 0;
    int stride = 0;
    std::vector<std::uint8_t> brightness;

    int index(Point p) const { return (p.y - y0 + 1) * stride + (p.x - x0 + 1); }
    // Index into a tightly packed window-sized plane.
    int windowIndex(int paddedIndex) const
    {
        return (paddedIndex / stride - 1) * width + (paddedIndex % stride - 1);
    }
};

PaddedWindow copyWindow(Plane<const std::uint8_t> brightness, int x0, int y0, int x1, int y1)
{
    PaddedWindow window;
    window.x0 = x0;
    window.y0 = y0;
    window.width = x1 - x0 + 1;
    window.height = y1 - y0 + 1;
    window.stride = window.width + 2;
    window.brightness.assign(std::size_t(window.stride) * std::size_t(window.height + 2), 255);
    for (int y = 0; y < window.height; ++y)
        std::copy_n(brightness.rowData(y0 + y) + x0, window.width,
            window.brightness.begin() + (y + 1) * window.stride + 1);
    return window;
}

// The 3x3 neighbourhood, centre included, column by column and top to bottom in each column.
std::array<int, 9> neighbourOffsets(int stride)
{
    return {-stride - 1, -1, stride - 1, -stride, 0, stride, -stride + 1, 1, stride + 1};
}

// Whether window pixel p is E or one of its eight neighbours, given their padded indices. The
// index difference decides it because no window pixel lies in the frame columns.
bool touches(int p, int e, int stride)
{
    const int d = p - e;
    return unsigned(d + 1) <= 2u || unsigned(d + stride + 1) <= 2u
        || unsigned(d - stride + 1) <= 2u;
}

// The lowest limit from `firstLimit` on at which the level search from s reaches e, or 256 when
// even 255 does not. The search reaches e exactly when some route from s to e has all its inner
// pixels darker than the limit, whatever the brightness of s and e; so this takes pixels in
// order of the lowest limit that lets the search reach them (one bucket per brightness) and
// stops when one touches e. One pass, where searching again for every limit took 420 ms on a
// 291x291 window with the route at limit 251 (2-core machine, -O2).
int lowestLimit(const PaddedWindow &window, int s, int e, int firstLimit)
{
    const std::array<int, 9> offsets = neighbourOffsets(window.stride);
    std::vector<std::uint8_t> seen(window.brightness.size(), 0);
    std::array<std::vector<int>, 255> waiting; // seen, too bright for the limit so far
    std::vector<int> open {s};
    seen[s] = 1;
    int limit = firstLimit;
    for (;;) {
        while (!open.empty()) {
            const int p = open.back();
            open.pop_back();
            if (touches(p, e, window.stride))
                return limit;
            for (const int offset : offsets) {
                const int n = p + offset;
                if (seen[n])
                    continue;
                seen[n] = 1;
                const int b = window.brightness[n];
                if (b < limit)
                    open.push_back(n);
                else if (b < 255)
                    waiting[b].push_back(n);
            }
        }
        int b = limit;
        while (b < 255 && waiting[b].empty())
            ++b;
        if (b == 255)
            return 256;
        limit = b + 1;
        open.swap(waiting[b]);
    }
}

// The level-by-level search at `limit`: fills `step` (padded; 0 unvisited, -1 impassable, else
// the level) and returns step(E), or 0 when E is not reached. Only the levels before E's are
// complete; the walk back reads no others.
int searchLevels(
    const PaddedWindow &window, int s, int e, int limit, std::vector<std::int32_t> &step)
{
    const std::array<int, 9> offsets = neighbourOffsets(window.stride);
    step.resize(window.brightness.size());
    std::transform(window.brightness.begin(), window.brightness.end(), step.begin(),
        [limit](std::uint8_t b) { return b < limit ? 0 : -1; });
    step[s] = 1;
    std::vector<int> current {s};
    std::vector<int> next;
    for (int k = 2; !current.empty(); ++k) {
        for (const int p : current) {
            // E is found before p's own neighbours are marked, which only ever get level k.
            if (touches(p, e, window.stride)) {
                step[e] = k; // overwrites step(S) when S is E
                return k;
            }
            for (const int offset : offsets) {
                const int n = p + offset;
                if (step[n] == 0) {
                    step[n] = k;
                    next.push_back(n);
                }
            }
        }
        current.swap(next);
        next.clear();
    }
    return 0;
}

// Marks in `path` (window-sized) every pixel of every shortest route from S up to, not
// including, E. False when a level holds more than maxRouteWidth pixels. Collected pixels get
// step -1, which no later level looks for: that is the duplicate check.
bool walkBack(const PaddedWindow &window, std::vector<std::int32_t> &step, int e, int stepE,
    std::vector<std::uint8_t> &path)
{
    const std::array<int, 9> offsets = neighbourOffsets(window.stride);
    std::vector<int> current {e};
    std::vector<int> next;
    for (int level = stepE - 1; level >= 1; --level) {
        next.clear();
        for (const int p : current) {
            for (const int offset : offsets) {
                const int n = p + offset;
                if (step[n] == level) {
                    step[n] = -1;
                    next.push_back(n);
                }
            }
        }
        if (next.size() > std::size_t(maxRouteWidth))
            return false;
        for (const int n : next)
            path[window.windowIndex(n)] = 1;
        current.swap(next);
    }
    return true;
}

} // namespace

Point cursorPoint(int left, int top, int right, int bottom, int photoWidth, int photoHeight)
{
    assert(photoWidth > 0 && photoHeight > 0);
    // C++ division truncates toward zero; 64 bits keep the sums of extreme edges exact.
    const long long x = (static_cast<long long>(left) + right) / 2 - 10;
    const long long y = (static_cast<long long>(top) + bottom) / 2 - 10;
    return {int(std::clamp<long long>(x, 0, photoWidth - 1)),
        int(std::clamp<long long>(y, 0, photoHeight - 1))};
}

WireRoute traceWire(Plane<const std::uint8_t> brightness, Point start, Point end)
{
    assert(
        start.x >= 0 && start.x < brightness.width && start.y >= 0 && start.y < brightness.height);
    assert(end.x >= 0 && end.x < brightness.width && end.y >= 0 && end.y < brightness.height);

    WireRoute route;
    if (std::abs(end.x - start.x) + std::abs(end.y - start.y) > maxTraceDistance) {
        route.outcome = WireRoute::Outcome::TooFar;
        return route;
    }

    const int x0 = std::max(std::min(start.x, end.x) - traceWindowMargin, 0);
    const int x1 = std::min(std::max(start.x, end.x) + traceWindowMargin, brightness.width - 1);
    const int y0 = std::max(std::min(start.y, end.y) - traceWindowMargin, 0);
    const int y1 = std::min(std::max(start.y, end.y) + traceWindowMargin, brightness.height - 1);
    route.x0 = x0;
    route.y0 = y0;
    route.width = x1 - x0 + 1;
    route.height = y1 - y0 + 1;

    const PaddedWindow window = copyWindow(brightness, x0, y0, x1, y1);
    const int s = window.index(start);
    const int e = window.index(end);
    const int firstLimit = std::min(brightness.at(start.x, start.y), brightness.at(end.x, end.y));
    const int limit = lowestLimit(window, s, e, firstLimit);
    if (limit > 255) {
        route.outcome = WireRoute::Outcome::NoRoute;
        return route;
    }
    route.limit = limit;

    std::vector<std::int32_t> step;
    const int stepE = searchLevels(window, s, e, limit, step);
    assert(stepE > 0);
    std::vector<std::uint8_t> path(std::size_t(route.width) * std::size_t(route.height), 0);
    if (!walkBack(window, step, e, stepE, path)) {
        route.outcome = WireRoute::Outcome::Abandoned;
        return route;
    }
    route.outcome = WireRoute::Outcome::Found;
    route.path = std::move(path);
    return route;
}

} // namespace tolvane
