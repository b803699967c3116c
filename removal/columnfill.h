#pragma once

#include <cstdint>

#include "core/plane.h"
#include "core/wiretypes.h"

namespace tolvane {

// Widens the runs of marked entries (non-zero) of every column in place, top to bottom: a run of
// L entries ending at row y gets n = wirePadding - L/2 + 4 entries set to 1 from row y down and
// from its own end above it up, and the column's scan goes on at row y + n + 2, even when n < 0.
// Rows outside the plane are skipped. wirePadding must not be negative.
void widenMarks(Plane<std::uint8_t> marks, int wirePadding);

// Writes the targets of every run of marked entries (non-zero) in `marks` into `result`: the run's
// rows and the clean row below it, or, for a run reaching the last row, the clean row above it.
// Each target takes the `photo` pixel of the same column mirrored from the unmarked rows beside
// the run; a target without such a row, and every other pixel, keeps its value. `result` must
// not share memory with `photo`.
void fillMarkedRuns(Plane<const Argb> photo, Plane<const std::uint8_t> marks, Plane<Argb> result);

// Removes the marked wires: `result` (photo-sized) receives the photo with every run of marked
// pixels (alpha != 0 in `mask`), widened by wirePadding, filled from mirrored clean rows of
// the same column. Every pixel of `result` is written; `photo` and `mask` are not changed.
void clearWires(
    Plane<const Argb> photo, Plane<const Argb> mask, int wirePadding, Plane<Argb> result);

} // namespace tolvane
