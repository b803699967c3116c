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

// buildTraces(findComponents(candidates), candidates.width, lengthThreshold), worked out on
// the bands directly without listing pixels.
std::vector<WireTrace> traceCandidates(const CandidateMask &candidates, int lengthThreshold);

} // namespace tolvane
