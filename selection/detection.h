#pragma once

#include <span>
#include <vector>

#include "core/plane.h"
#include "core/progress.h"
#include "core/wiretypes.h"
#include "selection/bandscan.h"
#include "selection/planes.h"
#include "selection/tiletracing.h"
#include "selection/wiretracing.h"

namespace tolvane {

// Writes every pixel of `mask` (the photo's size): detectionMark on the runs of the traces,
// 0 elsewhere.
void paintTraces(std::span<const WireTrace> traces, Plane<Argb> mask);

// Automatic detection from photo to kept traces: the band scan, the components of its
// candidates and the traces cut from them, run tile by tile of columns without photo-sized
// working planes (tests/detectionstages.h has the stages one whole photo at a time). An empty photo
// gives no traces. `progress`, when given, counts the tiles of columns as they are done, from
// whichever thread did them.
std::vector<WireTrace> detectWires(
    Plane<const Argb> photo, int widthThreshold, int lengthThreshold, Progress *progress = nullptr);

} // namespace tolvane
