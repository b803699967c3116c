#pragma once

#include <cstdint>

#include "core/plane.h"
#include "core/wiretypes.h"

namespace tolvane {

// Brightness of every photo pixel: max(red, green, blue); alpha plays no part.
// `brightness` has the photo's size.
void computeBrightness(Plane<const Argb> photo, Plane<std::uint8_t> brightness);

// One row of the per-pixel planes: brightness max(r, g, b) and minimum min(r, g, b) of `count`
// photo pixels.
void computeBrightnessMinimumRow(
    const Argb *photo, int count, std::uint8_t *brightness, std::uint8_t *minimum);

// One row of the vertical difference map: upper[i] - lower[i], where `lower` is the brightness
// row below `upper`.
void computeDifferenceRow(
    const std::uint8_t *upper, const std::uint8_t *lower, int count, std::int16_t *difference);

// One row of the planes for the band scan, as 16-bit values: the brightness and minimum of
// `count` photo pixels, and the vertical difference from the row above. On entry `brightness`
// holds the brightness of the row above; on return it holds this row's, and `difference` holds
// above - this row.
void computeScanRow(const Argb *photo, int count, std::int16_t *brightness, std::int16_t *minimum,
    std::int16_t *difference);

// The planes the band scan reads, photo-sized:
// minimum M(x, y) = min(r, g, b) and vertical difference D(x, y) = V(x, y) - V(x, y + 1), where
// V is the brightness; D is 0 in the last row.
struct DetectionPlanes
{
    PlaneBuffer<std::uint8_t> minimum;
    PlaneBuffer<std::int16_t> difference;
};

DetectionPlanes computeDetectionPlanes(Plane<const Argb> photo);

} // namespace tolvane
