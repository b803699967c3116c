// The removal on masks of any runs against the plain version in tests/: clearWires, and
// widenMarks followed by fillMarkedRuns, with any P (0..99). Columns hold runs of every length
// from 0 to 31 and up to the whole height, on the top and bottom rows too; pictures up to
// 300 x 200, strips up to 600 columns, columns up to 600 rows, all seen through views into wider
// buffers. Each photo pixel holds its own column and row, so that every filled pixel tells where
// it came from.

#include <algorithm>

#include "columnfillreference.h"
#include "columnfillstages.h"
#include "fuzzsupport.h"
#include "removal/columnfill.h"

using namespace tolvane;

namespace {

constexpr Argb outside = 0x5A5A5A5Au; // buffer entries beyond a view's width
constexpr std::uint8_t outsideFlag = 0xEE;

Argb photoPixel(int x, int y)
{
    return Argb(x) << 16 | Argb(y);
}

// A run or gap length from one byte: 0 to 31, or a 32nd to all of the height.
int runLength(std::uint8_t byte, int height)
{
    return byte < 224 ? byte % 32 : height * (byte - 223) / 32;
}

// Views of the same shape into a buffer of rows `stride` long.
template <typename T> Plane<T> view(std::vector<T> &buffer, int width, int height, int stride)
{
    return Plane<T>(buffer.data(), width, height, stride);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const fuzz::Size picture = fuzz::consumeSize(in, 600);
    const int width = picture.width, height = picture.height;
    const int P
        = in.ConsumeBool() ? in.ConsumeIntegralInRange(0, 12) : in.ConsumeIntegralInRange(0, 99);
    const int stride = width + in.ConsumeIntegralInRange(0, 3);
    const std::size_t pixels = std::size_t(width) * height;

    // Photo and mask, tightly packed for the reference and in wider buffers for the fast code.
    // Only alpha marks a mask pixel; the colour bits vary either way.
    std::vector<Argb> photo(pixels), mask(pixels);
    std::vector<Argb> photoBuffer(std::size_t(stride) * height, outside);
    std::vector<Argb> maskBuffer = photoBuffer;
    fuzz::CyclicBytes runs(in.ConsumeRemainingBytes<std::uint8_t>());
    for (int x = 0; x < width; ++x) {
        for (int y = 0; y < height;) {
            const int gap = runLength(runs.next(), height), run = runLength(runs.next(), height);
            for (int r = y + gap; r < std::min(y + gap + run, height); ++r)
                mask[std::size_t(r) * width + x] = Argb(1 + (x + r) % 255) << 24;
            y += std::max(gap + run, 1);
        }
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::size_t i = std::size_t(y) * width + x, b = std::size_t(y) * stride + x;
            photo[i] = photoBuffer[b] = photoPixel(x, y);
            mask[i] |= Argb(x * 40503u + y * 2654435761u) & 0xFFFFFFu;
            maskBuffer[b] = mask[i];
        }
    }

    std::vector<Argb> widened = mask;
    reference::widen(widened, width, height, P);
    std::vector<Argb> expected = photo;
    reference::fill(photo, widened, width, height, expected);
    auto isWidened = [&](int x, int y) { return isMarked(widened[std::size_t(y) * width + x]); };
    // Widening only adds marks. A pixel keeps its value unless it or a neighbour above or below
    // is marked; any other takes one from its own column, from a row left unmarked.
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::size_t i = std::size_t(y) * width + x;
            FUZZ_CHECK(isWidened(x, y) || !isMarked(mask[i]));
            const Argb value = expected[i];
            const int column = int(value >> 16), row = int(value & 0xFFFF);
            if (value == photo[i])
                continue;
            FUZZ_CHECK(isWidened(x, y) || (y > 0 && isWidened(x, y - 1))
                || (y + 1 < height && isWidened(x, y + 1)));
            FUZZ_CHECK(column == x && row < height && !isWidened(x, row));
        }
    }

    const std::vector<Argb> photoBefore = photoBuffer, maskBefore = maskBuffer;
    std::vector<Argb> result(photoBuffer.size(), outside);
    clearWires(view(photoBuffer, width, height, stride), view(maskBuffer, width, height, stride), P,
        view(result, width, height, stride));
    FUZZ_CHECK(photoBuffer == photoBefore && maskBuffer == maskBefore);
    for (int y = 0; y < height; ++y) {
        const auto row = result.begin() + std::ptrdiff_t(y) * stride;
        FUZZ_CHECK(std::equal(row, row + width, expected.begin() + std::ptrdiff_t(y) * width));
        FUZZ_CHECK(std::all_of(row + width, row + stride, [](Argb p) { return p == outside; }));
    }

    // Flags of any non-zero value; the entries beyond the view are non-zero too and must be
    // neither read as marks nor written.
    std::vector<std::uint8_t> flags(photoBuffer.size(), outsideFlag);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Argb pixel = mask[std::size_t(y) * width + x];
            flags[std::size_t(y) * stride + x] = std::uint8_t(isMarked(pixel) ? pixel >> 24 : 0);
        }
    }
    widenMarks(view(flags, width, height, stride), P);
    result = photoBuffer;
    fillMarkedRuns(view(photoBuffer, width, height, stride), view(flags, width, height, stride),
        view(result, width, height, stride));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < stride; ++x) {
            const std::size_t b = std::size_t(y) * stride + x;
            if (x >= width) {
                FUZZ_CHECK(flags[b] == outsideFlag && result[b] == outside);
                continue;
            }
            const std::size_t i = std::size_t(y) * width + x;
            FUZZ_CHECK((flags[b] != 0) == isMarked(widened[i]));
            FUZZ_CHECK(result[b] == expected[i]);
        }
    }
    return 0;
}
