#include "selection/tiletracing.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <iterator>
#include <limits>
#include <numeric>
#include <tuple>

#include "selection/runchains.h"
#include "selection/simd.h"

namespace tolvane {

void ColumnTracer::trace(
    const BandColumns &columns, int lengthThreshold, std::vector<OrderedTrace> &kept)
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
        Box &box = m_boxes[r];
        if (r == b) {
            box = {band.x, band.y, band.y + band.length - 1};
        } else {
            box.maxX = std::max(box.maxX, band.x);
            box.minY = std::min(box.minY, band.y);
            box.maxY = std::max(box.maxY, band.y + band.length - 1);
        }
    }

    m_keptIndex.assign(traceCount, -1);
    const std::size_t firstKept = kept.size();
    for (std::int32_t t = 0; t < traceCount; ++t) {
        if (m_traceLength[t] <= lengthThreshold)
            continue;
        const std::int32_t r = parent[m_traceFirstBand[t]];
        const Box &box = m_boxes[r];
        if (!isBigEnough(box.maxX - bands[r].x, box.maxY - box.minY))
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
}

namespace {

// Row y of a column of bits, for -64 <= y < 64 * wordsPerColumn.
inline bool bitAt(const std::uint64_t *bits, int y)
{
    return bits[y >> 6] >> (y & 63) & 1;
}

// The first clear row at or after row y.
int runEnd(const std::uint64_t *bits, int y)
{
    int w = y >> 6;
    std::uint64_t clear = ~bits[w] & (~std::uint64_t(0) << (y & 63));
    while (!clear)
        clear = ~bits[++w];
    return w * 64 + std::countr_zero(clear);
}

// The first set row at or after row y, or `limit` when there is none before it.
int nextSet(const std::uint64_t *bits, int y, int limit)
{
    int w = y >> 6;
    std::uint64_t set = bits[w] & (~std::uint64_t(0) << (y & 63));
    const int lastWord = limit >> 6;
    while (!set && w < lastWord)
        set = bits[++w];
    return set ? std::min(limit, w * 64 + std::countr_zero(set)) : limit;
}

// Calls fn(top, length) for every run of a column with a row in from ... to.
template <typename Fn> void forEachRunMeeting(const std::uint64_t *bits, int from, int to, Fn fn)
{
    int y = nextSet(bits, std::max(from, 0), to + 1);
    while (y <= to) {
        int top = y;
        while (bitAt(bits, top - 1))
            --top;
        const int end = runEnd(bits, y);
        fn(top, end - top);
        y = nextSet(bits, end, to + 1);
    }
}

// Spreads `previous` into `chain`, then spreads longestRun - 1 more times between `chain` and
// `spare`; returns the one that holds the last pass.
template <typename Spread>
[[gnu::always_inline]] inline const std::uint8_t *spreadPasses(Spread &spread,
    const std::uint8_t *previous, std::uint8_t *chain, std::uint8_t *spare, int longestRun)
{
    std::uint8_t *from = chain;
    std::uint8_t *to = spare;
    spread(previous, from);
    for (int pass = 1; pass < longestRun; ++pass) {
        spread(from, to);
        std::swap(from, to);
    }
    return from;
}

#if TOLVANE_HAS_VECTORS
// One column of the chain lengths. chain[y] becomes, for the rows of each run, 1 + the
// longest chain of the previous column touching the run (saturating at 255), 0 off the runs.
// The previous column's lengths are first spread one row up and down, then spread along each
// run, one row per pass, longestRun - 1 times. Arrays are indexed by row, with `padding` zero
// bytes before and after `rows` (a multiple of Lanes). reached[y] becomes 255 where the length
// reaches `atLeast`, else 0. Returns whether it does anywhere.
template <int Lanes>
[[gnu::always_inline]] inline bool measureChainsInVectors(const std::uint8_t *candidate,
    const std::uint8_t *previous, std::uint8_t *chain, std::uint8_t *spare, std::uint8_t *reached,
    int rows, int longestRun, std::uint8_t atLeast)
{
    using U8 = typename simd::Vectors<Lanes>::U8;
    auto spread = [&](const std::uint8_t *from, std::uint8_t *to) {
        for (int y = 0; y < rows; y += Lanes) {
            U8 up, here, down, inRun;
            std::memcpy(&up, from + y - 1, sizeof up);
            std::memcpy(&here, from + y, sizeof here);
            std::memcpy(&down, from + y + 1, sizeof down);
            std::memcpy(&inRun, candidate + y, sizeof inRun);
            U8 most = up > here ? up : here;
            most = most > down ? most : down;
            most &= inRun;
            std::memcpy(to + y, &most, sizeof most);
        }
    };
    const std::uint8_t *from = spreadPasses(spread, previous, chain, spare, longestRun);
    U8 anywhere = {};
    for (int y = 0; y < rows; y += Lanes) {
        U8 length, inRun;
        std::memcpy(&length, from + y, sizeof length);
        std::memcpy(&inRun, candidate + y, sizeof inRun);
        length = (length < 255 ? length + 1 : length) & inRun;
        const U8 long_ = length >= atLeast;
        anywhere |= long_;
        std::memcpy(chain + y, &length, sizeof length);
        std::memcpy(reached + y, &long_, sizeof long_);
    }
    for (int i = 0; i < Lanes; ++i) {
        if (anywhere[i])
            return true;
    }
    return false;
}

bool measureChainsPortable(const std::uint8_t *candidate, const std::uint8_t *previous,
    std::uint8_t *chain, std::uint8_t *spare, std::uint8_t *reached, int rows, int longestRun,
    std::uint8_t atLeast)
{
    return measureChainsInVectors<16>(
        candidate, previous, chain, spare, reached, rows, longestRun, atLeast);
}

TOLVANE_AVX2 bool measureChainsAvx2(const std::uint8_t *candidate, const std::uint8_t *previous,
    std::uint8_t *chain, std::uint8_t *spare, std::uint8_t *reached, int rows, int longestRun,
    std::uint8_t atLeast)
{
    return measureChainsInVectors<32>(
        candidate, previous, chain, spare, reached, rows, longestRun, atLeast);
}

bool measureChains(const std::uint8_t *candidate, const std::uint8_t *previous, std::uint8_t *chain,
    std::uint8_t *spare, std::uint8_t *reached, int rows, int longestRun, std::uint8_t atLeast)
{
    return simd::hasAvx2()
        ? measureChainsAvx2(candidate, previous, chain, spare, reached, rows, longestRun, atLeast)
        : measureChainsPortable(
            candidate, previous, chain, spare, reached, rows, longestRun, atLeast);
}
#else
bool measureChains(const std::uint8_t *candidate, const std::uint8_t *previous, std::uint8_t *chain,
    std::uint8_t *spare, std::uint8_t *reached, int rows, int longestRun, std::uint8_t atLeast)
{
    auto spread = [&](const std::uint8_t *from, std::uint8_t *to) {
        for (int y = 0; y < rows; ++y)
            to[y] = std::max({from[y - 1], from[y], from[y + 1]}) & candidate[y];
    };
    const std::uint8_t *from = spreadPasses(spread, previous, chain, spare, longestRun);
    bool anywhere = false;
    for (int y = 0; y < rows; ++y) {
        chain[y] = std::uint8_t(from[y] < 255 ? from[y] + 1 : 255) & candidate[y];
        reached[y] = chain[y] >= atLeast ? 255 : 0;
        anywhere |= reached[y] != 0;
    }
    return anywhere;
}
#endif

// Each byte of the table spreads the 8 bits of its index over 8 bytes of 0 or 255.
const std::array<std::uint64_t, 256> byteMasks = [] {
    std::array<std::uint64_t, 256> masks {};
    for (int b = 0; b < 256; ++b) {
        for (int bit = 0; bit < 8; ++bit) {
            if (b >> bit & 1)
                masks[b] |= std::uint64_t(0xFF) << (8 * bit);
        }
    }
    return masks;
}();

} // namespace

