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

} // namespace tolvane
