#include "selection/bandscan.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <utility>

#include "selection/planes.h"
#include "selection/simd.h"

namespace tolvane {

namespace {

// Rows of the two planes for a tile of columns, addressed by image row; entry 0 of a row is
// the tile's first column. Both hold 16-bit values, so that the vectorised test reads them
// without conversion.
struct TileRows
{
    const std::int16_t *const *difference = nullptr;
    const std::int16_t *const *minimum = nullptr;
};

// The bands found so far in a tile, as bits in rows: bit i % 64 of word i / 64 of a row is
// column i. Only the rows that tests can still reach are kept, in a ring; complete blocks of
// 64 rows are moved into the tile's column bits.
class RowMarks
{
public:
    // Tests reach widthThreshold - 1 rows below the tested row, whose 64-row block is moved
    // out once the tested row reaches its end.
    void start(int width, int widthThreshold)
    {
        m_ringRows = int(std::bit_ceil(unsigned(widthThreshold + 128)));
        m_wordsPerRow = (width + 63) / 64;
        m_bits.assign(std::size_t(m_ringRows) * m_wordsPerRow, 0);
    }
    std::uint64_t *row(int y)
    {
        return m_bits.data() + std::size_t(y & (m_ringRows - 1)) * m_wordsPerRow;
    }
    void setRun(int i, int top, int length)
    {
        for (int y = top; y < top + length; ++y)
            row(y)[i >> 6] |= std::uint64_t(1) << (i & 63);
    }
    // Moves rows 64 * block ... 64 * block + 63 into `out` and clears them.
    void moveBlock(int block, ColumnBits &out)
    {
        std::uint64_t square[64];
        for (int w = 0; w < m_wordsPerRow; ++w) {
            bool any = false;
            for (int k = 0; k < 64; ++k) {
                std::uint64_t &word = row(64 * block + k)[w];
                square[k] = word;
                any |= word != 0;
                word = 0;
            }
            if (!any)
                continue;
            transpose(square);
            const int columns = std::min(64, out.columnCount - 64 * w);
            for (int j = 0; j < columns; ++j)
                out.mutableColumn(64 * w + j)[block] = square[j];
        }
    }

private:
    // Bit j of word k moves to bit k of word j.
    static void transpose(std::uint64_t a[64])
    {
        std::uint64_t mask = 0x00000000FFFFFFFFull;
        for (int j = 32; j; j >>= 1, mask ^= mask << j) {
            for (int k = 0; k < 64; k = ((k | j) + 1) & ~j) {
                const std::uint64_t t = ((a[k] >> j) ^ a[k | j]) & mask;
                a[k] ^= t << j;
                a[k | j] ^= t;
            }
        }
    }

    int m_ringRows = 0;
    int m_wordsPerRow = 0;
    std::vector<std::uint64_t> m_bits;
};

// The scan keeps, for each column of a tile, how many rows it still has to pass over before it
// tests a row as an upper edge again: n after a test that found a lower edge n rows down.
using SkipCount = std::int32_t;

bool isUpperEdgeCandidate(TileRows rows, int i, int y)
{
    const int d = rows.difference[y][i];
    return d > 0 && d >= rows.difference[y - 1][i] && d >= rows.difference[y + 1][i]
        && rows.minimum[y + 1][i] < 180;
}

// Tests row y of tile column i as an upper edge that passed isUpperEdgeCandidate. Returns n,
// the offset of the lower edge, or 0 when there is none; marks the band when it is darker
// than both of its neighbourhoods.
int testBand(TileRows rows, int i, int y, int height, int widthThreshold, RowMarks &marks)
{
    const std::int16_t *const *D = rows.difference;
    const std::int16_t *const *M = rows.minimum;
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
    marks.setRun(i, u + 1, m);
    return n;
}

void testLane(
    TileRows rows, int i, int y, int height, int widthThreshold, SkipCount *skip, RowMarks &marks)
{
    if (skip[i] > 0) {
        --skip[i];
        return;
    }
    if (isUpperEdgeCandidate(rows, i, y))
        skip[i] = SkipCount(testBand(rows, i, y, height, widthThreshold, marks));
}

// Row y for tile columns 0 ... width - 1, one column at a time after a vectorised pre-test.
void scanRowByColumn(TileRows rows, int width, int y, int height, int widthThreshold,
    SkipCount *skip, std::uint8_t *hits, RowMarks &marks)
{
    const std::int16_t *above = rows.difference[y - 1];
    const std::int16_t *here = rows.difference[y];
    const std::int16_t *below = rows.difference[y + 1];
    const std::int16_t *firstDark = rows.minimum[y + 1];
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
            skip[i] = SkipCount(testBand(rows, i, y, height, widthThreshold, marks));
        }
    }
}

