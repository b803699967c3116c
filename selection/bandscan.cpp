#include "selection/bandscan.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "selection/workers.h"

namespace tolvane {

namespace {

// Columns are scanned in tiles: each tile walks all rows once, keeping for every column the
// next row it may test, so that the planes are read row by row rather than down columns with
// a stride of the photo's width.
constexpr int tileWidth = 512;

// Rows of the two planes for a tile of columns, addressed by image row; entry 0 of a row is
// the tile's first column.
struct TileRows
{
    const std::int16_t *const *difference = nullptr;
    const std::uint8_t *const *minimum = nullptr;
};

// Tests row y of tile column i as an upper edge that already passed the peak and paleness
// tests. Returns n, the offset of the lower edge, or 0 when there is none; appends the band
// when it is darker than both of its neighbourhoods.
inline int testBand(TileRows rows, int i, int x, int y, int height, int widthThreshold,
    std::vector<ColumnRun> &bands)
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
    bands.push_back({x, u + 1, m});
    return n;
}

struct TileScratch
{
    std::vector<std::int32_t> nextRow;
    std::vector<std::uint8_t> hits;
};

// Scans columns x0 ... x0 + width - 1 over all rows, appending the accepted bands in the order
// found (row by row). makeRowsReady(y) is called before row y is tested and must make the
// rows y - widthThreshold + 1 ... y + 2 * widthThreshold - 2 (clipped to the photo) readable.
template <typename MakeRowsReady>
void scanTile(TileRows rows, int x0, int width, int height, int widthThreshold,
    MakeRowsReady makeRowsReady, TileScratch &scratch, std::vector<ColumnRun> &bands)
{
    scratch.nextRow.assign(width, 1);
    // Padded to whole 8-byte words, which are tested for hits at once.
    const int words = (width + 7) / 8;
    scratch.hits.assign(std::size_t(words) * 8, 0);
    std::int32_t *nextRow = scratch.nextRow.data();
    std::uint8_t *hits = scratch.hits.data();
    for (int y = 1; y <= height - 2; ++y) {
        makeRowsReady(y);
        const std::int16_t *above = rows.difference[y - 1];
        const std::int16_t *here = rows.difference[y];
        const std::int16_t *below = rows.difference[y + 1];
        const std::uint8_t *firstDark = rows.minimum[y + 1];
        // The peak and paleness tests for the whole row at once; vectorised by the compiler.
        for (int i = 0; i < width; ++i) {
            const int d = here[i];
            hits[i]
                = std::uint8_t((d > 0) & (d >= above[i]) & (d >= below[i]) & (firstDark[i] < 180));
        }
        for (int w = 0; w < words; ++w) {
            std::uint64_t word;
            std::memcpy(&word, hits + w * 8, 8);
            while (word) {
                const int i = w * 8 + std::countr_zero(word) / 8;
                word &= word - 1;
                if (nextRow[i] > y)
                    continue;
                const int n = testBand(rows, i, x0 + i, y, height, widthThreshold, bands);
                if (n)
                    nextRow[i] = y + n + 1;
            }
        }
    }
}

// Turns the bands of each tile, found row by row, into one list column by column. Within a
// column the bands were found from the top, so a stable sort by column is enough.
CandidateMask collectBands(int width, int height, std::vector<std::vector<ColumnRun>> &tiles)
{
    CandidateMask candidates;
    candidates.width = width;
    candidates.height = height;
    candidates.columnStart.assign(std::size_t(width) + 1, 0);
    std::size_t total = 0;
    for (const auto &tile : tiles) {
        total += tile.size();
        for (const ColumnRun &band : tile)
            ++candidates.columnStart[band.x + 1];
    }
    for (int x = 0; x < width; ++x)
        candidates.columnStart[x + 1] += candidates.columnStart[x];
    candidates.bands.resize(total);
    std::vector<std::int32_t> fill(
        candidates.columnStart.begin(), candidates.columnStart.end() - 1);
    for (const auto &tile : tiles) {
        for (const ColumnRun &band : tile)
            candidates.bands[fill[band.x]++] = band;
    }
    return candidates;
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

} // namespace

CandidateMask scanBands(const DetectionPlanes &planes, int widthThreshold)
{
    const int W = planes.minimum.width();
    const int H = planes.minimum.height();
    if (findsNothing(W, H, widthThreshold))
        return emptyCandidates(W, H);
    const int tileCount = (W + tileWidth - 1) / tileWidth;
    std::vector<std::vector<ColumnRun>> tiles(tileCount);
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
    return collectBands(W, H, tiles);
}

namespace {

// The planes of one tile of columns, computed row by row into rings that hold just the rows a
// band test can reach: widthThreshold - 1 above the tested row to 2 * (widthThreshold - 1)
// below it.
class StreamingTile
{
public:
    StreamingTile(int height, int widthThreshold)
        : m_ringRows(3 * widthThreshold)
        , m_differenceRing(std::size_t(m_ringRows) * tileWidth)
        , m_minimumRing(std::size_t(m_ringRows) * tileWidth)
        , m_upperBrightness(tileWidth)
        , m_lowerBrightness(tileWidth)
        , m_difference(height)
        , m_minimum(height)
        , m_lookahead(2 * widthThreshold - 2)
    {
        for (int y = 0; y < height; ++y) {
            const std::size_t slot = std::size_t(y % m_ringRows) * tileWidth;
            m_difference[y] = m_differenceRing.data() + slot;
            m_minimum[y] = m_minimumRing.data() + slot;
        }
    }

