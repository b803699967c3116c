#pragma once

#include <cstdint>
#include <vector>

#include "core/plane.h"
#include "core/wiretypes.h"

// Plain transcriptions of the detection rules, written for clarity rather than speed: full
// planes, columns read one by one, breadth-first search with explicit frontiers, box bitmaps.
// The fast code in selection/ must agree with them on every input.
namespace tolvane::reference {

// The 0/255 candidate mask of the band scan, W x H in row order.
std::vector<std::uint8_t> candidateMask(Plane<const Argb> photo, int widthThreshold);

// Components of a 0/255 mask that pass the size filter, in the order their seeds were found.
std::vector<Component> findComponents(const std::vector<std::uint8_t> &mask, int width, int height);

// Traces with more than lengthThreshold runs; components in order, traces in the order started.
std::vector<WireTrace> buildTraces(
    const std::vector<Component> &components, int width, int lengthThreshold);

// The detection mask: the mark colour on every run of every trace, 0 elsewhere.
std::vector<Argb> paintedMask(const std::vector<WireTrace> &traces, int width, int height);

} // namespace tolvane::reference
