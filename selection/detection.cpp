#include "selection/detection.h"

#include <algorithm>

#include "selection/workers.h"

namespace tolvane {

void paintTraces(std::span<const WireTrace> traces, Plane<Argb> mask)
{
    constexpr int blockRows = 64;
    const int blockCount = (mask.height + blockRows - 1) / blockRows;
    forEachChunk(blockCount, mask.pixelCount() >= threadedPixelCount, [&](int block) {
        const int end = std::min(mask.height, (block + 1) * blockRows);
        for (int y = block * blockRows; y < end; ++y)
            std::fill_n(mask.rowData(y), mask.width, Argb(0));
    });
    for (const WireTrace &trace : traces) {
        for (const ColumnRun &run : trace) {
            for (int y = run.y; y < run.y + run.length; ++y)
                mask.at(run.x, y) = detectionMark;
        }
    }
}

std::vector<WireTrace> detectWires(Plane<const Argb> photo, int widthThreshold, int lengthThreshold)
{
    return traceCandidates(scanBands(photo, widthThreshold), lengthThreshold);
}

} // namespace tolvane