    TileRows rows() const { return {m_difference.data(), m_minimum.data()}; }

    void start(Plane<const Argb> photo, int x0, int width)
    {
        m_photo = photo;
        m_x0 = x0;
        m_width = width;
        m_lastRow = 0;
        computeBrightnessMinimumRow(
            photo.rowData(0) + x0, width, m_upperBrightness.data(), minimumRow(0));
    }

    void makeRowsReady(int y)
    {
        const int wanted = std::min(m_photo.height - 1, y + m_lookahead);
        while (m_lastRow < wanted) {
            const int r = ++m_lastRow;
            computeBrightnessMinimumRow(
                m_photo.rowData(r) + m_x0, m_width, m_lowerBrightness.data(), minimumRow(r));
            computeDifferenceRow(
                m_upperBrightness.data(), m_lowerBrightness.data(), m_width, differenceRow(r - 1));
            std::swap(m_upperBrightness, m_lowerBrightness);
            if (r == m_photo.height - 1)
                std::fill_n(differenceRow(r), m_width, std::int16_t(0));
        }
    }

private:
    std::int16_t *differenceRow(int y) const { return m_difference[y]; }
    std::uint8_t *minimumRow(int y) const { return m_minimum[y]; }

    int m_ringRows;
    std::vector<std::int16_t> m_differenceRing;
    std::vector<std::uint8_t> m_minimumRing;
    std::vector<std::uint8_t> m_upperBrightness;
    std::vector<std::uint8_t> m_lowerBrightness;
    std::vector<std::int16_t *> m_difference;
    std::vector<std::uint8_t *> m_minimum;
    int m_lookahead;
    Plane<const Argb> m_photo;
    int m_x0 = 0;
    int m_width = 0;
    int m_lastRow = 0;
};

} // namespace

CandidateMask scanBands(Plane<const Argb> photo, int widthThreshold)
{
    const int W = photo.width;
    const int H = photo.height;
    if (findsNothing(W, H, widthThreshold))
        return emptyCandidates(W, H);
    const int tileCount = (W + tileWidth - 1) / tileWidth;
    std::vector<std::vector<ColumnRun>> tiles(tileCount);
    forEachChunk(tileCount, photo.pixelCount() >= threadedPixelCount, [&](int tile) {
        const int x0 = tile * tileWidth;
        const int width = std::min(tileWidth, W - x0);
        StreamingTile stream(H, widthThreshold);
        stream.start(photo, x0, width);
        TileScratch scratch;
        scanTile(
            stream.rows(), x0, width, H, widthThreshold, [&](int y) { stream.makeRowsReady(y); },
            scratch, tiles[tile]);
    });
    return collectBands(W, H, tiles);
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
    std::vector<std::vector<ColumnRun>> runs(1);
    std::vector<std::int32_t> runStart(plane.width, -1);
    for (int y = 0; y <= plane.height; ++y) {
        for (int x = 0; x < plane.width; ++x) {
            const bool set = y < plane.height && plane.at(x, y) == 255;
            if (set && runStart[x] < 0) {
                runStart[x] = y;
            } else if (!set && runStart[x] >= 0) {
                runs[0].push_back({x, runStart[x], y - runStart[x]});
                runStart[x] = -1;
            }
        }
    }
    return collectBands(plane.width, plane.height, runs);
}

} // namespace tolvane
