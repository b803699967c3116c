// Detection on drawn photos against the plain version in tests/: every stage, the fused
// detectWires and paintTraces, with any T (1..99) and L (1..999). Photos are up to 300 x 200,
// strips up to 1100 columns so that tiles of columns meet, and now and then large enough to
// share the work between threads; all are seen through views into wider buffers.

#include <algorithm>

#include "detectionstages.h"
#include "fuzzsupport.h"
#include "reference_detection.h"
#include "selection/detection.h"

using namespace tolvane;

namespace {

constexpr Argb outside = 0x5A5A5A5Au; // buffer entries beyond a view's width

fuzz::Size consumePhotoSize(FuzzedDataProvider &in)
{
    if (in.ConsumeIntegralInRange(0, 31) == 31)
        return {in.ConsumeIntegralInRange(1030, 1100), in.ConsumeIntegralInRange(256, 260)};
    return fuzz::consumeSize(in, 1100);
}

void checkBands(const CandidateMask &candidates, int T)
{
    for (const ColumnRun &band : candidates.bands) {
        FUZZ_CHECK(band.x >= 0 && band.x < candidates.width);
        FUZZ_CHECK(band.length >= 1 && band.length < T);
        FUZZ_CHECK(band.y >= 2 && band.y + band.length <= candidates.height - 1);
    }
}

// Kept traces: more than L runs in consecutive columns, each inside the photo.
void checkTraces(const std::vector<WireTrace> &traces, int width, int height, int L)
{
    for (const WireTrace &trace : traces) {
        FUZZ_CHECK(std::ssize(trace) > L);
        for (std::size_t i = 0; i < trace.size(); ++i) {
            const ColumnRun &run = trace[i];
            FUZZ_CHECK(run.x == trace[0].x + int(i) && run.x >= 0 && run.x < width);
            FUZZ_CHECK(run.length >= 1 && run.y >= 0 && run.y + run.length <= height);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const auto [width, height] = consumePhotoSize(in);
    const int T
        = in.ConsumeBool() ? in.ConsumeIntegralInRange(1, 8) : in.ConsumeIntegralInRange(1, 99);
    const int L
        = in.ConsumeBool() ? in.ConsumeIntegralInRange(1, 40) : in.ConsumeIntegralInRange(1, 999);
    const int stride = width + in.ConsumeIntegralInRange(0, 3);
    std::vector<Argb> buffer(std::size_t(stride) * height, outside);
    const Plane<Argb> photo(buffer.data(), width, height, stride);
    fuzz::drawPicture(in, photo);

    const std::vector<std::uint8_t> expectedMask = reference::candidateMask(photo, T);
    const CandidateMask candidates = scanBands(photo, T);
    FUZZ_CHECK(candidates.width == width && candidates.height == height);
    checkBands(candidates, T);
    FUZZ_CHECK(scanBands(computeDetectionPlanes(photo), T).bands == candidates.bands);
    PlaneBuffer<std::uint8_t> painted(width, height);
    paintCandidates(candidates, painted.view());
    FUZZ_CHECK(std::equal(expectedMask.begin(), expectedMask.end(), painted.data()));
    FUZZ_CHECK(candidatesFromPlane(painted.view()).bands == candidates.bands);

    const std::vector<Component> components
        = reference::findComponents(expectedMask, width, height);
    FUZZ_CHECK(findComponents(candidates) == components);
    FUZZ_CHECK(findComponents(painted.view()) == components);
    const std::vector<WireTrace> expected = reference::buildTraces(components, width, L);
    checkTraces(expected, width, height, L);
    FUZZ_CHECK(buildTraces(components, width, L) == expected);
    FUZZ_CHECK(traceCandidates(candidates, L) == expected);
    const std::vector<WireTrace> traces = detectWires(photo, T, L);
    FUZZ_CHECK(traces == expected);

    // Every pixel of the view painted, nothing beyond it.
    std::vector<Argb> mask(buffer.size(), outside);
    paintTraces(traces, Plane<Argb>(mask.data(), width, height, stride));
    const std::vector<Argb> expectedPaint = reference::paintedMask(expected, width, height);
    for (int y = 0; y < height; ++y) {
        const auto row = mask.begin() + std::ptrdiff_t(y) * stride;
        FUZZ_CHECK(std::equal(row, row + width, expectedPaint.begin() + std::ptrdiff_t(y) * width));
        FUZZ_CHECK(std::all_of(row + width, row + stride, [](Argb p) { return p == outside; }));
    }
    return 0;
}
