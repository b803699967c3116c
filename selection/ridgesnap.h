#pragma once

#include <cstdint>

#include "core/plane.h"
#include "core/wiretypes.h"

namespace tolvane {

// A thin dark line seen across: the pixel no brighter than its two neighbours along one of
// the four directions (across rows, across columns, both diagonals), with pixels at least
// `ridgeContrast` brighter on both sides within `maxRidgeHalfWidth` steps along it.
inline constexpr int maxRidgeHalfWidth = 6;
inline constexpr int ridgeContrast = 16;

// How much darker the pixel at `p` is than the brighter sides of the thinnest ridge through
// it, over the four directions: the largest min(left, right) - centre, where left and right
// are the brightest pixels within maxRidgeHalfWidth on each side; 0 when it lies on no ridge
// (not a minimum along any direction, or less than ridgeContrast darker).
int ridgeStrength(Plane<const std::uint8_t> brightness, Point p);

// Where a click at `at` lands on the wire under it: the nearest pixel within `reach`
// (Euclidean, in photo pixels) whose ridgeStrength() is at least half the strongest one in
// reach, nearer ones first, then stronger, then the first in row order; `at` itself when no
// ridge lies in reach. `at` must lie in the plane.
Point snapToRidge(Plane<const std::uint8_t> brightness, Point at, int reach);

} // namespace tolvane
