#include "selection/wiretracing.h"

#include <algorithm>
#include <bit>
#include <limits>
#include <numeric>
#include <tuple>

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

void ColumnTracer::trace(const BandColumns &columns, bool leftOpen, bool rightOpen,
    int lengthThreshold, std::vector<OrderedTrace> &kept, BandColumns *open)
{
    // Bands that touch always belong to one component, so a run's candidate traces all come
    // from its own component and one sweep over all columns chains every component at once.
    // Trace numbers grow in the order traces start, column by column, which within a
    // component is the order of its own trace list.
    const std::vector<ColumnRun> &bands = columns.bands;
    const std::int32_t bandCount = std::int32_t(bands.size());
    const int firstColumn = columns.firstColumn;
    const int lastColumn = firstColumn + columns.columnCount() - 1;
    m_bandTrace.resize(bandCount);
    m_taken.assign(bandCount, 0);
    // Union-find over bands; the root of a set is its first band, which is where the
    // component search would seed it.
    m_parent.resize(bandCount);
    std::iota(m_parent.begin(), m_parent.end(), 0);
    std::int32_t *parent = m_parent.data();
    auto find = [parent](std::int32_t b) {
        while (parent[b] != b) {
            parent[b] = parent[parent[b]];
            b = parent[b];
        }
        return b;
    };

    std::int32_t traceCount = 0;
    for (int x = firstColumn; x <= lastColumn; ++x) {
        const std::int32_t begin = columns.columnBegin(x);
        const std::int32_t previousBegin = x > firstColumn ? columns.columnBegin(x - 1) : begin;
        chainColumn(std::span(bands).subspan(previousBegin, begin - previousBegin),
            m_bandTrace.data() + previousBegin, m_taken.data() + previousBegin, columns.column(x),
            m_bandTrace.data() + begin, traceCount, [&](std::size_t j, std::size_t i) {
                const std::int32_t a = find(previousBegin + std::int32_t(j));
                const std::int32_t b = find(begin + std::int32_t(i));
                if (a < b)
                    parent[b] = a;
                else if (b < a)
                    parent[a] = b;
            });
    }

    m_traceLength.assign(traceCount, 0);
    m_traceFirstBand.resize(traceCount);
    m_boxes.resize(bandCount);
    for (std::int32_t b = 0; b < bandCount; ++b) {
        const std::int32_t t = m_bandTrace[b];
        if (m_traceLength[t]++ == 0)
            m_traceFirstBand[t] = b;
        // Roots come first, so every band finds its component's box already started; the
        // band keeps its root for the passes below.
        const std::int32_t r = find(b);
        parent[b] = r;
        const ColumnRun &band = bands[b];
        const bool atOpenEdge
            = (leftOpen && band.x == firstColumn) || (rightOpen && band.x == lastColumn);
        Box &box = m_boxes[r];
        if (r == b) {
            box = {band.x, band.y, band.y + band.length - 1, atOpenEdge};
        } else {
            box.maxX = std::max(box.maxX, band.x);
            box.minY = std::min(box.minY, band.y);
            box.maxY = std::max(box.maxY, band.y + band.length - 1);
            box.open = box.open || atOpenEdge;
        }
    }

    m_keptIndex.assign(traceCount, -1);
    const std::size_t firstKept = kept.size();
    for (std::int32_t t = 0; t < traceCount; ++t) {
        if (m_traceLength[t] <= lengthThreshold)
            continue;
        const std::int32_t r = parent[m_traceFirstBand[t]];
        const Box &box = m_boxes[r];
        if (box.open || !isBigEnough(box.maxX - bands[r].x, box.maxY - box.minY))
            continue;
        m_keptIndex[t] = std::int32_t(kept.size() - firstKept);
        OrderedTrace &trace = kept.emplace_back();
        trace.componentX = bands[r].x;
        trace.componentY = bands[r].y;
        trace.number = t;
        trace.runs.reserve(m_traceLength[t]);
    }
    for (std::int32_t b = 0; b < bandCount; ++b) {
        if (const std::int32_t k = m_keptIndex[m_bandTrace[b]]; k >= 0)
            kept[firstKept + k].runs.push_back(bands[b]);
    }

    if (!open)
        return;
    open->firstColumn = firstColumn;
    open->bands.clear();
    open->columnStart.assign(1, 0);
    for (int x = firstColumn; x <= lastColumn; ++x) {
        for (std::int32_t b = columns.columnBegin(x); b < columns.columnBegin(x + 1); ++b) {
            if (m_boxes[parent[b]].open)
                open->bands.push_back(bands[b]);
        }
        open->columnStart.push_back(std::int32_t(open->bands.size()));
    }
}

