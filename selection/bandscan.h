#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "core/plane.h"
#include "core/wiretypes.h"
#include "selection/planes.h"

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

// The band scan's result for the whole photo: a pixel is a candidate when a band covers it.
struct CandidateMask : BandColumns
{
    int width = 0;
    int height = 0;
};

// Walks down every column looking for thin bands darker than the rows above and below them,
// bounded by a brightness drop above and a rise below, at most widthThreshold - 1 rows thick.
// Finds nothing when the photo has 2 rows or fewer or widthThreshold <= 1.
CandidateMask scanBands(const DetectionPlanes &planes, int widthThreshold);

// The same result computed straight from the photo, keeping only a few rows of the planes at
// a time.
CandidateMask scanBands(Plane<const Argb> photo, int widthThreshold);

// Writes every pixel of `plane` (the mask's size): 255 on the bands, 0 elsewhere.
void paintCandidates(const CandidateMask &candidates, Plane<std::uint8_t> plane);

// The candidate mask of a 0/255 plane: its bands are the maximal vertical runs of 255 pixels.
CandidateMask candidatesFromPlane(Plane<const std::uint8_t> plane);

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
    // The runs as bands, column by column.
    void appendBands(BandColumns &bands) const;
};

// The band scan of scanBands(photo, widthThreshold) split into tiles of adjacent columns that
// can be scanned independently, on any thread; one scanner per thread.
class TileBandScanner
{
public:
    static constexpr int tileWidth = 512;

    TileBandScanner(Plane<const Argb> photo, int widthThreshold);
    // Reads the planes instead of computing them; they must outlive the scanner.
    TileBandScanner(const DetectionPlanes &planes, int widthThreshold);
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
