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

std::vector<WireTrace> detectWires(
    Plane<const Argb> photo, int widthThreshold, int lengthThreshold, Progress *progress)
{
    // Each tile of columns is scanned and traced on its own, on both cores, with its working
    // data (about 1 MB) in the caches and without photo-sized planes; only the components that
    // reach a tile's edge are traced again afterwards, over all columns.
    const int tileCount = TileBandScanner::tileCount(photo.width);
    std::vector<std::vector<OrderedTrace>> tileKept(tileCount);
    std::vector<BandColumns> tileOpen(tileCount);
    // One step a tile, and one for joining them.
    if (progress)
        progress->start(tileCount + 1);
    struct Worker
    {
        TileBandScanner scanner;
        ColumnBits candidates;
        TileTracer tracer;
    };
    forEachChunk(
        tileCount, photo.pixelCount() >= threadedPixelCount,
        [&] {
            return Worker {TileBandScanner(photo, widthThreshold), {}, {}};
        },
        [&](Worker &worker, int tile) {
            worker.scanner.scan(tile, worker.candidates);
            worker.tracer.trace(worker.candidates, tile > 0, tile < tileCount - 1, lengthThreshold,
                tileKept[tile], tileOpen[tile]);
            if (progress)
                progress->step();
        });

    std::vector<WireTrace> traces = joinTileTraces(tileKept, tileOpen, lengthThreshold);
    if (progress)
        progress->finish();
    return traces;
}

} // namespace tolvane
