#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "core/plane.h"
#include "core/wiretypes.h"

namespace tolvane {

// The bands of a range of columns as column runs, column by column (x ascending) and within
// a column from the top. In a column the bands never overlap or touch.
struct BandColumns
{
    int firstColumn = 0;
    std::vector<ColumnRun> bands;
    // The bands of column x are bands[columnStart[x - firstColumn]] up to (not including)
    // bands[columnStart[x - firstColumn + 1]].
    std::vector<std::int32_t> columnStart {0};

    int columnCount() const { return int(columnStart.size()) - 1; }
    std::int32_t columnBegin(int x) const { return columnStart[x - firstColumn]; }
    std::span<const ColumnRun> column(int x) const
    {
        return std::span(bands).subspan(columnBegin(x), columnBegin(x + 1) - columnBegin(x));
    }
};

// The candidate pixels of a range of columns as bits, one bit vector per column: row r is bit
// r % 64 of word r / 64. Bands are the maximal runs of set bits. Each column is framed by zero
// words, word -1 and the word after its last row, so that neighbouring words can be read
// without checks.
struct ColumnBits
{
    int firstColumn = 0;
    int columnCount = 0;
    int height = 0;
    // Words 0 ... wordsPerColumn - 1 of a column hold its rows and the zero word after them.
    int wordsPerColumn = 0;
    std::vector<std::uint64_t> words;

    // Clears all bits.
    void reset(int firstColumn, int columnCount, int height);
    const std::uint64_t *column(int i) const
    {
        return words.data() + std::size_t(i) * (wordsPerColumn + 1) + 1;
    }
    std::uint64_t *mutableColumn(int i)
    {
        return words.data() + std::size_t(i) * (wordsPerColumn + 1) + 1;
    }
    // Sets rows y ... y + length - 1 of the i-th column of the range.
    void setRun(int i, int y, int length);
};

// Where a TileBandScanner takes the rows of the planes it reads: the minimum M(x, y) =
// min(r, g, b) and the vertical difference D(x, y) = V(x, y) - V(x, y + 1) of the brightness V,
// as 16-bit values. One per scanner, so that it may keep what it needs from row to row.
class BandScanRows
{
public:
    virtual ~BandScanRows() = default;
    // The photo's size.
    virtual int width() const = 0;
    virtual int height() const = 0;
    // Row r of M and, when r > 0, row r - 1 of D (null for r = 0), for columns
    // x0 ... x0 + count - 1; count is at most TileBandScanner::tileWidth. The rows of a tile are
    // asked for in order from row 0 on; D's last row is never asked for.
    virtual void makeRow(
        int r, int x0, int count, std::int16_t *minimum, std::int16_t *differenceAbove)
        = 0;
};

// The band scan, split into tiles of adjacent columns that can be scanned independently, on any
// thread; one scanner per thread. It walks down every column looking for thin bands darker than
// the rows above and below them, bounded by a brightness drop above and a rise below, at most
// widthThreshold - 1 rows thick, and finds nothing when the photo has 2 rows or fewer or
// widthThreshold <= 1.
class TileBandScanner
{
public:
    static constexpr int tileWidth = 512;

    // Computes the rows from the photo as it goes, a few at a time.
    TileBandScanner(Plane<const Argb> photo, int widthThreshold);
    TileBandScanner(std::unique_ptr<BandScanRows> rows, int widthThreshold);
    TileBandScanner(TileBandScanner &&) noexcept;
    ~TileBandScanner();

    static int tileCount(int photoWidth) { return (photoWidth + tileWidth - 1) / tileWidth; }
    // The candidates of columns tile * tileWidth ... (tile + 1) * tileWidth - 1.
    void scan(int tile, ColumnBits &candidates);

private:
    class Stream;
    std::unique_ptr<Stream> m_stream;
};

} // namespace tolvane
