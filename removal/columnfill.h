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

} // namespace tolvane
