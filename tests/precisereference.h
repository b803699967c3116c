#pragma once

#include <cstdint>

#include "core/plane.h"

namespace tolvane::reference {

// The precise detection's first stages written plainly, pixel by pixel over the whole plane,
// straight from their description in selection/precisedetection.h.

// The black-hat: closing (max, then min, over squares of side 2 r + 1, r = max(2, maxWidth),
// coordinates clamped to the plane) minus the brightness.
void blackHat(Plane<const std::uint8_t> brightness, int maxWidth, Plane<std::uint8_t> hat);

// The line test of every pixel.
void linePixels(Plane<const std::uint8_t> brightness, Plane<const std::uint8_t> hat, int maxWidth,
    Plane<std::uint8_t> line);

// The outer edge of the fringe beside the marks, into `found`.
void fringeEdges(Plane<const std::uint8_t> brightness, Plane<const std::uint8_t> marks,
    Plane<std::uint8_t> found);

// The short gaps across the marks, into `found`.
void closeGaps(Plane<const std::uint8_t> brightness, Plane<const std::uint8_t> marks,
    Plane<std::uint8_t> found);

} // namespace tolvane::reference
