#pragma once

#include <cstdint>

#include "core/plane.h"
#include "core/wiretypes.h"

namespace tolvane {

// Removes the marked wires: `result` (photo-sized) receives the photo with every run of marked
// pixels (alpha != 0 in `mask`), widened by wirePadding, filled from mirrored clean rows of
// the same column. Every pixel of `result` is written; `photo` and `mask` are not changed.
// wirePadding is 0 or more; `result` must not share memory with `photo` or `mask`.
void clearWires(
    Plane<const Argb> photo, Plane<const Argb> mask, int wirePadding, Plane<Argb> result);

// The same for photos of 16 bits per channel: the fill copies whole pixels, so the result
// holds exactly the pixels that the 32-bit fill would pick.
void clearWires(
    Plane<const Rgba64> photo, Plane<const Argb> mask, int wirePadding, Plane<Rgba64> result);

} // namespace tolvane
