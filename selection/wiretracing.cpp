#include "selection/wiretracing.h"

#include <algorithm>
#include <numeric>

namespace tolvane {

namespace {

bool isBigEnough(std::int64_t dx, std::int64_t dy)
{
    return dx * dx + dy * dy >= 36;
}

// Chains the runs of one column (top to bottom) onto the traces whose last runs are the runs
// of the column before it (top to bottom, each the last run of its own trace). A run takes
// the earliest-started trace among the untaken previous runs it touches, or starts trace
// number traceCount. Since runs of a column never overlap, the touching previous runs of
// successive runs form sliding ranges. onTouch(previousIndex, index) is called for every
// touching pair.
template <typename OnTouch>
void chainColumn(std::span<const ColumnRun> previous, const std::int32_t *previousTrace,
    std::uint8_t *previousTaken, std::span<const ColumnRun> runs, std::int32_t *runTrace,
    std::int32_t &traceCount, OnTouch onTouch)
{
    std::size_t first = 0;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const ColumnRun &run = runs[i];
        while (first < previous.size() && previous[first].y + previous[first].length < run.y)
            ++first;
        std::ptrdiff_t chosen = -1;
        for (std::size_t j = first; j < previous.size() && previous[j].y <= run.y + run.length;
             ++j) {
            onTouch(j, i);
            if (!previousTaken[j] && (chosen < 0 || previousTrace[j] < previousTrace[chosen]))
                chosen = std::ptrdiff_t(j);
        }
        if (chosen >= 0) {
            previousTaken[chosen] = 1;
            runTrace[i] = previousTrace[chosen];
        } else {
            runTrace[i] = traceCount++;
        }
    }
}

// For every band, the bands of the neighbouring column that touch it: a contiguous range
// [first, end) of band numbers, empty at the photo's edges.
struct Neighbours
{
    std::vector<std::int32_t> first;
    std::vector<std::int32_t> end;
};

void findTouching(
    const CandidateMask &candidates, int fromColumn, int toColumn, Neighbours &neighbours)
{
    const std::span<const ColumnRun> from = candidates.column(fromColumn);
    const std::span<const ColumnRun> to = candidates.column(toColumn);
    const std::int32_t fromStart = candidates.columnStart[fromColumn];
    const std::int32_t toStart = candidates.columnStart[toColumn];
    std::size_t first = 0;
    std::size_t end = 0;
    for (std::size_t i = 0; i < from.size(); ++i) {
        while (first < to.size() && to[first].y + to[first].length < from[i].y)
            ++first;
        end = std::max(end, first);
        while (end < to.size() && to[end].y <= from[i].y + from[i].length)
            ++end;
        neighbours.first[fromStart + i] = toStart + std::int32_t(first);
        neighbours.end[fromStart + i] = toStart + std::int32_t(end);
    }
}

} // namespace

