#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/wiretypes.h"

// Pieces of wire tracing shared by the component-by-component trace builder and the tracers
// that work on many components at once.
namespace tolvane {

// The size filter of the component search: the integer part of the box diagonal
// sqrt(dx^2 + dy^2) is more than 5.
inline bool isBigEnough(std::int64_t dx, std::int64_t dy)
{
    return dx * dx + dy * dy >= 36;
}

// Chains the runs of one column (top to bottom) onto the traces whose last runs are the runs
// of the column before it (top to bottom, each the last run of its own trace). A run takes
// the earliest-started trace among the untaken previous runs it touches, or starts trace
// number traceCount. Since runs of a column never overlap, the touching previous runs of
// successive runs form sliding ranges. onTouch(previousIndex, index) is called for every
// touching pair.
template <typename OnTouch>
void chainColumn(std::span<const ColumnRun> previous, const std::int32_t *previousTrace,
    std::uint8_t *previousTaken, std::span<const ColumnRun> runs, std::int32_t *runTrace,
    std::int32_t &traceCount, OnTouch onTouch)
{
    std::size_t first = 0;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const ColumnRun &run = runs[i];
        while (first < previous.size() && previous[first].y + previous[first].length < run.y)
            ++first;
        std::ptrdiff_t chosen = -1;
        for (std::size_t j = first; j < previous.size() && previous[j].y <= run.y + run.length;
             ++j) {
            onTouch(j, i);
            if (!previousTaken[j] && (chosen < 0 || previousTrace[j] < previousTrace[chosen]))
                chosen = std::ptrdiff_t(j);
        }
        if (chosen >= 0) {
            previousTaken[chosen] = 1;
            runTrace[i] = previousTrace[chosen];
        } else {
            runTrace[i] = traceCount++;
        }
    }
}

} // namespace tolvane
