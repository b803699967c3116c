#include "selection/bandscan.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "selection/workers.h"

namespace tolvane {

namespace {

// Rows of the two planes for a tile of columns, addressed by image row; entry 0 of a row is
// the tile's first column.
struct TileRows
{
    const std::int16_t *const *difference = nullptr;
    const std::uint8_t *const *minimum = nullptr;
};

// The scan keeps, for each column of a tile, how many rows it still has to pass over before it
// tests a row as an upper edge again: n after a test that found a lower edge n rows down.
using SkipCount = std::int16_t;

bool isUpperEdgeCandidate(TileRows rows, int i, int y)
{
    const int d = rows.difference[y][i];
    return d > 0 && d >= rows.difference[y - 1][i] && d >= rows.difference[y + 1][i]
        && rows.minimum[y + 1][i] < 180;
}

// Tests row y of tile column i as an upper edge that passed isUpperEdgeCandidate. Returns n,
// the offset of the lower edge, or 0 when there is none; marks the band when it is darker
// than both of its neighbourhoods.
int testBand(TileRows rows, int i, int y, int height, int widthThreshold, ColumnBits &bands)
{
    const std::int16_t *const *D = rows.difference;
    const std::uint8_t *const *M = rows.minimum;
    const int lastK = std::min(widthThreshold - 1, height - 2 - y);
    int n = 0;
    int best = 0;
    for (int k = 1; k <= lastK; ++k) {
        const int value = D[y + k][i];
        if (value < best) {
            best = value;
            n = k;
        }
    }
    if (n == 0)
        return 0;
    int m = 0;
    int top = 0;
    for (int l = 1; l <= n; ++l) {
        const int value = D[y + n - l][i];
        if (value > top) {
            top = value;
            m = l;
        }
    }
    const int u = y + n - m;
    int bandSum = 0;
    for (int r = u + 1; r <= u + m; ++r)
        bandSum += M[r][i];
    const int b = bandSum / n;
    const int aboveFirst = std::max(0, u - m);
    int aboveSum = 0;
    for (int r = aboveFirst; r < u; ++r)
        aboveSum += M[r][i];
    if (b >= aboveSum / (u - aboveFirst))
        return n;
    const int belowLast = std::min(height - 1, u + 2 * m);
    int belowSum = 0;
    for (int r = u + m + 1; r <= belowLast; ++r)
        belowSum += M[r][i];
    if (b >= belowSum / (belowLast - u - m))
        return n;
    bands.setRun(i, u + 1, m);
    return n;
}

void testLane(
    TileRows rows, int i, int y, int height, int widthThreshold, SkipCount *skip, ColumnBits &bands)
{
    if (skip[i] > 0) {
        --skip[i];
        return;
    }
    if (isUpperEdgeCandidate(rows, i, y))
        skip[i] = SkipCount(testBand(rows, i, y, height, widthThreshold, bands));
}

// Row y for tile columns 0 ... width - 1, one column at a time after a vectorised pre-test.
void scanRowByColumn(TileRows rows, int width, int y, int height, int widthThreshold,
    SkipCount *skip, std::uint8_t *hits, ColumnBits &bands)
{
    const std::int16_t *above = rows.difference[y - 1];
    const std::int16_t *here = rows.difference[y];
    const std::int16_t *below = rows.difference[y + 1];
    const std::uint8_t *firstDark = rows.minimum[y + 1];
    for (int i = 0; i < width; ++i) {
        const int d = here[i];
        hits[i] = std::uint8_t(
            (d > 0) & (d >= above[i]) & (d >= below[i]) & (firstDark[i] < 180) & (skip[i] == 0));
        skip[i] -= skip[i] > 0;
    }
    for (int w = 0; w < (width + 7) / 8; ++w) {
        std::uint64_t word;
        std::memcpy(&word, hits + w * 8, 8);
        while (word) {
            const int i = w * 8 + std::countr_zero(word) / 8;
            word &= word - 1;
            skip[i] = SkipCount(testBand(rows, i, y, height, widthThreshold, bands));
        }
    }
}

// The whole test of row y for many columns at once, branch-free, in vectors of Lanes columns:
// a lane computes n, m and the three means as testBand does and is accepted or not by masks.
// Only for rows whose windows lie inside the photo (widthThreshold - 1 rows above y,
// 2 * (widthThreshold - 1) below), where the neighbour means always cover m rows; the band
// mean's division is done in float, exact for these small integers (the quotient stays
// further than 1/n from the next integer than float's error).
// Per lane it writes accepted (0 or 255) and, for accepted lanes, the upper edge's offset
// from y and the thickness m.
#if defined(__GNUC__) && !defined(__clang__)
#define TOLVANE_VECTOR_BAND_TEST 1

template <int Lanes> struct LaneVectors
{
    typedef std::int16_t I16 __attribute__((vector_size(2 * Lanes)));
    typedef std::uint8_t U8 __attribute__((vector_size(Lanes)));
    typedef std::int32_t I32 __attribute__((vector_size(4 * Lanes)));
    typedef float F32 __attribute__((vector_size(4 * Lanes)));
};

template <int T, int Lanes>
[[gnu::always_inline]] inline void testRowInVectors(TileRows rows, int y, int width,
    SkipCount *skip, std::uint8_t *accepted, std::uint8_t *upper, std::uint8_t *thickness)
{
    using I16 = typename LaneVectors<Lanes>::I16;
    using U8 = typename LaneVectors<Lanes>::U8;
    using I32 = typename LaneVectors<Lanes>::I32;
    using F32 = typename LaneVectors<Lanes>::F32;
    // D rows y - 1 ... y + T - 1 and M rows y - (T - 1) ... y + 2 (T - 1).
    const std::int16_t *dRow[T + 1];
    for (int k = 0; k <= T; ++k)
        dRow[k] = rows.difference[y - 1 + k];
    const std::uint8_t *mRow[3 * T - 2];
    for (int o = 0; o < 3 * T - 2; ++o)
        mRow[o] = rows.minimum[y - (T - 1) + o];

    for (int i = 0; i < width; i += Lanes) {
        I16 D[T + 1];
        for (int k = 0; k <= T; ++k)
            std::memcpy(&D[k], dRow[k] + i, sizeof(I16));
        I16 minimum[3 * T - 2];
        for (int o = 0; o < 3 * T - 2; ++o) {
            U8 bytes;
            std::memcpy(&bytes, mRow[o] + i, sizeof bytes);
            minimum[o] = __builtin_convertvector(bytes, I16);
        }
        const I16 *M = minimum + T - 1; // M[o] is row y + o
        I16 skipLeft;
        std::memcpy(&skipLeft, skip + i, sizeof skipLeft);
        const I16 zero = {};
        const I16 d = D[1];
        const I16 candidate = (d > 0) & (d >= D[0]) & (d >= D[2]) & (M[1] < 180) & (skipLeft == 0);

        // Lower edge: the strongest rise, the nearest one on ties.
        I16 best = zero;
        I16 n = zero;
        for (int k = 1; k <= T - 1; ++k) {
            const I16 stronger = D[k + 1] < best;
            best = stronger ? D[k + 1] : best;
            n = stronger ? std::int16_t(k) : n;
        }
        // Upper edge: the strongest drop in rows y ... y + n - 1, the lowest one on ties.
        I16 top = d;
        I16 edge = zero;
        for (int j = 1; j <= T - 2; ++j) {
            const I16 atLeast = (std::int16_t(j) < n) & (D[j + 1] >= top);
            top = atLeast ? D[j + 1] : top;
            edge = atLeast ? std::int16_t(j) : edge;
        }
        // Relative to y: band rows edge + 1 ... n, above edge - m ... edge - 1, below
        // n + 1 ... n + m, with m = n - edge.
        const I16 m = n - edge;
        const I16 aboveFirst = edge - m;
        const I16 belowLast = n + m;
        I16 aboveSum = zero;
        for (int o = -(T - 1); o <= T - 3; ++o)
            aboveSum += ((std::int16_t(o) >= aboveFirst) & (std::int16_t(o) < edge)) & M[o];
        I16 bandSum = zero;
        for (int o = 1; o <= T - 1; ++o)
            bandSum += ((std::int16_t(o) > edge) & (std::int16_t(o) <= n)) & M[o];
        I16 belowSum = zero;
        for (int o = 2; o <= 2 * T - 2; ++o)
            belowSum += ((std::int16_t(o) > n) & (std::int16_t(o) <= belowLast)) & M[o];

        const I16 tested = candidate & (n > 0);
        const I16 divisor = tested ? n : std::int16_t(1);
        const I16 b = __builtin_convertvector(
            __builtin_convertvector(
                __builtin_convertvector(bandSum, F32) / __builtin_convertvector(divisor, F32), I32),
            I16);
        // b < floor(sum / m) exactly when (b + 1) * m <= sum.
        const I16 needed = (b + 1) * m;
        const I16 darker = tested & (needed <= aboveSum) & (needed <= belowSum);

        skipLeft = tested ? n : skipLeft - (skipLeft > 0 ? std::int16_t(1) : std::int16_t(0));
        std::memcpy(skip + i, &skipLeft, sizeof skipLeft);
        const U8 acceptedBytes = __builtin_convertvector(darker, U8);
        const U8 upperBytes = __builtin_convertvector(edge, U8);
        const U8 thicknessBytes = __builtin_convertvector(m, U8);
        std::memcpy(accepted + i, &acceptedBytes, Lanes);
        std::memcpy(upper + i, &upperBytes, Lanes);
        std::memcpy(thickness + i, &thicknessBytes, Lanes);
    }
}

using RowTest
    = void (*)(TileRows, int, int, SkipCount *, std::uint8_t *, std::uint8_t *, std::uint8_t *);

// Vectors of 16 columns; the wider registers of AVX2 are used when the processor has them
// (the default build targets plain x86-64).
constexpr int vectorLanes = 16;
constexpr int largestVectorThreshold = 16;

template <int T>
void testRow(TileRows rows, int y, int width, SkipCount *skip, std::uint8_t *accepted,
    std::uint8_t *upper, std::uint8_t *thickness)
{
    testRowInVectors<T, vectorLanes>(rows, y, width, skip, accepted, upper, thickness);
}

#if defined(__x86_64__) || defined(__i386__)
template <int T>
[[gnu::target("avx2")]] void testRowAvx2(TileRows rows, int y, int width, SkipCount *skip,
    std::uint8_t *accepted, std::uint8_t *upper, std::uint8_t *thickness)
{
    testRowInVectors<T, vectorLanes>(rows, y, width, skip, accepted, upper, thickness);
}
#endif

template <int... Ts>
constexpr std::array<RowTest, sizeof...(Ts)> rowTests(std::integer_sequence<int, Ts...>, bool avx2)
{
#if defined(__x86_64__) || defined(__i386__)
    if (avx2)
        return {&testRowAvx2<Ts + 2>...};
#endif
    (void)avx2;
    return {&testRow<Ts + 2>...};
}

// The vectorised test for widthThreshold, or nullptr when the threshold is too large for it.
RowTest vectorRowTest(int widthThreshold)
{
    if (widthThreshold < 2 || widthThreshold > largestVectorThreshold)
        return nullptr;
    using Thresholds = std::make_integer_sequence<int, largestVectorThreshold - 1>;
#if defined(__x86_64__) || defined(__i386__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
#else
    const bool avx2 = false;
#endif
    static const auto tests = rowTests(Thresholds(), avx2);
    return tests[widthThreshold - 2];
}
#else
constexpr int vectorLanes = 16;
using RowTest
    = void (*)(TileRows, int, int, SkipCount *, std::uint8_t *, std::uint8_t *, std::uint8_t *);
RowTest vectorRowTest(int)
{
    return nullptr;
}
#endif

struct TileScratch
{
    std::vector<SkipCount> skip;
    std::vector<std::uint8_t> hits;
    std::vector<std::uint8_t> accepted;
    std::vector<std::uint8_t> upper;
    std::vector<std::uint8_t> thickness;
};

// Scans columns x0 ... x0 + width - 1 over all rows into `out`. Columns are scanned side by
// side, row by row, each keeping its own count of rows to pass over, so that the planes are
// read along their rows: 5x faster than reading down columns on a 6000x4000 photo.
// makeRowsReady(y) is called before row y is tested and must make readable the rows
// y - widthThreshold + 1 ... y + 2 * widthThreshold - 2 that lie in the photo.
template <typename MakeRowsReady>
void scanTile(TileRows rows, int x0, int width, int height, int widthThreshold,
    MakeRowsReady makeRowsReady, TileScratch &scratch, ColumnBits &out)
{
    out.reset(x0, width, height);
    const int padded = (width + vectorLanes - 1) / vectorLanes * vectorLanes;
    scratch.skip.assign(padded, 0);
    scratch.hits.assign(padded, 0);
    scratch.accepted.assign(padded, 0);
    scratch.upper.assign(padded, 0);
    scratch.thickness.assign(padded, 0);
    SkipCount *skip = scratch.skip.data();

    const RowTest rowTest = vectorRowTest(widthThreshold);
    const int vectorWidth = width / vectorLanes * vectorLanes;
    const int firstVectorRow = widthThreshold - 1;
    const int lastVectorRow = height - 1 - 2 * (widthThreshold - 1);
    for (int y = 1; y <= height - 2; ++y) {
        makeRowsReady(y);
        if (!rowTest || y < firstVectorRow || y > lastVectorRow || vectorWidth == 0) {
            scanRowByColumn(rows, width, y, height, widthThreshold, skip, scratch.hits.data(), out);
            continue;
        }
        rowTest(rows, y, vectorWidth, skip, scratch.accepted.data(), scratch.upper.data(),
            scratch.thickness.data());
        for (int w = 0; w < vectorWidth / 8; ++w) {
            std::uint64_t word;
            std::memcpy(&word, scratch.accepted.data() + w * 8, 8);
            word &= 0x0101010101010101ull;
            while (word) {
                const int i = w * 8 + std::countr_zero(word) / 8;
                word &= word - 1;
                out.setRun(i, y + scratch.upper[i] + 1, scratch.thickness[i]);
            }
        }
        for (int i = vectorWidth; i < width; ++i)
            testLane(rows, i, y, height, widthThreshold, skip, out);
    }
}

bool findsNothing(int width, int height, int widthThreshold)
{
    return width == 0 || height <= 2 || widthThreshold <= 1;
}

CandidateMask emptyCandidates(int width, int height)
{
    CandidateMask candidates;
    candidates.width = width;
    candidates.height = height;
    candidates.columnStart.assign(std::size_t(width) + 1, 0);
    return candidates;
}

CandidateMask joinTiles(int width, int height, const std::vector<ColumnBits> &tiles)
{
    CandidateMask candidates;
    candidates.width = width;
    candidates.height = height;
    for (const ColumnBits &tile : tiles)
        tile.appendBands(candidates);
    return candidates;
}

} // namespace

CandidateMask scanBands(const DetectionPlanes &planes, int widthThreshold)
{
    const int W = planes.minimum.width();
    const int H = planes.minimum.height();
    if (findsNothing(W, H, widthThreshold))
        return emptyCandidates(W, H);
    constexpr int tileWidth = TileBandScanner::tileWidth;
    const int tileCount = TileBandScanner::tileCount(W);
    std::vector<ColumnBits> tiles(tileCount);
    forEachChunk(tileCount, planes.minimum.pixelCount() >= threadedPixelCount, [&](int tile) {
        const int x0 = tile * tileWidth;
        std::vector<const std::int16_t *> difference(H);
        std::vector<const std::uint8_t *> minimum(H);
        for (int y = 0; y < H; ++y) {
            difference[y] = planes.difference.data() + std::size_t(y) * W + x0;
            minimum[y] = planes.minimum.data() + std::size_t(y) * W + x0;
        }
        TileScratch scratch;
        scanTile(
            TileRows {difference.data(), minimum.data()}, x0, std::min(tileWidth, W - x0), H,
            widthThreshold, [](int) {}, scratch, tiles[tile]);
    });
    return joinTiles(W, H, tiles);
}

// The planes of one tile of columns, computed row by row into rings that hold just the rows a
// band test can reach: widthThreshold - 1 above the tested row to 2 * (widthThreshold - 1)
// below it.
class TileBandScanner::Stream
{
public:
    Stream(Plane<const Argb> photo, int widthThreshold)
        : m_photo(photo)
        , m_widthThreshold(widthThreshold)
        , m_ringRows(3 * widthThreshold)
        , m_differenceRing(std::size_t(m_ringRows) * tileWidth, 0)
        , m_minimumRing(std::size_t(m_ringRows) * tileWidth, 0)
        , m_upperBrightness(tileWidth)
        , m_lowerBrightness(tileWidth)
        , m_difference(photo.height)
        , m_minimum(photo.height)
        , m_lookahead(2 * widthThreshold - 2)
    {
        for (int y = 0; y < photo.height; ++y) {
            const std::size_t slot = std::size_t(y % m_ringRows) * tileWidth;
            m_difference[y] = m_differenceRing.data() + slot;
            m_minimum[y] = m_minimumRing.data() + slot;
        }
    }