// The length of the longest run (at least 1): 1 + how many times all runs can be shortened by
// one row before none is left.
int TileTracer::longestRun()
{
    m_eroded = m_candidates->words;
    int length = 1;
    while (true) {
        bool any = false;
        // Each column's words, framed by zero words, follow one another.
        for (std::size_t w = 0; w + 1 < m_eroded.size(); ++w) {
            m_eroded[w] &= m_eroded[w] >> 1 | m_eroded[w + 1] << 63;
            any |= m_eroded[w] != 0;
        }
        if (!any)
            return length;
        ++length;
    }
}

// Notes the rows where a chain of more than lengthThreshold runs ends, one row per stretch.
void TileTracer::findLongChains(int longestRun, int lengthThreshold)
{
    const ColumnBits &candidates = *m_candidates;
    constexpr int padding = 64;
    const int rows = (candidates.height + 63) / 64 * 64;
    const std::size_t size = std::size_t(rows) + 2 * padding;
    m_candidate.assign(size, 0);
    m_chain.assign(size, 0);
    m_previousChain.assign(size, 0);
    m_spare.assign(size, 0);
    m_reached.assign(size, 0);
    // Saturated lengths count as long: the test then lets more through, never less.
    const std::uint8_t atLeast = std::uint8_t(std::min(lengthThreshold + 1, 255));
    m_chainEnds.clear();
    for (int c = 0; c < candidates.columnCount; ++c) {
        const std::uint64_t *bits = candidates.column(c);
        for (int w = 0; w < rows / 64; ++w) {
            for (int b = 0; b < 8; ++b) {
                const std::uint64_t bytes = byteMasks[bits[w] >> (8 * b) & 0xFF];
                std::memcpy(m_candidate.data() + padding + w * 64 + 8 * b, &bytes, 8);
            }
        }
        std::swap(m_chain, m_previousChain);
        const std::uint8_t *reached = m_reached.data() + padding;
        if (!measureChains(m_candidate.data() + padding, m_previousChain.data() + padding,
                m_chain.data() + padding, m_spare.data() + padding, m_reached.data() + padding,
                rows, longestRun, atLeast))
            continue;
        // Along a wire nearly every column reaches the length, but in a few rows only.
        for (int y = 0; y < rows; y += 8) {
            std::uint64_t eight;
            std::memcpy(&eight, reached + y, 8);
            if (!eight)
                continue;
            for (int i = y; i < y + 8; ++i) {
                if (reached[i] && !reached[i - 1])
                    m_chainEnds.push_back({c, i});
            }
        }
    }
}

