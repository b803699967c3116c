#include "selection/planes.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "selection/simd.h"
#include "selection/workers.h"

namespace tolvane {

namespace {

// Channel max and min through unsigned integer max/min, which the compiler vectorises.
inline std::uint8_t brightnessOf(Argb p)
{
    return std::uint8_t(std::max(std::max((p >> 16) & 0xFFu, (p >> 8) & 0xFFu), p & 0xFFu));
}

inline std::uint8_t minimumOf(Argb p)
{
    return std::uint8_t(std::min(std::min((p >> 16) & 0xFFu, (p >> 8) & 0xFFu), p & 0xFFu));
}

void computeBrightnessRow(const Argb *photo, int count, std::uint8_t *brightness)
{
    for (int x = 0; x < count; ++x)
        brightness[x] = brightnessOf(photo[x]);
}

} // namespace

void computeBrightness(Plane<const Argb> photo, Plane<std::uint8_t> brightness)
{
    assert(photo.width == brightness.width && photo.height == brightness.height);
    for (int y = 0; y < photo.height; ++y)
        computeBrightnessRow(photo.rowData(y), photo.width, brightness.rowData(y));
}

void computeBrightnessMinimumRow(
    const Argb *photo, int count, std::uint8_t *brightness, std::uint8_t *minimum)
{
    for (int x = 0; x < count; ++x) {
        brightness[x] = brightnessOf(photo[x]);
        minimum[x] = minimumOf(photo[x]);
    }
}

void computeDifferenceRow(
    const std::uint8_t *upper, const std::uint8_t *lower, int count, std::int16_t *difference)
{
    for (int x = 0; x < count; ++x)
        difference[x] = std::int16_t(int(upper[x]) - int(lower[x]));
}

namespace {

void computeScanRowPortable(const Argb *photo, int from, int count, std::int16_t *brightness,
    std::int16_t *minimum, std::int16_t *difference)
{
    for (int x = from; x < count; ++x) {
        const std::int16_t v = brightnessOf(photo[x]);
        difference[x] = std::int16_t(brightness[x] - v);
        brightness[x] = v;
        minimum[x] = minimumOf(photo[x]);
    }
}

#if TOLVANE_HAS_VECTORS
// The channels' max and min are taken bytewise on the pixel and its copies shifted by one and
// two bytes, whose lowest byte then holds the result.
template <int Lanes>
[[gnu::always_inline]] inline int computeScanRowInVectors(const Argb *photo, int count,
    std::int16_t *brightness, std::int16_t *minimum, std::int16_t *difference)
{
    using Pixels = typename simd::Vectors<Lanes>::U32;
    using Words = typename simd::Vectors<Lanes>::I32;
    using Bytes = typename simd::Vectors<4 * Lanes>::U8;
    using Shorts = typename simd::Vectors<Lanes>::I16;
    int x = 0;
    for (; x + Lanes <= count; x += Lanes) {
        Pixels p;
        std::memcpy(&p, photo + x, sizeof p);
        const Bytes a = Bytes(p);
        const Bytes b = Bytes(p >> 8);
        const Bytes c = Bytes(p >> 16);
        Bytes high = a > b ? a : b;
        high = high > c ? high : c;
        Bytes low = a < b ? a : b;
        low = low < c ? low : c;
        const Shorts v = __builtin_convertvector(Words(high) & 0xFF, Shorts);
        const Shorts m = __builtin_convertvector(Words(low) & 0xFF, Shorts);
        Shorts above;
        std::memcpy(&above, brightness + x, sizeof above);
        const Shorts d = above - v;
        std::memcpy(brightness + x, &v, sizeof v);
        std::memcpy(minimum + x, &m, sizeof m);
        std::memcpy(difference + x, &d, sizeof d);
    }
    return x;
}

int computeScanRowDefault(const Argb *photo, int count, std::int16_t *brightness,
    std::int16_t *minimum, std::int16_t *difference)
{
    return computeScanRowInVectors<8>(photo, count, brightness, minimum, difference);
}

TOLVANE_AVX2 int computeScanRowAvx2(const Argb *photo, int count, std::int16_t *brightness,
    std::int16_t *minimum, std::int16_t *difference)
{
    return computeScanRowInVectors<8>(photo, count, brightness, minimum, difference);
}
#endif

} // namespace

void computeScanRow(const Argb *photo, int count, std::int16_t *brightness, std::int16_t *minimum,
    std::int16_t *difference)
{
    int done = 0;
#if TOLVANE_HAS_VECTORS
    done = simd::hasAvx2() ? computeScanRowAvx2(photo, count, brightness, minimum, difference)
                           : computeScanRowDefault(photo, count, brightness, minimum, difference);
#endif
    computeScanRowPortable(photo, done, count, brightness, minimum, difference);
}

DetectionPlanes computeDetectionPlanes(Plane<const Argb> photo)
{
    const int W = photo.width;
    const int H = photo.height;
    DetectionPlanes planes {PlaneBuffer<std::uint8_t>(W, H), PlaneBuffer<std::int16_t>(W, H)};
    if (photo.isEmpty())
        return planes;
    Plane<std::uint8_t> minimum = planes.minimum.view();
    Plane<std::int16_t> difference = planes.difference.view();
    // Blocks of rows, each with the brightness of one more row below it; the brightness
    // plane itself is never stored, only two rows of it at a time.
    constexpr int blockRows = 64;
    const int blockCount = (H + blockRows - 1) / blockRows;
    forEachChunk(blockCount, photo.pixelCount() >= threadedPixelCount, [&](int block) {
        const int begin = block * blockRows;
        const int end = std::min(H, begin + blockRows);
        std::vector<std::uint8_t> upper(W);
        std::vector<std::uint8_t> lower(W);
        computeBrightnessMinimumRow(photo.rowData(begin), W, upper.data(), minimum.rowData(begin));
        for (int y = begin; y < end; ++y) {
            if (y + 1 == H) {
                std::fill_n(difference.rowData(y), W, std::int16_t(0));
                break;
            }
            if (y + 1 < end)
                computeBrightnessMinimumRow(
                    photo.rowData(y + 1), W, lower.data(), minimum.rowData(y + 1));
            else
                computeBrightnessRow(photo.rowData(y + 1), W, lower.data());
            computeDifferenceRow(upper.data(), lower.data(), W, difference.rowData(y));
            std::swap(upper, lower);
        }
    });
    return planes;
}

} // namespace tolvane
