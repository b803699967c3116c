#include "selection/smarttrace.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdlib>

namespace tolvane {

namespace {

// The search window with a one-pixel frame around it: neighbour visits index the padded
// planes directly, with no bounds tests. Padded indices are (y - y0 + 1) * stride + x - x0 + 1.
struct Window
{
    int x0 = 0;
    int y0 = 0;
    int width = 0;
    int height = 0;
    int stride = 0;

    std::size_t paddedSize() const { return std::size_t(stride) * std::size_t(height + 2); }
    int index(Point p) const { return (p.y - y0 + 1) * stride + (p.x - x0 + 1); }
    // Index into a tightly packed window-sized plane.
    int windowIndex(int paddedIndex) const
    {
        return (paddedIndex / stride - 1) * width + (paddedIndex % stride - 1);
    }
};

// Working planes, kept between traces on each thread: allocating them afresh made a typical
// 400-pixel trace a third slower, 37 against 25 us (bench_smarttrace, 2-core machine, -O2).
struct TraceBuffers
{
    std::vector<std::uint8_t> brightness; // padded window, frame 255
    std::vector<std::uint8_t> unseen; // lowestLimit's copy of `brightness`
    std::vector<std::int32_t> pixels; // lowestLimit's stack, then searchLevels' queue
    std::array<std::vector<std::int32_t>, 255> waiting; // lowestLimit's, by brightness
    std::vector<std::int32_t> step; // padded step map
    std::vector<std::int32_t> current; // walk-back sets
    std::vector<std::int32_t> next;
};

template <typename T> void ensureSize(std::vector<T> &buffer, std::size_t size)
{
    if (buffer.size() < size)
        buffer.resize(size);
}

// The 3x3 neighbourhood column by column, top to bottom in each column, without the centre:
// the centre is never new to a search, nor one level below itself in the walk back.
std::array<int, 8> neighbourOffsets(int stride)
{
    return {-stride - 1, -1, stride - 1, -stride, stride, -stride + 1, 1, stride + 1};
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
// order of the lowest limit that lets the search reach them (one waiting list per brightness)
// and stops when one touches e. The level search then runs once, at that limit: 1.5 ms in all
// on a 291x291 window whose route opens at limit 247, where searching again for every limit from
// the first took 230 ms (bench_smarttrace, 2-core machine, -O2).
int lowestLimit(const Window &window, TraceBuffers &buffers, int s, int e, int firstLimit)
{
    const std::array<int, 8> offsets = neighbourOffsets(window.stride);
    // A seen pixel reads 255, like the frame and the pixels that no limit lets through: none of
    // them is looked at again. Each pixel so enters the stack at most once.
    buffers.unseen = buffers.brightness;
    ensureSize(buffers.pixels, buffers.unseen.size());
    std::uint8_t *const unseen = buffers.unseen.data();
    std::int32_t *const open = buffers.pixels.data();
    // Seen, but too bright for the limit so far.
    std::array<std::vector<std::int32_t>, 255> &waiting = buffers.waiting;
    for (std::vector<std::int32_t> &pixels : waiting)
        pixels.clear();

    int top = 0;
    open[top++] = s;
    unseen[s] = 255;
    int limit = firstLimit;
    for (;;) {
        while (top > 0) {
            const int p = open[--top];
            if (touches(p, e, window.stride))
                return limit;
            for (const int offset : offsets) {
                const int n = p + offset;
                const int b = unseen[n];
                unseen[n] = 255;
                open[top] = n;
                top += b < limit;
                if (b >= limit && b < 255)
                    waiting[b].push_back(n);
            }
        }
        int b = limit;
        while (b < 255 && waiting[b].empty())
            ++b;
        if (b == 255)
            return 256;
        limit = b + 1;
        top = int(waiting[b].size());
        std::copy(waiting[b].begin(), waiting[b].end(), open);
    }
}

// The level-by-level search at `limit`: fills buffers.step (0 unvisited, -1 impassable, else the
// level) and returns step(E), or 0 when E is not reached. One queue keeps the levels in order.
// Only the levels before E's are complete; the walk back reads no others.
int searchLevels(const Window &window, TraceBuffers &buffers, int s, int e, int limit)
{
    const std::array<int, 8> offsets = neighbourOffsets(window.stride);
    const std::size_t size = window.paddedSize();
    ensureSize(buffers.step, size);
    ensureSize(buffers.pixels, size);
    std::int32_t *const step = buffers.step.data();
    std::int32_t *const queue = buffers.pixels.data();
    std::transform(buffers.brightness.begin(), buffers.brightness.begin() + size, step,
        [limit](std::uint8_t b) { return b < limit ? 0 : -1; });

    step[s] = 1;
    int head = 0;
    int tail = 0;
    queue[tail++] = s;
    while (head < tail) {
        const int p = queue[head++];
        const int k = step[p] + 1;
        // E is found before p's own neighbours are marked, which would only ever get level k.
        if (touches(p, e, window.stride)) {
            step[e] = k; // overwrites step(S) when S is E
            return k;
        }
        for (const int offset : offsets) {
            const int n = p + offset;
            const int v = step[n];
            const bool isNew = v == 0;
            step[n] = isNew ? k : v;
            queue[tail] = n;
            tail += isNew;
        }
    }
    return 0;
}

// Marks in `path` (window-sized) every pixel of every shortest route from S up to, not
// including, E. False when a level holds more than maxRouteWidth pixels. A collected pixel gets
// step -1, which no later level looks for: that is the duplicate check.
bool walkBack(
    const Window &window, TraceBuffers &buffers, int e, int stepE, std::vector<std::uint8_t> &path)
{
    const std::array<int, 8> offsets = neighbourOffsets(window.stride);
    std::int32_t *const step = buffers.step.data();
    std::vector<std::int32_t> &current = buffers.current;
    std::vector<std::int32_t> &next = buffers.next;
    current.assign(1, e);
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
    assert(start.x >= 0 && start.x < brightness.width);
    assert(start.y >= 0 && start.y < brightness.height);
    assert(end.x >= 0 && end.x < brightness.width);
    assert(end.y >= 0 && end.y < brightness.height);

    WireRoute route;
    if (std::abs(end.x - start.x) + std::abs(end.y - start.y) > maxTraceDistance) {
        route.outcome = WireRoute::Outcome::TooFar;
        return route;
    }

    Window window;
    window.x0 = std::max(std::min(start.x, end.x) - traceWindowMargin, 0);
    window.y0 = std::max(std::min(start.y, end.y) - traceWindowMargin, 0);
    const int x1 = std::min(std::max(start.x, end.x) + traceWindowMargin, brightness.width - 1);
    const int y1 = std::min(std::max(start.y, end.y) + traceWindowMargin, brightness.height - 1);
    window.width = x1 - window.x0 + 1;
    window.height = y1 - window.y0 + 1;
    window.stride = window.width + 2;
    route.x0 = window.x0;
    route.y0 = window.y0;
    route.width = window.width;
    route.height = window.height;

    // The frame reads 255, which no limit lets through: the searches never enter it.
    thread_local TraceBuffers buffers;
    buffers.brightness.assign(window.paddedSize(), 255);
    for (int y = 0; y < window.height; ++y)
        std::copy_n(brightness.rowData(window.y0 + y) + window.x0, window.width,
            buffers.brightness.begin() + (y + 1) * window.stride + 1);

    const int s = window.index(start);
    const int e = window.index(end);
    const int firstLimit = std::min(brightness.at(start.x, start.y), brightness.at(end.x, end.y));
    const int limit = lowestLimit(window, buffers, s, e, firstLimit);
    if (limit > 255) {
        route.outcome = WireRoute::Outcome::NoRoute;
        return route;
    }
    route.limit = limit;

    const int stepE = searchLevels(window, buffers, s, e, limit);
    assert(stepE > 0);
    std::vector<std::uint8_t> path(std::size_t(route.width) * std::size_t(route.height), 0);
    if (!walkBack(window, buffers, e, stepE, path)) {
        route.outcome = WireRoute::Outcome::Abandoned;
        return route;
    }
    route.outcome = WireRoute::Outcome::Found;
    route.path = std::move(path);
    return route;
}

} // namespace tolvane
