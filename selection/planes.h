#pragma once

#include <algorithm>
#include <cstdint>

#include "core/plane.h"
#include "core/wiretypes.h"

namespace tolvane {

// A pixel's brightness max(red, green, blue) and minimum min(red, green, blue); alpha plays no
// part. Unsigned integer max and min, which the compiler vectorises.
inline std::uint8_t brightnessOf(Argb p)
{
    return std::uint8_t(std::max(std::max((p >> 16) & 0xFFu, (p >> 8) & 0xFFu), p & 0xFFu));
}

inline std::uint8_t minimumOf(Argb p)
{
    return std::uint8_t(std::min(std::min((p >> 16) & 0xFFu, (p >> 8) & 0xFFu), p & 0xFFu));
}

// Brightness of every photo pixel. `brightness` has the photo's size.
void computeBrightness(Plane<const Argb> photo, Plane<std::uint8_t> brightness);

// One row of the planes for the band scan, as 16-bit values: the brightness and minimum of
// `count` photo pixels, and the vertical difference from the row above. On entry `brightness`
// holds the brightness of the row above; on return it holds this row's, and `difference` holds
// above - this row.
void computeScanRow(const Argb *photo, int count, std::int16_t *brightness, std::int16_t *minimum,
    std::int16_t *difference);

} // namespace tolvane