// Columns are tested 16 at a time with AVX2, else 8 at a time.
constexpr int widestVector = 16;

struct RowTest
{
    void (*test)(TileRows, int, int, SkipCount *, RowMarks &) = nullptr;
    int lanes = 0;
};

#if TOLVANE_HAS_VECTORS
constexpr int largestVectorThreshold = 16;

// A bit per lane: bit i is set when byte i is not zero.
template <int Lanes> std::uint64_t laneBits(typename simd::Vectors<Lanes>::U8 lanes)
{
    std::uint64_t bits = 0;
    for (int first = 0; first < Lanes; first += 16) {
        const int count = std::min(16, Lanes - first);
#if defined(__x86_64__) || defined(__i386__)
        typedef char Chars __attribute__((vector_size(16)));
        Chars chars = {};
        std::memcpy(&chars, reinterpret_cast<const char *>(&lanes) + first, count);
        bits |= std::uint64_t(unsigned(__builtin_ia32_pmovmskb128(chars))) << first;
#else
        for (int i = 0; i < count; ++i)
            bits |= std::uint64_t(lanes[first + i] != 0) << (first + i);
#endif
    }
    return bits;
}

// The whole test of row y for many columns at once, branch-free, in vectors of Lanes columns:
// a lane computes n, m and the three means as testBand does and is accepted or not by masks,
// and the band's rows are marked from masks too. Only for rows whose windows lie inside the
// photo (T - 1 rows above y, 2 (T - 1) below), where the neighbour means always cover m rows.
// The band mean's division is done in float, exact for these small integers: the quotient
// stays further from the next integer (1/n) than float's error (below 0.002).
template <int T, int Lanes>
[[gnu::always_inline]] inline void testRowInVectors(
    TileRows rows, int y, int width, SkipCount *skip, RowMarks &marks)
{
    using I16 = typename simd::Vectors<Lanes>::I16;
    using U8 = typename simd::Vectors<Lanes>::U8;
    using I32 = typename simd::Vectors<Lanes>::I32;
    using F32 = typename simd::Vectors<Lanes>::F32;
    // D rows y - 1 ... y + T - 1, M rows y - (T - 1) ... y + 2 (T - 1).
    const std::int16_t *dRow[T + 1];
    for (int k = 0; k <= T; ++k)
        dRow[k] = rows.difference[y - 1 + k];
    const std::int16_t *mRow[3 * T - 2];
    for (int o = 0; o < 3 * T - 2; ++o)
        mRow[o] = rows.minimum[y - (T - 1) + o];
    std::uint64_t *markRow[T];
    for (int o = 1; o < T; ++o)
        markRow[o] = marks.row(y + o);

    for (int i = 0; i < width; i += Lanes) {
        I16 D[T + 1];
        for (int k = 0; k <= T; ++k)
            std::memcpy(&D[k], dRow[k] + i, sizeof(I16));
        I16 minimum[3 * T - 2];
        for (int o = 0; o < 3 * T - 2; ++o)
            std::memcpy(&minimum[o], mRow[o] + i, sizeof(I16));
        const I16 *M = minimum + T - 1; // M[o] is row y + o
        // Counts stay below T here, so 16 bits hold them.
        I32 skipCount;
        std::memcpy(&skipCount, skip + i, sizeof skipCount);
        I16 skipLeft = __builtin_convertvector(skipCount, I16);
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
        I16 inBand[T];
        I16 bandSum = zero;
        for (int o = 1; o <= T - 1; ++o) {
            inBand[o] = (std::int16_t(o) > edge) & (std::int16_t(o) <= n);
            bandSum += inBand[o] & M[o];
        }
        I16 aboveSum = zero;
        for (int o = -(T - 1); o <= T - 3; ++o)
            aboveSum += ((std::int16_t(o) >= aboveFirst) & (std::int16_t(o) < edge)) & M[o];
        I16 belowSum = zero;
        for (int o = 2; o <= 2 * T - 2; ++o)
            belowSum += ((std::int16_t(o) > n) & (std::int16_t(o) <= belowLast)) & M[o];

        const I16 tested = candidate & (n > 0);
        const I16 divisor = tested ? n : std::int16_t(1);
        // Untested lanes take b = 0: their sums, up to 15 * 255, would overflow (b + 1) * m.
        const I16 b = __builtin_convertvector(
            __builtin_convertvector(__builtin_convertvector(tested & bandSum, F32)
                    / __builtin_convertvector(divisor, F32),
                I32),
            I16);
        // b < floor(sum / m) exactly when (b + 1) * m <= sum.
        const I16 needed = (b + 1) * m;
        const I16 darker = tested & (needed <= aboveSum) & (needed <= belowSum);

        skipLeft = tested ? n : skipLeft - (skipLeft > 0 ? std::int16_t(1) : std::int16_t(0));
        skipCount = __builtin_convertvector(skipLeft, I32);
        std::memcpy(skip + i, &skipCount, sizeof skipCount);
        for (int o = 1; o <= T - 1; ++o) {
            const std::uint64_t bits
                = laneBits<Lanes>(__builtin_convertvector(darker & inBand[o], U8));
            markRow[o][i >> 6] |= bits << (i & 63);
        }
    }
}

