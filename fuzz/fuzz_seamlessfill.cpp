// The seamless fill on pictures and masks of any shape against the plain version in tests/:
// pictures of up to 8 colours with strokes drawn over them (fuzzsupport's drawPicture), marks
// of wires at any slope and thickness, loose marks, whole rows and columns, the border rows
// and columns, sizes from 0 x 0 up to 300 x 200 and strips up to 600 wide, seen through views
// into wider buffers. Unmarked pixels away from the marks (none of their four neighbours marked),
// the inputs and the buffer beyond the views stay as they were.

#include <algorithm>

#include "fuzzsupport.h"
#include "removal/seamlessfill.h"
#include "seamlessfillreference.h"

using namespace tolvane;

namespace {

constexpr Argb outside = 0x5A5A5A5Au; // buffer entries beyond a view's width

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const fuzz::Size picture = fuzz::consumeSize(in, 600);
    const int width = picture.width, height = picture.height;
    const int stride = width + in.ConsumeIntegralInRange(0, 3);
    const std::size_t pixels = std::size_t(width) * height;

    // The marks: up to 8 shapes, each a wire (centre, slope, thickness), a whole row or
    // column, or a scatter of loose pixels.
    std::vector<Argb> mask(pixels, 0u);
    auto mark = [&](int x, int y, Argb alpha) {
        if (x >= 0 && y >= 0 && x < width && y < height)
            mask[std::size_t(y) * width + x] = std::max<Argb>(alpha, 1) << 24;
    };
    const int shapes = in.ConsumeIntegralInRange(0, 8);
    for (int s = 0; s < shapes; ++s) {
        const int kind = in.ConsumeIntegralInRange(0, 3);
        const int a = in.ConsumeIntegralInRange(-4, std::max(width, height) + 4);
        const int b = in.ConsumeIntegralInRange(-40, 40); // slope in 1/8 rows per column
        const int thickness = in.ConsumeIntegralInRange(1, 12);
        const Argb alpha = in.ConsumeIntegral<std::uint8_t>();
        if (kind == 0) { // mostly along rows
            for (int x = 0; x < width; ++x) {
                for (int t = 0; t < thickness; ++t)
                    mark(x, a + b * x / 8 + t, alpha);
            }
        } else if (kind == 1) { // mostly along columns
            for (int y = 0; y < height; ++y) {
                for (int t = 0; t < thickness; ++t)
                    mark(a + b * y / 8 + t, y, alpha);
            }
        } else if (kind == 2) { // whole rows or columns
            for (int i = 0; i < std::max(width, height); ++i) {
                for (int t = 0; t < thickness; ++t) {
                    if (b >= 0)
                        mark(i, a + t, alpha);
                    else
                        mark(a + t, i, alpha);
                }
            }
        } else { // loose pixels
            for (int i = 0; i < thickness * 16; ++i)
                mark((a * 7 + i * 13) % std::max(width, 1),
                    (b * 5 + i * 29 + a) % std::max(height, 1), alpha);
        }
    }
    std::vector<Argb> photo(pixels);
    fuzz::drawPicture(in, Plane<Argb>(photo, width, height));
    for (std::size_t i = 0; i < pixels; ++i)
        mask[i] |= Argb(i * 2654435761u) & 0xFFFFFFu; // colour bits mean nothing

    const std::vector<Argb> expected = reference::seamlessFill(photo, mask, width, height);

    std::vector<Argb> photoBuffer(std::size_t(stride) * height, outside);
    std::vector<Argb> maskBuffer(photoBuffer.size(), 0xFF000000u); // marked beyond the view
    for (int y = 0; y < height; ++y) {
        std::copy_n(photo.begin() + std::ptrdiff_t(y) * width, width,
            photoBuffer.begin() + std::ptrdiff_t(y) * stride);
        std::copy_n(mask.begin() + std::ptrdiff_t(y) * width, width,
            maskBuffer.begin() + std::ptrdiff_t(y) * stride);
    }
    const std::vector<Argb> photoBefore = photoBuffer, maskBefore = maskBuffer;
    std::vector<Argb> result(photoBuffer.size(), outside);
    seamlessFill(Plane<const Argb>(photoBuffer.data(), width, height, stride),
        Plane<const Argb>(maskBuffer.data(), width, height, stride),
        Plane<Argb>(result.data(), width, height, stride));
    FUZZ_CHECK(photoBuffer == photoBefore && maskBuffer == maskBefore);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < stride; ++x) {
            const Argb got = result[std::size_t(y) * stride + x];
            if (x >= width) {
                FUZZ_CHECK(got == outside);
                continue;
            }
            const std::size_t i = std::size_t(y) * width + x;
            FUZZ_CHECK(got == expected[i]);
            // Only the marks and their fringe, next to them, change.
            const bool nearMark = isMarked(mask[i]) || (x > 0 && isMarked(mask[i - 1]))
                || (x + 1 < width && isMarked(mask[i + 1]))
                || (y > 0 && isMarked(mask[i - std::size_t(width)]))
                || (y + 1 < height && isMarked(mask[i + std::size_t(width)]));
            FUZZ_CHECK(nearMark || got == photo[i]);
        }
    }
    return 0;
}