namespace {

// The run starts among the bits of word w of a column: set bits whose row above is clear.
inline std::uint64_t runStarts(const std::uint64_t *bits, int w)
{
    return bits[w] & ~(bits[w] << 1 | bits[w - 1] >> 63);
}

// Row y of a column, for -64 <= y < the column's words.
inline unsigned bitAt(const std::uint64_t *bits, int y)
{
    return unsigned(bits[y >> 6] >> (y & 63)) & 1;
}

// The first clear row at or after row y.
inline int runEnd(const std::uint64_t *bits, int y)
{
    int w = y >> 6;
    std::uint64_t clear = ~bits[w] & (~std::uint64_t(0) << (y & 63));
    while (!clear)
        clear = ~bits[++w];
    return w * 64 + std::countr_zero(clear);
}

// Counts runs of a column from the bits: the runs starting in earlier words are counted once
// per word beforehand, so that a count costs one population count and no branch.
struct RunCounter
{
    const ColumnBits *bits;
    const std::int32_t *startsBeforeWord;

    // The runs of column c that start above row y, for 0 <= y <= height + 1.
    std::int32_t runsBefore(int c, int y) const
    {
        const int w = y >> 6;
        return startsBeforeWord[std::size_t(c) * bits->wordsPerColumn + w]
            + std::popcount(runStarts(bits->column(c), w) & ((std::uint64_t(1) << (y & 63)) - 1));
    }