// Vectors of one register: wider ones are split by the compiler into scalar code on plain
// x86-64, which made the test 3.5x slower.
template <int T> void testRow(TileRows rows, int y, int width, SkipCount *skip, RowMarks &marks)
{
    testRowInVectors<T, 8>(rows, y, width, skip, marks);
}

template <int T>
TOLVANE_AVX2 void testRowAvx2(TileRows rows, int y, int width, SkipCount *skip, RowMarks &marks)
{
    testRowInVectors<T, 16>(rows, y, width, skip, marks);
}

template <int... Ts> std::array<RowTest, sizeof...(Ts)> rowTests(std::integer_sequence<int, Ts...>)
{
    if (simd::hasAvx2())
        return {RowTest {&testRowAvx2<Ts + 2>, 16}...};
    return {RowTest {&testRow<Ts + 2>, 8}...};
}

// The vectorised test for widthThreshold, or none when the threshold is too large for it.
RowTest vectorRowTest(int widthThreshold)
{
    if (widthThreshold < 2 || widthThreshold > largestVectorThreshold)
        return {};
    static const auto tests
        = rowTests(std::make_integer_sequence<int, largestVectorThreshold - 1>());
    return tests[widthThreshold - 2];
}
#else
RowTest vectorRowTest(int)
{
    return {};
}
#endif

// Lower edges are looked for no further down than row H - 2, so any threshold above the
// height works as the height does; the smaller value bounds the rings and skip counts.
int effectiveThreshold(int widthThreshold, int height)
{
    return std::min(widthThreshold, std::max(height, 2));
}

bool findsNothing(int width, int height, int widthThreshold)
{
    return width == 0 || height <= 2 || widthThreshold <= 1;
}

} // namespace

namespace {

// The rows computed from the photo as the scan goes, keeping the brightness of the row above.
class PhotoScanRows final : public BandScanRows
{
public:
    explicit PhotoScanRows(Plane<const Argb> photo)
        : m_photo(photo)
        , m_brightness(TileBandScanner::tileWidth)
        , m_unused(TileBandScanner::tileWidth)
    { }
    int width() const override { return m_photo.width; }
    int height() const override { return m_photo.height; }
    void makeRow(
        int r, int x0, int count, std::int16_t *minimum, std::int16_t *differenceAbove) override
    {
        computeScanRow(m_photo.rowData(r) + x0, count, m_brightness.data(), minimum,
            differenceAbove ? differenceAbove : m_unused.data());
    }

private:
    Plane<const Argb> m_photo;
    std::vector<std::int16_t> m_brightness;
    std::vector<std::int16_t> m_unused;
};

} // namespace

// The planes of one tile of columns, made row by row into rings that hold just the rows a band
// test can reach: widthThreshold - 1 above the tested row to 2 * (widthThreshold - 1) below it.
class TileBandScanner::Stream
{
public:
    Stream(std::unique_ptr<BandScanRows> rows, int widthThreshold)
        : m_rows(std::move(rows))
        , m_height(m_rows->height())
        , m_widthThreshold(effectiveThreshold(widthThreshold, m_height))
        , m_ringRows(3 * m_widthThreshold)
        , m_differenceRing(std::size_t(m_ringRows) * tileWidth, 0)
        , m_minimumRing(std::size_t(m_ringRows) * tileWidth, 0)
        , m_difference(m_height)
        , m_minimum(m_height)
        , m_lookahead(2 * m_widthThreshold - 2)
    {
        for (int y = 0; y < m_height; ++y) {
            const std::size_t slot = std::size_t(y % m_ringRows) * tileWidth;
            m_difference[y] = m_differenceRing.data() + slot;
            m_minimum[y] = m_minimumRing.data() + slot;
        }
    }