std::vector<Component> findComponents(const CandidateMask &candidates)
{
    const int W = candidates.width;
    const std::vector<ColumnRun> &bands = candidates.bands;
    const std::size_t bandCount = bands.size();
    Neighbours left {
        std::vector<std::int32_t>(bandCount, 0), std::vector<std::int32_t>(bandCount, 0)};
    Neighbours right = left;
    for (int x = 1; x < W; ++x) {
        findTouching(candidates, x, x - 1, left);
        findTouching(candidates, x - 1, x, right);
    }

    // One visited flag per candidate pixel, the pixels of band b starting at pixelStart[b].
    std::vector<std::int32_t> pixelStart(bandCount + 1, 0);
    for (std::size_t b = 0; b < bandCount; ++b)
        pixelStart[b + 1] = pixelStart[b] + bands[b].length;
    std::vector<std::uint8_t> visited(pixelStart[bandCount], 0);

    struct Pixel
    {
        std::int32_t band;
        std::int32_t y;
    };
    std::vector<Pixel> queue;
    // Flag a pixel when it is queued, not when it is taken: otherwise two frontier pixels can
    // both append it.
    auto visit = [&](std::int32_t band, std::int32_t y) {
        std::uint8_t &flag = visited[pixelStart[band] + y - bands[band].y];
        if (!flag) {
            flag = 1;
            queue.push_back({band, y});
        }
    };
    auto visitRange = [&](std::int32_t first, std::int32_t end, std::int32_t y) {
        for (std::int32_t b = first; b < end; ++b) {
            const std::int32_t from = std::max(bands[b].y, y - 1);
            const std::int32_t to = std::min(bands[b].y + bands[b].length - 1, y + 1);
            for (std::int32_t r = from; r <= to; ++r)
                visit(b, r);
        }
    };

    std::vector<Component> components;
    Component component;
    for (std::size_t seed = 0; seed < bandCount; ++seed) {
        // A band is always taken whole, so its first pixel tells whether it was reached.
        if (visited[pixelStart[seed]])
            continue;
        queue.clear();
        component.clear();
        visit(std::int32_t(seed), bands[seed].y);
        int minX = bands[seed].x, maxX = minX;
        int minY = bands[seed].y, maxY = minY;
        for (std::size_t head = 0; head < queue.size(); ++head) {
            const auto [b, y] = queue[head];
            const ColumnRun &band = bands[b];
            component.push_back(y * W + band.x);
            maxX = std::max(maxX, band.x);
            minY = std::min(minY, y);
            maxY = std::max(maxY, y);
            minX = std::min(minX, band.x);
            visitRange(left.first[b], left.end[b], y);
            if (y > band.y)
                visit(b, y - 1);
            if (y < band.y + band.length - 1)
                visit(b, y + 1);
            visitRange(right.first[b], right.end[b], y);
        }
        if (isBigEnough(maxX - minX, maxY - minY))
            components.push_back(component);
    }
    return components;
}

std::vector<Component> findComponents(Plane<const std::uint8_t> candidates)
{
    return findComponents(candidatesFromPlane(candidates));
}

std::vector<WireTrace> buildTraces(
    std::span<const Component> components, int width, int lengthThreshold)
{
    std::vector<WireTrace> kept;
    std::vector<std::uint64_t> pixels;
    std::vector<ColumnRun> runs;
    std::vector<std::int32_t> runTrace;
    std::vector<std::uint8_t> taken;
    std::vector<std::int32_t> traceLength;
    std::vector<std::int32_t> keptIndex;
    for (const Component &component : components) {
        // Column by column, top to bottom: the order in which a box bitmap of the component
        // would be scanned. Only the component's own pixels are present.
        pixels.clear();
        for (const PixelIndex p : component)
            pixels.push_back(std::uint64_t(p % width) << 32 | std::uint32_t(p / width));
        std::sort(pixels.begin(), pixels.end());
        pixels.erase(std::unique(pixels.begin(), pixels.end()), pixels.end());
        runs.clear();
        for (const std::uint64_t p : pixels) {
            const int x = int(p >> 32);
            const int y = int(p & 0xFFFFFFFFu);
            if (!runs.empty() && runs.back().x == x && runs.back().y + runs.back().length == y)
                ++runs.back().length;
            else
                runs.push_back({x, y, 1});
        }

        runTrace.assign(runs.size(), 0);
        taken.assign(runs.size(), 0);
        traceLength.clear();
        std::int32_t traceCount = 0;
        std::size_t previousBegin = 0;
        std::size_t previousEnd = 0;
        for (std::size_t begin = 0; begin < runs.size();) {
            std::size_t end = begin;
            while (end < runs.size() && runs[end].x == runs[begin].x)
                ++end;
            const bool hasPrevious
                = previousEnd > previousBegin && runs[previousBegin].x == runs[begin].x - 1;
            const std::span<const ColumnRun> previous(
                runs.data() + previousBegin, hasPrevious ? previousEnd - previousBegin : 0);
            chainColumn(previous, runTrace.data() + previousBegin, taken.data() + previousBegin,
                std::span<const ColumnRun>(runs.data() + begin, end - begin),
                runTrace.data() + begin, traceCount, [](std::size_t, std::size_t) {});
            traceLength.resize(traceCount, 0);
            for (std::size_t i = begin; i < end; ++i)
                ++traceLength[runTrace[i]];
            previousBegin = begin;
            previousEnd = end;
            begin = end;
        }

        keptIndex.assign(traceCount, -1);
        const std::size_t firstKept = kept.size();
        for (std::int32_t t = 0; t < traceCount; ++t) {
            if (traceLength[t] > lengthThreshold) {
                keptIndex[t] = std::int32_t(kept.size() - firstKept);
                kept.emplace_back().reserve(traceLength[t]);
            }
        }
        for (std::size_t i = 0; i < runs.size(); ++i) {
            if (keptIndex[runTrace[i]] >= 0)
                kept[firstKept + keptIndex[runTrace[i]]].push_back(runs[i]);
        }
    }
    return kept;
}

