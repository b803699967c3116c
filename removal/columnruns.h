#pragma once

// The runs of marked entries, column by column, that the wire removal widens and fills. Marks
// are mask pixels (marked when alpha != 0) or flags (marked when non-zero).

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "core/plane.h"
#include "core/wiretypes.h"

namespace tolvane {

// Rows begin ... end - 1 of one column.
struct RowSpan
{
    int begin = 0;
    int end = 0;
};

inline bool isMarkedEntry(Argb pixel)
{
    return isMarked(pixel);
}

inline bool isMarkedEntry(std::uint8_t flag)
{
    return flag != 0;
}

// A run found in a band of rows. One still open at the band's last row ends with the band; the
// run that starts the next band continues it.
struct BandRun
{
    int x;
    RowSpan rows;
};

// Appends the runs of rows y0 ... y1 - 1 of `marks` in the order in which they end.
// Reads along rows, not down columns, which would stride through memory; sixteen entries whose
// columns have no open run and which are all clean (the common case) cost one OR each.
template <typename T>
void findRuns(Plane<const T> marks, int y0, int y1, std::vector<BandRun> &runs)
{
    const int width = marks.width;
    constexpr int chunk = 16;
    const int chunks = (width + chunk - 1) / chunk;
    std::vector<int> openBegin(width, -1);
    std::vector<int> openInChunk(chunks, 0);
    for (int y = y0; y < y1; ++y) {
        const T *row = marks.rowData(y);
        for (int c = 0; c < chunks; ++c) {
            const int begin = c * chunk;
            const int end = std::min(begin + chunk, width);
            if (openInChunk[c] == 0) {
                T any = 0;
                if (end - begin == chunk) {
                    for (int i = 0; i < chunk; ++i)
                        any |= row[begin + i];
                } else {
                    for (int i = begin; i < end; ++i)
                        any |= row[i];
                }
                if (!isMarkedEntry(any))
                    continue;
            }
            for (int x = begin; x < end; ++x) {
                const bool marked = isMarkedEntry(row[x]);
                if (marked == (openBegin[x] >= 0))
                    continue;
                if (marked) {
                    openBegin[x] = y;
                    ++openInChunk[c];
                } else {
                    runs.push_back({x, {openBegin[x], y}});
                    openBegin[x] = -1;
                    --openInChunk[c];
                }
            }
        }
    }
    for (int x = 0; x < width; ++x) {
        if (openBegin[x] >= 0)
            runs.push_back({x, {openBegin[x], y1}});
    }
}

// The runs of every column, top to bottom, gathered from bands listed top to bottom. Runs that
// meet at a band border are kept apart.
class ColumnRuns
{
public:
    ColumnRuns(std::span<const std::vector<BandRun>> bands, int width);

    std::span<const RowSpan> column(int x) const
    {
        return std::span<const RowSpan>(m_spans).subspan(
            m_offsets[x], m_offsets[x + 1] - m_offsets[x]);
    }

private:
    std::vector<int> m_offsets;
    std::vector<RowSpan> m_spans;
};

// The widening scan of one column, on its maximal runs: paint(begin, end) receives each painted
// stretch, clipped to the column. The scan never reads a row it painted (the upward paint lies
// above the run, the downward paint ends before the restart row), so the original runs are all
// it needs.
template <typename Paint>
void widenColumn(std::span<const RowSpan> runs, int height, int wirePadding, Paint paint)
{
    std::size_t k = 0;
    int row = 0;
    while (row < height) {
        while (k < runs.size() && runs[k].end <= row)
            ++k;
        if (k == runs.size())
            return;
        const int first = std::max(runs[k].begin, row);
        const bool bottomEnd = runs[k].end == height;
        const int y = bottomEnd ? height - 1 : runs[k].end;
        const int length = runs[k].end - first;
        const int n = wirePadding - length / 2 + 4;
        if (n > 0) {
            paint(y, std::min(y + n, height));
            const int top = y - length;
            if (top >= 0)
                paint(std::max(top - n + 1, 0), top + 1);
        }
        // For n <= -3 this steps back into the run just handled; its first row stays behind.
        row = y + n + 2;
    }
}

// Merges overlapping and touching stretches into maximal runs, in place.
void mergeSpans(std::vector<RowSpan> &spans);

// The mirror fill of one column, given its maximal marked runs. It only copies pixels, so
// it is the same for pixels of any size.
template <typename Pixel>
void fillColumn(
    std::span<const RowSpan> runs, int height, Plane<const Pixel> photo, Plane<Pixel> result, int x)
{
    const int count = int(runs.size());
    for (int k = 0; k < count; ++k) {
        const bool bottomEnd = runs[k].end == height;
        const int length = runs[k].end - runs[k].begin;
        const int y = bottomEnd ? height - 1 : runs[k].end;
        const int s = y - length;
        if (s < 0)
            continue;
        const int mid = y - length / 2;
        auto copy = [&](int source, int target) { result.at(x, target) = photo.at(x, source); };

        // Upper part: mirror rows go up from s - 1. When one is marked, the search from it
        // upwards stops at the row above its run, which must not be row 0; failing that, the
        // search down from row y stops at y itself unless y is the marked last row.
        int j = k - 1;
        for (int c = s; c < mid; ++c) {
            const int m = 2 * s - c - 1;
            int source = bottomEnd ? -1 : y;
            if (m >= 0) {
                while (j >= 0 && runs[j].begin > m)
                    --j;
                if (j < 0 || m >= runs[j].end)
                    source = m;
                else if (runs[j].begin - 1 >= 1)
                    source = runs[j].begin - 1;
            }
            if (source >= 0)
                copy(source, c);
        }

        // Lower part. Below a bottom end every mirror row is marked or outside, and the search
        // falls back on row s, the clean row above the run (row 0 is never searched).
        if (bottomEnd) {
            if (s >= 1) {
                for (int c = mid; c <= y; ++c)
                    copy(s, c);
            }
            continue;
        }
        // Targets from the bottom up, so that their mirror rows go down.
        j = k + 1;
        for (int c = y; c >= mid; --c) {
            const int m = 2 * y - c;
            while (j < count && runs[j].end <= m)
                ++j;
            const bool mirrorIsClean = m < height && (j == count || m < runs[j].begin);
            copy(mirrorIsClean ? m : y, c);
        }
    }
}

// The runs of every column of a whole plane.
template <typename T> ColumnRuns runsOf(Plane<const T> marks)
{
    std::vector<BandRun> runs;
    findRuns(marks, 0, marks.height, runs);
    return ColumnRuns(std::span(&runs, 1), marks.width);
}

} // namespace tolvane
