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

// Automatic detection from photo to kept traces, the result of
// buildTraces(findComponents(scanBands(computeDetectionPlanes(photo), widthThreshold)), ...)
// without photo-sized working planes. An empty photo gives no traces. `progress`, when given,
// counts the tiles of columns as they are done, from whichever thread did them.
std::vector<WireTrace> detectWires(
    Plane<const Argb> photo, int widthThreshold, int lengthThreshold, Progress *progress = nullptr);

} // namespace tolvane
