#include "removal/columnruns.h"

namespace tolvane {

ColumnRuns::ColumnRuns(std::span<const std::vector<BandRun>> bands, int width)
    : m_offsets(width + 1, 0)
{
    std::size_t count = 0;
    for (const std::vector<BandRun> &band : bands) {
        count += band.size();
        for (const BandRun &run : band)
            ++m_offsets[run.x + 1];
    }
    for (int x = 0; x < width; ++x)
        m_offsets[x + 1] += m_offsets[x];
    std::vector<int> next(m_offsets.begin(), m_offsets.end() - 1);
    m_spans.resize(count);
    for (const std::vector<BandRun> &band : bands) {
        for (const BandRun &run : band)
            m_spans[next[run.x]++] = run.rows;
    }
}

void mergeSpans(std::vector<RowSpan> &spans)
{
    std::sort(spans.begin(), spans.end(),
        [](const RowSpan &a, const RowSpan &b) { return a.begin < b.begin; });
    std::size_t count = 0;
    for (const RowSpan &span : spans) {
        if (count > 0 && span.begin <= spans[count - 1].end)
            spans[count - 1].end = std::max(spans[count - 1].end, span.end);
        else
            spans[count++] = span;
    }
    spans.resize(count);
}

void fillColumn(
    std::span<const RowSpan> runs, int height, Plane<const Argb> photo, Plane<Argb> result, int x)
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

} // namespace tolvane