    void scan(int tile, ColumnBits &out)
    {
        const int totalWidth = m_rows->width();
        m_x0 = tile * tileWidth;
        m_width = std::min(tileWidth, totalWidth - m_x0);
        out.reset(m_x0, m_width, m_height);
        if (findsNothing(totalWidth, m_height, m_widthThreshold))
            return;
        m_lastRow = -1;
        scanTile(out);
    }

private:
    // Scans the tile's columns over all rows. Columns are scanned side by side, row by row,
    // each keeping its own count of rows to pass over, so that the planes are read along their
    // rows and most rows are tested in vectors: 68 ms instead of 290 ms for scanning column by
    // column, one test at a time (noisy 6000x4000 photo, one core of the 2-core machine, -O3).
    void scanTile(ColumnBits &out)
    {
        const int width = m_width;
        const int height = m_height;
        const int widthThreshold = m_widthThreshold;
        const TileRows rows {m_difference.data(), m_minimum.data()};
        const int padded = (width + widestVector - 1) / widestVector * widestVector;
        m_skip.assign(padded, 0);
        m_hits.assign(padded, 0);
        m_marks.start(width, widthThreshold);
        SkipCount *skip = m_skip.data();

        const RowTest rowTest = vectorRowTest(widthThreshold);
        const int vectorWidth = rowTest.lanes ? width / rowTest.lanes * rowTest.lanes : 0;
        const int firstVectorRow = widthThreshold - 1;
        const int lastVectorRow = height - 1 - 2 * (widthThreshold - 1);
        int movedBlocks = 0;
        for (int y = 1; y <= height - 2; ++y) {
            makeRowsReady(y);
            if (!rowTest.test || y < firstVectorRow || y > lastVectorRow || vectorWidth == 0) {
                scanRowByColumn(
                    rows, width, y, height, widthThreshold, skip, m_hits.data(), m_marks);
            } else {
                rowTest.test(rows, y, vectorWidth, skip, m_marks);
                for (int i = vectorWidth; i < width; ++i)
                    testLane(rows, i, y, height, widthThreshold, skip, m_marks);
            }
            // Tests of row y mark rows below it only, so the block ending at y is complete.
            if ((y & 63) == 63)
                m_marks.moveBlock(movedBlocks++, out);
        }
        while (64 * movedBlocks < height)
            m_marks.moveBlock(movedBlocks++, out);
    }

    void makeRowsReady(int y)
    {
        const int wanted = std::min(m_height - 1, y + m_lookahead);
        while (m_lastRow < wanted) {
            const int r = ++m_lastRow;
            // Row r's difference needs row r + 1: making row r completes row r - 1's.
            m_rows->makeRow(r, m_x0, m_width, m_minimum[r], r > 0 ? m_difference[r - 1] : nullptr);
            if (r == m_height - 1)
                std::fill_n(m_difference[r], m_width, std::int16_t(0));
        }
    }

    std::unique_ptr<BandScanRows> m_rows;
    int m_height;
    int m_widthThreshold;
    int m_ringRows;
    std::vector<std::int16_t> m_differenceRing;
    std::vector<std::int16_t> m_minimumRing;
    std::vector<std::int16_t *> m_difference;
    std::vector<std::int16_t *> m_minimum;
    int m_lookahead;
    int m_x0 = 0;
    int m_width = 0;
    int m_lastRow = -1;
    std::vector<SkipCount> m_skip;
    std::vector<std::uint8_t> m_hits;
    RowMarks m_marks;
};

TileBandScanner::TileBandScanner(Plane<const Argb> photo, int widthThreshold)
    : TileBandScanner(std::make_unique<PhotoScanRows>(photo), widthThreshold)
{ }

TileBandScanner::TileBandScanner(std::unique_ptr<BandScanRows> rows, int widthThreshold)
    : m_stream(std::make_unique<Stream>(std::move(rows), widthThreshold))
{ }

TileBandScanner::TileBandScanner(TileBandScanner &&) noexcept = default;
TileBandScanner::~TileBandScanner() = default;

void TileBandScanner::scan(int tile, ColumnBits &candidates)
{
    m_stream->scan(tile, candidates);
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

} // namespace tolvane
