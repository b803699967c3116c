#pragma once

// The wire removal in its two stages, each over the whole plane, for the tests and the fuzzer
// to hold against the plain rules: clearWires does both at once, band by band.

#include <cstdint>

#include "core/plane.h"
#include "core/wiretypes.h"

namespace tolvane {

// Widens the runs of marked (non-zero) entries of each column in place, scanning from the top.
// A run of L entries whose end row y is the clean row after it (or the last row, when the run
// reaches it) gets n = wirePadding - L/2 + 4 entries set to 1 from row y down and from row y - L
// up, rows outside the plane skipped; the scan goes on at row y + n + 2, whatever the sign of n.
// wirePadding is 0 or more.
void widenMarks(Plane<std::uint8_t> marks, int wirePadding);

// Writes the targets of every run of marked entries (non-zero) in `marks` into `result`: the run's
// rows and the clean row below it, or, for a run reaching the last row, the clean row above it.
// Each target takes the `photo` pixel of the same column mirrored from the unmarked rows beside
// the run, the sources being unmarked rows only; a target without a source, and every other
// pixel, keeps its value. `result` must not share memory with `photo`.
void fillMarkedRuns(Plane<const Argb> photo, Plane<const std::uint8_t> marks, Plane<Argb> result);

} // namespace tolvane
