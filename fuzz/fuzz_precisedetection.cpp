// The precise detection on drawn photos: its black-hat, line test, gap closing and (on small
// photos) fringe edges against the plain versions in tests/ (widths up to 12, where the plain
// closing stays quick), the last two on the line pixels taken as marks; and the whole detection
// with any width (1..99), wire length (10..9999), with and without light wires, now and then
// searched at a reduced scale. Every mark is 0 or 1, written over the whole view and nowhere
// beyond it, and marks come with a wire counted.

#include <algorithm>

#include "fuzzsupport.h"
#include "precisereference.h"
#include "selection/planes.h"
#include "selection/precisedetection.h"

using namespace tolvane;

namespace {

constexpr std::uint8_t outside = 0x5A; // buffer entries beyond a view's width

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const auto [width, height] = fuzz::consumeSize(in, 700);
    PreciseSettings settings;
    settings.maxWidth
        = in.ConsumeBool() ? in.ConsumeIntegralInRange(1, 12) : in.ConsumeIntegralInRange(1, 99);
    settings.minLength = in.ConsumeBool() ? in.ConsumeIntegralInRange(10, 300)
                                          : in.ConsumeIntegralInRange(10, 9999);
    settings.lightWires = in.ConsumeBool();
    if (in.ConsumeIntegralInRange(0, 3) == 3)
        settings.fullScalePixels = in.ConsumeIntegralInRange<std::size_t>(1, 60000);
    const bool inverted = in.ConsumeBool();
    const int stride = width + in.ConsumeIntegralInRange(0, 3);
    std::vector<Argb> photoBuffer(std::size_t(stride) * height, 0xFF000000u);
    const Plane<Argb> photo(photoBuffer.data(), width, height, stride);
    fuzz::drawPicture(in, photo);

    if (settings.maxWidth <= 12 && !photo.isEmpty()) {
        std::vector<std::uint8_t> brightness(std::size_t(width) * height);
        computeBrightness(photo, Plane<std::uint8_t>(brightness, width, height));
        if (inverted) {
            for (std::uint8_t &b : brightness)
                b = std::uint8_t(255 - b);
        }
        const Plane<const std::uint8_t> b(brightness.data(), width, height, width);
        std::vector<std::uint8_t> hat(brightness.size()), expectedHat(brightness.size());
        precisestages::blackHat(b, settings.maxWidth, Plane<std::uint8_t>(hat, width, height));
        reference::blackHat(b, settings.maxWidth, Plane<std::uint8_t>(expectedHat, width, height));
        FUZZ_CHECK(hat == expectedHat);
        const Plane<const std::uint8_t> hatPlane(hat.data(), width, height, width);
        std::vector<std::uint8_t> line(brightness.size()), expectedLine(brightness.size());
        precisestages::linePixels(
            b, hatPlane, settings.maxWidth, Plane<std::uint8_t>(line, width, height));
        reference::linePixels(
            b, hatPlane, settings.maxWidth, Plane<std::uint8_t>(expectedLine, width, height));
        FUZZ_CHECK(line == expectedLine);

        // The stages that add to the marks, on the line pixels taken as marks.
        std::vector<std::uint8_t> lineMarks(line.size());
        std::transform(line.begin(), line.end(), lineMarks.begin(),
            [](std::uint8_t l) { return std::uint8_t(l != 0); });
        const Plane<const std::uint8_t> m(lineMarks.data(), width, height, width);
        std::vector<std::uint8_t> gaps(brightness.size(), 0), expectedGaps(brightness.size(), 0);
        precisestages::closeGaps(b, m, Plane<std::uint8_t>(gaps, width, height));
        reference::closeGaps(b, m, Plane<std::uint8_t>(expectedGaps, width, height));
        FUZZ_CHECK(gaps == expectedGaps);
        if (brightness.size() <= 40000) {
            std::vector<std::uint8_t> edges(brightness.size(), 0);
            std::vector<std::uint8_t> expectedEdges(brightness.size(), 0);
            precisestages::fringeEdges(b, m, Plane<std::uint8_t>(edges, width, height));
            reference::fringeEdges(b, m, Plane<std::uint8_t>(expectedEdges, width, height));
            FUZZ_CHECK(edges == expectedEdges);
        }
    }

    const int marksStride = width + in.ConsumeIntegralInRange(0, 3);
    std::vector<std::uint8_t> marks(std::size_t(marksStride) * height, outside);
    const int wires = detectWiresPrecise(
        photo, settings, Plane<std::uint8_t>(marks.data(), width, height, marksStride));
    FUZZ_CHECK(wires >= 0);
    bool anyMark = false;
    for (int y = 0; y < height; ++y) {
        const auto row = marks.begin() + std::ptrdiff_t(y) * marksStride;
        FUZZ_CHECK(std::all_of(row, row + width, [](std::uint8_t m) { return m <= 1; }));
        FUZZ_CHECK(std::all_of(
            row + width, row + marksStride, [](std::uint8_t m) { return m == outside; }));
        anyMark = anyMark || std::any_of(row, row + width, [](std::uint8_t m) { return m; });
    }
    FUZZ_CHECK(anyMark == (wires > 0));
    return 0;
}
