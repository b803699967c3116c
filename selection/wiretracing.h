#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/plane.h"
#include "core/wiretypes.h"
#include "selection/bandscan.h"

namespace tolvane {

// The 8-connected components of the candidate pixels whose bounding box is big enough:
// dx^2 + dy^2 >= 36, dx and dy being max - min of the columns and of the rows. Components come
// in the order their first pixels are reached when seeding column by column (x, then y); each
// lists its pixels breadth-first, neighbours taken column by column and top to bottom.
std::vector<Component> findComponents(const CandidateMask &candidates);

// The same for a plane in which 255 marks a candidate.
std::vector<Component> findComponents(Plane<const std::uint8_t> candidates);

// Cuts each component into column runs and chains them from left to right into traces: a run
// joins the first trace, in the order started, whose last run is in the previous column and
// touches it (corners count); otherwise it starts a trace. Keeps the traces with more than
// lengthThreshold runs: components in list order, each one's traces in the order started.
std::vector<WireTrace> buildTraces(
    std::span<const Component> components, int width, int lengthThreshold);

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
