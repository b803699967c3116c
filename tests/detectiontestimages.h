#pragma once

#include "core/plane.h"
#include "core/wiretypes.h"

namespace tolvane::test {

// Dark wires (straight, sloped, steep, sagging, forking, 1 to 4 pixels thick, anti-aliased or
// not, some pale, some near the first or last row) over white, a sky, a noisy sky or a sky
// above a brick wall, with random alpha, drawn into `photo`. The same seed always gives the
// same photo.
void drawWirePhoto(std::uint32_t seed, Plane<Argb> photo);

} // namespace tolvane::test
