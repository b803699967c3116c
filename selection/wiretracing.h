#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/plane.h"
#include "core/wiretypes.h"
#include "selection/bandscan.h"

namespace tolvane {

// Chains the runs of one component into traces, reusing its memory from call to call.
class ComponentChainer
{
public:
    // `runs` are the component's runs column by column, top to bottom. Appends to `kept` the
    // traces with more than lengthThreshold runs, in the order they were started, and, when
    // `numbers` is given, their numbers in that order among all traces of the component.
    void chain(std::span<const ColumnRun> runs, int lengthThreshold, std::vector<WireTrace> &kept,
        std::vector<std::int32_t> *numbers = nullptr);

private:
    std::vector<std::int32_t> m_runTrace;
    std::vector<std::uint8_t> m_taken;
    std::vector<std::int32_t> m_traceLength;
    std::vector<std::int32_t> m_keptIndex;
};

} // namespace tolvane
