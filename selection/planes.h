#pragma once

#include "core/plane.h"
#include "core/wiretypes.h"

#include <cstdint>

namespace tolvane {

// Brightness of every photo pixel: max(red, green, blue); alpha plays no part.
// `brightness` has the photo's size.
void computeBrightness(Plane<const Argb> photo, Plane<std::uint8_t> brightness);

} // namespace tolvane