// Gathers into m_component the runs of the component holding row y of column `column`, and
// marks them in m_gathered.
void TileTracer::gather(int column, int y)
{
    const ColumnBits &candidates = *m_candidates;
    m_component.clear();
    const std::uint64_t *bits = candidates.column(column);
    int top = y;
    while (bitAt(bits, top - 1))
        --top;
    m_stack.assign(1, {column, top, runEnd(bits, y) - top});
    m_gathered.setRun(column, top, m_stack[0].length);
    while (!m_stack.empty()) {
        const ColumnRun run = m_stack.back();
        m_stack.pop_back();
        m_component.push_back(run);
        for (const int c : {run.x - 1, run.x + 1}) {
            if (c < 0 || c >= candidates.columnCount)
                continue;
            forEachRunMeeting(
                candidates.column(c), run.y - 1, run.y + run.length, [&](int runTop, int length) {
                    if (bitAt(m_gathered.column(c), runTop))
                        return;
                    m_gathered.setRun(c, runTop, length);
                    m_stack.push_back({c, runTop, length});
                });
        }
    }
    std::sort(m_component.begin(), m_component.end(), [](const ColumnRun &a, const ColumnRun &b) {
        return a.x < b.x || (a.x == b.x && a.y < b.y);
    });
}

void TileTracer::trace(const ColumnBits &candidates, bool leftOpen, bool rightOpen,
    int lengthThreshold, std::vector<OrderedTrace> &kept, BandColumns &open)
{
    m_candidates = &candidates;
    const int columns = candidates.columnCount;
    m_gathered.reset(0, columns, candidates.height);

    // Components reaching an open edge go to the caller whole.
    m_open.clear();
    for (const int c : {leftOpen ? 0 : -1, rightOpen ? columns - 1 : -1}) {
        if (c < 0)
            continue;
        forEachRunMeeting(candidates.column(c), 0, candidates.height - 1, [&](int top, int) {
            if (bitAt(m_gathered.column(c), top))
                return;
            gather(c, top);
            m_open.insert(m_open.end(), m_component.begin(), m_component.end());
        });
    }
    std::sort(m_open.begin(), m_open.end(), [](const ColumnRun &a, const ColumnRun &b) {
        return a.x < b.x || (a.x == b.x && a.y < b.y);
    });
    open.firstColumn = candidates.firstColumn;
    open.bands.clear();
    open.columnStart.assign(1, 0);
    std::size_t next = 0;
    for (int c = 0; c < columns; ++c) {
        for (; next < m_open.size() && m_open[next].x == c; ++next)
            open.bands.push_back({candidates.firstColumn + c, m_open[next].y, m_open[next].length});
        open.columnStart.push_back(std::int32_t(open.bands.size()));
    }

    findLongChains(longestRun(), lengthThreshold);
    for (const Point &end : m_chainEnds) {
        if (bitAt(m_gathered.column(end.x), end.y))
            continue;
        gather(end.x, end.y);
        int maxX = 0;
        int minY = candidates.height;
        int maxY = 0;
        for (const ColumnRun &run : m_component) {
            maxX = std::max(maxX, run.x);
            minY = std::min(minY, run.y);
            maxY = std::max(maxY, run.y + run.length - 1);
        }
        const ColumnRun &first = m_component.front();
        if (!isBigEnough(maxX - first.x, maxY - minY))
            continue;
        const int firstX = candidates.firstColumn + first.x;
        const int firstY = first.y;
        for (ColumnRun &run : m_component)
            run.x += candidates.firstColumn;
        m_traces.clear();
        m_numbers.clear();
        m_chainer.chain(m_component, lengthThreshold, m_traces, &m_numbers);
        for (std::size_t k = 0; k < m_traces.size(); ++k)
            kept.push_back({firstX, firstY, m_numbers[k], std::move(m_traces[k])});
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

std::vector<WireTrace> joinTileTraces(std::vector<std::vector<OrderedTrace>> &tileKept,
    std::span<const BandColumns> tileOpen, int lengthThreshold)
{
    BandColumns open;
    open.firstColumn = tileOpen.empty() ? 0 : tileOpen.front().firstColumn;
    open.columnStart.clear();
    for (const BandColumns &tile : tileOpen) {
        const std::int32_t offset = std::int32_t(open.bands.size());
        for (int i = 0; i < tile.columnCount(); ++i)
            open.columnStart.push_back(offset + tile.columnStart[i]);
        open.bands.insert(open.bands.end(), tile.bands.begin(), tile.bands.end());
    }
    open.columnStart.push_back(std::int32_t(open.bands.size()));
    std::vector<OrderedTrace> kept;
    for (std::vector<OrderedTrace> &tile : tileKept)
        std::move(tile.begin(), tile.end(), std::back_inserter(kept));
    ColumnTracer().trace(open, lengthThreshold, kept);
    return orderTraces(kept);
}

} // namespace tolvane