    void scan(int tile, ColumnBits &out)
    {
        m_x0 = tile * tileWidth;
        m_width = std::min(tileWidth, m_photo.width - m_x0);
        if (findsNothing(m_photo.width, m_photo.height, m_widthThreshold)) {
            out.reset(m_x0, m_width, m_photo.height);
            return;
        }
        m_lastRow = 0;
        computeBrightnessMinimumRow(
            m_photo.rowData(0) + m_x0, m_width, m_upperBrightness.data(), m_minimum[0]);
        scanTile(
            TileRows {m_difference.data(), m_minimum.data()}, m_x0, m_width, m_photo.height,
            m_widthThreshold, [this](int y) { makeRowsReady(y); }, m_scratch, out);
    }

private:
    void makeRowsReady(int y)
    {
        const int wanted = std::min(m_photo.height - 1, y + m_lookahead);
        while (m_lastRow < wanted) {
            const int r = ++m_lastRow;
            computeBrightnessMinimumRow(
                m_photo.rowData(r) + m_x0, m_width, m_lowerBrightness.data(), m_minimum[r]);
            computeDifferenceRow(
                m_upperBrightness.data(), m_lowerBrightness.data(), m_width, m_difference[r - 1]);
            std::swap(m_upperBrightness, m_lowerBrightness);
            if (r == m_photo.height - 1)
                std::fill_n(m_difference[r], m_width, std::int16_t(0));
        }
    }