    // The runs of column c whose last row is above row y, for -1 <= y <= height + 1: those
    // starting above y, except one covering both y - 1 and y.
    std::int32_t runsEndingBefore(int c, int y) const
    {
        const std::uint64_t *column = bits->column(c);
        return runsBefore(c, std::max(y, 0))
            - std::int32_t(bitAt(column, y - 1) & bitAt(column, y));
    }
};

struct TileBands
{
    const std::int32_t *columnBegin;
    std::int32_t *y;
    std::int32_t *length;
    std::int32_t *column;
    std::int32_t *trace;
    std::uint8_t *taken;
    std::int32_t *traceFirst;
    std::int32_t *traceLength;
};

// Lists the runs of every column and chains them onto the traces of the column before;
// returns the number of traces. A run takes the earliest-started untaken trace whose last run
// touches it. In noise the number of touching runs is unpredictable, so the usual cases of
// at most two are handled without branching: 3x faster than walking run lists on a
// 6000x4000 noisy photo, 2-core machine, -O3.
[[gnu::always_inline]] inline std::int32_t chainRuns(RunCounter counter, TileBands bands)
{
    const ColumnBits &candidates = *counter.bits;
    std::int32_t traceCount = 0;
    for (int c = 0; c < candidates.columnCount; ++c) {
        const std::uint64_t *bits = candidates.column(c);
        std::int32_t band = bands.columnBegin[c];
        for (int w = 0; w < candidates.wordsPerColumn; ++w) {
            for (std::uint64_t starts = runStarts(bits, w); starts; starts &= starts - 1) {
                const int y = w * 64 + std::countr_zero(starts);
                bands.y[band] = y;
                bands.length[band] = runEnd(bits, y) - y;
                bands.column[band] = c;
                ++band;
            }
        }

        // The first column starts every trace: its runs look at an empty range.
        const int previous = std::max(c - 1, 0);
        const std::int32_t previousBegin = c > 0 ? bands.columnBegin[c - 1] : 0;
        const std::int32_t previousEnd = c > 0 ? bands.columnBegin[c] : 0;
        for (std::int32_t i = bands.columnBegin[c]; i < bands.columnBegin[c + 1]; ++i) {
            const std::int32_t first = std::min(
                previousEnd, previousBegin + counter.runsEndingBefore(previous, bands.y[i] - 1));
            const std::int32_t end = std::min(previousEnd,
                previousBegin + counter.runsBefore(previous, bands.y[i] + bands.length[i] + 1));
            constexpr std::int32_t none = std::numeric_limits<std::int32_t>::max();
            std::int32_t best;
            std::int32_t chosen;
            if (end - first <= 2) {
                // The arrays have two spare entries, so both loads are always allowed.
                const std::int32_t trace0 = bands.trace[first];
                const std::int32_t trace1 = bands.trace[first + 1];
                const bool free0 = (end > first) & !bands.taken[first];
                const bool free1 = (end > first + 1) & !bands.taken[first + 1];
                const std::int32_t t0 = free0 ? trace0 : none;
                const std::int32_t t1 = free1 ? trace1 : none;
                best = std::min(t0, t1);
                chosen = t1 < t0 ? first + 1 : first;
            } else {
                best = none;
                chosen = first;
                for (std::int32_t p = first; p < end; ++p) {
                    if (!bands.taken[p] && bands.trace[p] < best) {
                        best = bands.trace[p];
                        chosen = p;
                    }
                }
            }
            const bool startsTrace = best == none;
            bands.taken[startsTrace ? i : chosen] |= !startsTrace;
            const std::int32_t t = startsTrace ? traceCount : best;
            bands.trace[i] = t;
            bands.traceFirst[traceCount] = i;
            bands.traceLength[traceCount] = 0;
            traceCount += startsTrace;
            ++bands.traceLength[t];
        }
    }
    return traceCount;
}

std::int32_t chainRunsPortable(RunCounter counter, TileBands bands)
{
    return chainRuns(counter, bands);
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
// The population count instruction is not part of plain x86-64; without it the counts are
// library calls.
[[gnu::target("popcnt")]] std::int32_t chainRunsPopcnt(RunCounter counter, TileBands bands)
{
    return chainRuns(counter, bands);
}
#endif

std::int32_t chainTileRuns(RunCounter counter, TileBands bands)
{
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    static const bool hasPopcnt = __builtin_cpu_supports("popcnt");
    if (hasPopcnt)
        return chainRunsPopcnt(counter, bands);
#endif
    return chainRunsPortable(counter, bands);
}

} // namespace

// Calls fn(b) for every band b of the neighbouring columns that touches `band`.
template <typename Fn> void TileTracer::forEachNeighbour(std::int32_t band, Fn fn) const
{
    const RunCounter counter {m_bits, m_startsBeforeWord.data()};
    const int column = m_column[band];
    const int y = m_y[band];
    const int length = m_length[band];
    for (const int c : {column - 1, column + 1}) {
        if (c < 0 || c >= m_bits->columnCount)
            continue;
        const std::int32_t end = m_columnBegin[c] + counter.runsBefore(c, y + length + 1);
        for (std::int32_t b = m_columnBegin[c] + counter.runsEndingBefore(c, y - 1); b < end; ++b)
            fn(b);
    }
}

TileTracer::Component TileTracer::flood(std::int32_t seed, std::int32_t label)
{
    Component component {seed, m_column[seed], m_y[seed], m_y[seed] + m_length[seed] - 1};
    m_label[seed] = label;
    m_stack.assign(1, seed);
    while (!m_stack.empty()) {
        const std::int32_t band = m_stack.back();
        m_stack.pop_back();
        component.first = std::min(component.first, band);
        component.maxX = std::max(component.maxX, m_column[band]);
        component.minY = std::min(component.minY, m_y[band]);
        component.maxY = std::max(component.maxY, m_y[band] + m_length[band] - 1);
        forEachNeighbour(band, [&](std::int32_t b) {
            if (m_label[b] < 0) {
                m_label[b] = label;
                m_stack.push_back(b);
            }
        });
    }
    return component;
}

void TileTracer::trace(const ColumnBits &candidates, bool leftOpen, bool rightOpen,
    int lengthThreshold, std::vector<OrderedTrace> &kept, BandColumns &open)
{
    m_bits = &candidates;
    const int columns = candidates.columnCount;
    const int wordsPerColumn = candidates.wordsPerColumn;

    m_columnBegin.resize(columns + 1);
    m_startsBeforeWord.resize(std::size_t(columns) * wordsPerColumn);
    std::int32_t bandCount = 0;
    for (int c = 0; c < columns; ++c) {
        m_columnBegin[c] = bandCount;
        const std::uint64_t *bits = candidates.column(c);
        for (int w = 0; w < wordsPerColumn; ++w) {
            m_startsBeforeWord[std::size_t(c) * wordsPerColumn + w] = bandCount - m_columnBegin[c];
            bandCount += std::popcount(runStarts(bits, w));
        }
    }
    m_columnBegin[columns] = bandCount;
    // Two spare entries for the chaining's unconditional loads.
    m_y.resize(bandCount);
    m_length.resize(bandCount);
    m_column.resize(bandCount);
    m_trace.assign(bandCount + 2, 0);
    m_taken.assign(bandCount + 2, 0);
    m_traceFirst.resize(bandCount + 1);
    m_traceLength.resize(bandCount + 1);
    const std::int32_t traceCount
        = chainTileRuns(RunCounter {&candidates, m_startsBeforeWord.data()},
            TileBands {m_columnBegin.data(), m_y.data(), m_length.data(), m_column.data(),
                m_trace.data(), m_taken.data(), m_traceFirst.data(), m_traceLength.data()});

    // Components reaching an open edge go to the caller whole.
    constexpr std::int32_t openLabel = 0;
    m_label.assign(bandCount, -1);
    auto floodOpen = [&](int c) {
        for (std::int32_t b = m_columnBegin[c]; b < m_columnBegin[c + 1]; ++b) {
            if (m_label[b] < 0)
                flood(b, openLabel);
        }
    };
    if (leftOpen && columns > 0)
        floodOpen(0);
    if (rightOpen && columns > 0)
        floodOpen(columns - 1);

    m_components.clear();
    for (std::int32_t t = 0; t < traceCount; ++t) {
        if (m_traceLength[t] <= lengthThreshold)
            continue;
        const std::int32_t seed = m_traceFirst[t];
        if (m_label[seed] < 0)
            m_components.push_back(flood(seed, std::int32_t(m_components.size()) + 1));
        if (m_label[seed] == openLabel)
            continue;
        const Component &component = m_components[m_label[seed] - 1];
        const int first = component.first;
        if (!isBigEnough(component.maxX - m_column[first], component.maxY - component.minY))
            continue;
        OrderedTrace &trace = kept.emplace_back();
        trace.componentX = candidates.firstColumn + m_column[first];
        trace.componentY = m_y[first];
        trace.number = t;
        trace.runs.reserve(m_traceLength[t]);
        // A trace's run in the next column is among the runs touching its current one.
        std::int32_t band = seed;
        while (true) {
            trace.runs.push_back(
                {candidates.firstColumn + m_column[band], m_y[band], m_length[band]});
            if (std::int32_t(trace.runs.size()) == m_traceLength[t])
                break;
            std::int32_t next = -1;
            forEachNeighbour(band, [&](std::int32_t b) {
                if (m_column[b] > m_column[band] && m_trace[b] == t)
                    next = b;
            });
            band = next;
        }
    }

    open.firstColumn = candidates.firstColumn;
    open.bands.clear();
    open.columnStart.assign(1, 0);
    for (int c = 0; c < columns; ++c) {
        if (leftOpen || rightOpen) {
            for (std::int32_t b = m_columnBegin[c]; b < m_columnBegin[c + 1]; ++b) {
                if (m_label[b] == openLabel)
                    open.bands.push_back({candidates.firstColumn + c, m_y[b], m_length[b]});
            }
        }
        open.columnStart.push_back(std::int32_t(open.bands.size()));
    }
}

std::vector<WireTrace> orderTraces(std::vector<OrderedTrace> &kept)
{
    std::sort(kept.begin(), kept.end(), [](const OrderedTrace &a, const OrderedTrace &b) {
        return std::tie(a.componentX, a.componentY, a.number)
            < std::tie(b.componentX, b.componentY, b.number);
    });
    std::vector<WireTrace> traces;
    traces.reserve(kept.size());
    for (OrderedTrace &trace : kept)
        traces.push_back(std::move(trace.runs));
    return traces;
}

std::vector<WireTrace> traceCandidates(const CandidateMask &candidates, int lengthThreshold)
{
    std::vector<OrderedTrace> kept;
    ColumnTracer().trace(candidates, false, false, lengthThreshold, kept);
    return orderTraces(kept);
}

} // namespace tolvane
