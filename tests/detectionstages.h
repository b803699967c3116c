#pragma once

// Detection stage by stage, each stage's whole result in memory: the form in which the tests,
// benchmarks and fuzzers compare the tiled detection with the plain rules. The program itself
// runs the stages tile by tile (selection/detection.h) and never needs these.

#include <cstdint>
#include <span>
#include <vector>

#include "core/plane.h"
#include "core/wiretypes.h"
#include "selection/bandscan.h"
#include "selection/planes.h"
#include "selection/tiletracing.h"
#include "selection/wiretracing.h"

namespace tolvane {

// The planes the band scan reads, photo-sized:
// minimum M(x, y) = min(r, g, b) and vertical difference D(x, y) = V(x, y) - V(x, y + 1), where
// V is the brightness; D is 0 in the last row.
struct DetectionPlanes
{
    PlaneBuffer<std::uint8_t> minimum;
    PlaneBuffer<std::int16_t> difference;
};

DetectionPlanes computeDetectionPlanes(Plane<const Argb> photo);

// The band scan's result for the whole photo: a pixel is a candidate when a band covers it.
struct CandidateMask : BandColumns
{
    int width = 0;
    int height = 0;
};

// The band scan of every tile, read from planes computed beforehand.
CandidateMask scanBands(const DetectionPlanes &planes, int widthThreshold);

// The same result computed straight from the photo, as detectWires scans it.
CandidateMask scanBands(Plane<const Argb> photo, int widthThreshold);

// The runs of a tile's bits as bands, column by column, appended to `bands`.
void appendBands(const ColumnBits &tile, BandColumns &bands);

// Writes every pixel of `plane` (the mask's size): 255 on the bands, 0 elsewhere.
void paintCandidates(const CandidateMask &candidates, Plane<std::uint8_t> plane);

// The candidate mask of a 0/255 plane: its bands are the maximal vertical runs of 255 pixels.
CandidateMask candidatesFromPlane(Plane<const std::uint8_t> plane);

// The 8-connected components of the candidate pixels whose bounding box is big enough:
// dx^2 + dy^2 >= 36, dx and dy being max - min of the columns and of the rows. Components come
// in the order their first pixels are reached when seeding column by column (x, then y); each
// lists its pixels breadth-first, neighbours taken column by column and top to bottom.
std::vector<Component> findComponents(const CandidateMask &candidates);

// The same for a plane in which 255 marks a candidate.
std::vector<Component> findComponents(Plane<const std::uint8_t> candidates);

// Cuts each component into column runs and chains them from left to right into traces: a run
// joins the first trace, in the order started, whose last run is in the previous column and
// touches it (corners count); otherwise it starts a trace. Keeps the traces with more than
// lengthThreshold runs: components in list order, each one's traces in the order started.
std::vector<WireTrace> buildTraces(
    std::span<const Component> components, int width, int lengthThreshold);

// buildTraces(findComponents(candidates), candidates.width, lengthThreshold), worked out on
// the bands directly without listing pixels, by the tracer that joins the tiles.
std::vector<WireTrace> traceCandidates(const CandidateMask &candidates, int lengthThreshold);

} // namespace tolvane