    Plane<const Argb> m_photo;
    int m_widthThreshold;
    int m_ringRows;
    std::vector<std::int16_t> m_differenceRing;
    std::vector<std::uint8_t> m_minimumRing;
    std::vector<std::uint8_t> m_upperBrightness;
    std::vector<std::uint8_t> m_lowerBrightness;
    std::vector<std::int16_t *> m_difference;
    std::vector<std::uint8_t *> m_minimum;
    int m_lookahead;
    int m_x0 = 0;
    int m_width = 0;
    int m_lastRow = 0;
    TileScratch m_scratch;
};

TileBandScanner::TileBandScanner(Plane<const Argb> photo, int widthThreshold)
    : m_stream(std::make_unique<Stream>(photo, widthThreshold))
{ }

TileBandScanner::TileBandScanner(TileBandScanner &&) noexcept = default;
TileBandScanner::~TileBandScanner() = default;

void TileBandScanner::scan(int tile, ColumnBits &candidates)
{
    m_stream->scan(tile, candidates);
}

CandidateMask scanBands(Plane<const Argb> photo, int widthThreshold)
{
    const int W = photo.width;
    const int H = photo.height;
    if (findsNothing(W, H, widthThreshold))
        return emptyCandidates(W, H);
    const int tileCount = TileBandScanner::tileCount(W);
    std::vector<ColumnBits> tiles(tileCount);
    forEachChunk(tileCount, photo.pixelCount() >= threadedPixelCount,
        [&](int tile) { TileBandScanner(photo, widthThreshold).scan(tile, tiles[tile]); });
    return joinTiles(W, H, tiles);
}

void paintCandidates(const CandidateMask &candidates, Plane<std::uint8_t> plane)
{
    assert(plane.width == candidates.width && plane.height == candidates.height);
    for (int y = 0; y < plane.height; ++y)
        std::fill_n(plane.rowData(y), plane.width, std::uint8_t(0));
    for (const ColumnRun &band : candidates.bands) {
        for (int y = band.y; y < band.y + band.length; ++y)
            plane.at(band.x, y) = 255;
    }
}

CandidateMask candidatesFromPlane(Plane<const std::uint8_t> plane)
{
    ColumnBits bits;
    bits.reset(0, plane.width, plane.height);
    for (int x = 0; x < plane.width; ++x) {
        for (int y = 0; y < plane.height; ++y) {
            if (plane.at(x, y) == 255)
                bits.setRun(x, y, 1);
        }
    }
    CandidateMask candidates;
    candidates.width = plane.width;
    candidates.height = plane.height;
    bits.appendBands(candidates);
    return candidates;
}

void ColumnBits::reset(int first, int count, int rows)
{
    firstColumn = first;
    columnCount = count;
    height = rows;
    wordsPerColumn = rows / 64 + 2;
    words.assign(std::size_t(count) * (wordsPerColumn + 1), 0);
}

void ColumnBits::setRun(int i, int y, int length)
{
    std::uint64_t *bits = words.data() + std::size_t(i) * (wordsPerColumn + 1) + 1;
    while (length > 0) {
        const int shift = y & 63;
        const int count = std::min(length, 64 - shift);
        const std::uint64_t run = count == 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << count) - 1;
        bits[y >> 6] |= run << shift;
        y += count;
        length -= count;
    }
}

void ColumnBits::appendBands(BandColumns &bands) const
{
    if (bands.bands.empty() && bands.columnStart.size() == 1)
        bands.firstColumn = firstColumn;
    for (int i = 0; i < columnCount; ++i) {
        const std::uint64_t *bits = column(i);
        int y = 0;
        while (y < height) {
            // Next set bit at or after y, then the next clear bit after it.
            int w = y >> 6;
            std::uint64_t word = bits[w] & (~std::uint64_t(0) << (y & 63));
            while (!word && ++w < wordsPerColumn)
                word = bits[w];
            if (!word)
                break;
            const int top = w * 64 + std::countr_zero(word);
            w = top >> 6;
            word = ~bits[w] & (~std::uint64_t(0) << (top & 63));
            while (!word)
                word = ~bits[++w];
            const int end = w * 64 + std::countr_zero(word);
            bands.bands.push_back({firstColumn + i, top, end - top});
            y = end;
        }
        bands.columnStart.push_back(std::int32_t(bands.bands.size()));
    }
}

} // namespace tolvane
