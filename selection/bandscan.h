#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/plane.h"
#include "core/wiretypes.h"
#include "selection/planes.h"

namespace tolvane {

// The band scan's result: every band as a column run, listed column by column (x ascending)
// and within a column from the top. A pixel is a candidate when a band covers it. In a column
// the bands never overlap or touch; the component search and the trace builder rely on it.
struct CandidateMask
{
    int width = 0;
    int height = 0;
    std::vector<ColumnRun> bands;
    // The bands of column x are bands[columnStart[x]] ... bands[columnStart[x + 1] - 1];
    // width + 1 entries.
    std::vector<std::int32_t> columnStart {0};

    std::span<const ColumnRun> column(int x) const
    {
        return std::span(bands).subspan(columnStart[x], columnStart[x + 1] - columnStart[x]);
    }
};

// Walks down every column looking for thin bands darker than the rows above and below them,
// bounded by a brightness drop above and a rise below, at most widthThreshold - 1 rows thick.
// Finds nothing when the photo has 2 rows or fewer or widthThreshold <= 1.
CandidateMask scanBands(const DetectionPlanes &planes, int widthThreshold);

// The same result computed straight from the photo, keeping only a few rows of the planes at
// a time.
CandidateMask scanBands(Plane<const Argb> photo, int widthThreshold);

// Writes every pixel of `plane` (the mask's size): 255 on the bands, 0 elsewhere.
void paintCandidates(const CandidateMask &candidates, Plane<std::uint8_t> plane);

// The candidate mask of a 0/255 plane: its bands are the maximal vertical runs of 255 pixels.
CandidateMask candidatesFromPlane(Plane<const std::uint8_t> plane);

} // namespace tolvane
