#pragma once

#include <cstdint>
#include <vector>

#include "selection/smarttrace.h"

namespace reference {

// The smart-selection trace done word for word: the whole search repeated for every limit,
// list frontiers, a linear duplicate check in the walk back. Slow; for comparisons only.
// `brightness` is width * height, row-major.
tolvane::WireRoute traceWireLiterally(const std::vector<std::uint8_t> &brightness, int width,
    int height, tolvane::Point start, tolvane::Point end);

} // namespace reference
