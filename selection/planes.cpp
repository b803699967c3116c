#include "selection/planes.h"

#include <algorithm>
#include <cstring>

#include "selection/simd.h"

namespace tolvane {

namespace {

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

} // namespace tolvane
