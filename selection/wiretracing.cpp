#include "selection/wiretracing.h"

#include <algorithm>

#include "selection/runchains.h"

namespace tolvane {

void ComponentChainer::chain(std::span<const ColumnRun> runs, int lengthThreshold,
    std::vector<WireTrace> &kept, std::vector<std::int32_t> *numbers)
{
    m_runTrace.assign(runs.size(), 0);
    m_taken.assign(runs.size(), 0);
    m_traceLength.clear();
    std::int32_t traceCount = 0;
    std::size_t previousBegin = 0;
    std::size_t previousEnd = 0;
    for (std::size_t begin = 0; begin < runs.size();) {
        std::size_t end = begin;
        while (end < runs.size() && runs[end].x == runs[begin].x)
            ++end;
        const bool hasPrevious
            = previousEnd > previousBegin && runs[previousBegin].x == runs[begin].x - 1;
        chainColumn(runs.subspan(previousBegin, hasPrevious ? previousEnd - previousBegin : 0),
            m_runTrace.data() + previousBegin, m_taken.data() + previousBegin,
            runs.subspan(begin, end - begin), m_runTrace.data() + begin, traceCount,
            [](std::size_t, std::size_t) {});
        m_traceLength.resize(traceCount, 0);
        for (std::size_t i = begin; i < end; ++i)
            ++m_traceLength[m_runTrace[i]];
        previousBegin = begin;
        previousEnd = end;
        begin = end;
    }

    m_keptIndex.assign(traceCount, -1);
    const std::size_t firstKept = kept.size();
    for (std::int32_t t = 0; t < traceCount; ++t) {
        if (m_traceLength[t] > lengthThreshold) {
            m_keptIndex[t] = std::int32_t(kept.size() - firstKept);
            kept.emplace_back().reserve(m_traceLength[t]);
            if (numbers)
                numbers->push_back(t);
        }
    }
    for (std::size_t i = 0; i < runs.size(); ++i) {
        if (m_keptIndex[m_runTrace[i]] >= 0)
            kept[firstKept + m_keptIndex[m_runTrace[i]]].push_back(runs[i]);
    }
}

} // namespace tolvane