std::vector<WireTrace> traceCandidates(const CandidateMask &candidates, int lengthThreshold)
{
    // Bands that touch always belong to one component, so a run's candidate traces all come
    // from its own component and one sweep over all columns chains every component at once.
    // Trace numbers grow in the order traces start, column by column, which within a
    // component is the order of its own trace list.
    const std::vector<ColumnRun> &bands = candidates.bands;
    const std::size_t bandCount = bands.size();
    std::vector<std::int32_t> bandTrace(bandCount);
    std::vector<std::uint8_t> taken(bandCount, 0);
    // Union-find over bands; the root of a set is its first band, which is where the
    // component search would seed it.
    std::vector<std::int32_t> parent(bandCount);
    std::iota(parent.begin(), parent.end(), 0);
    auto find = [&](std::int32_t b) {
        while (parent[b] != b) {
            parent[b] = parent[parent[b]];
            b = parent[b];
        }
        return b;
    };

    std::int32_t traceCount = 0;
    for (int x = 0; x < candidates.width; ++x) {
        const std::int32_t begin = candidates.columnStart[x];
        const std::int32_t previousBegin = x > 0 ? candidates.columnStart[x - 1] : begin;
        chainColumn(std::span(bands).subspan(previousBegin, begin - previousBegin),
            bandTrace.data() + previousBegin, taken.data() + previousBegin, candidates.column(x),
            bandTrace.data() + begin, traceCount, [&](std::size_t j, std::size_t i) {
                const std::int32_t a = find(previousBegin + std::int32_t(j));
                const std::int32_t b = find(begin + std::int32_t(i));
                if (a < b)
                    parent[b] = a;
                else if (b < a)
                    parent[a] = b;
            });
    }

    std::vector<std::int32_t> traceLength(traceCount, 0);
    std::vector<std::int32_t> traceFirstBand(traceCount, -1);
    for (std::size_t b = 0; b < bandCount; ++b) {
        const std::int32_t t = bandTrace[b];
        if (traceLength[t]++ == 0)
            traceFirstBand[t] = std::int32_t(b);
    }

    // Bounding boxes, kept at each component's root.
    struct Box
    {
        int maxX, minY, maxY;
    };
    std::vector<Box> boxes(bandCount);
    std::vector<std::int32_t> root(bandCount);
    for (std::size_t b = 0; b < bandCount; ++b) {
        const std::int32_t r = find(std::int32_t(b));
        root[b] = r;
        const ColumnRun &band = bands[b];
        Box &box = boxes[r];
        if (r == std::int32_t(b)) {
            box = {band.x, band.y, band.y + band.length - 1};
        } else {
            box.maxX = std::max(box.maxX, band.x);
            box.minY = std::min(box.minY, band.y);
            box.maxY = std::max(box.maxY, band.y + band.length - 1);
        }
    }

    std::vector<std::pair<std::int32_t, std::int32_t>> order; // (component root, trace)
    for (std::int32_t t = 0; t < traceCount; ++t) {
        if (traceLength[t] <= lengthThreshold)
            continue;
        const std::int32_t r = root[traceFirstBand[t]];
        if (isBigEnough(boxes[r].maxX - bands[r].x, boxes[r].maxY - boxes[r].minY))
            order.emplace_back(r, t);
    }
    std::sort(order.begin(), order.end());

    std::vector<std::int32_t> keptIndex(traceCount, -1);
    std::vector<WireTrace> kept(order.size());
    for (std::size_t k = 0; k < order.size(); ++k) {
        keptIndex[order[k].second] = std::int32_t(k);
        kept[k].reserve(traceLength[order[k].second]);
    }
    for (std::size_t b = 0; b < bandCount; ++b) {
        if (const std::int32_t k = keptIndex[bandTrace[b]]; k >= 0)
            kept[k].push_back(bands[b]);
    }
    return kept;
}

} // namespace tolvane
