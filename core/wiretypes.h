#pragma once

#include <cstdint>
#include <vector>

namespace tolvane {

// Photo and mask pixels are 32-bit ARGB values, 0xAARRGGBB, as the image library keeps
// them in memory.
using Argb = std::uint32_t;

// Pixels of photos with 16 bits per channel, as the image library keeps them: red, green,
// blue and alpha, 16 bits each, red in the lowest bits. Only ever copied whole here.
using Rgba64 = std::uint64_t;

// Mark colours of the wire mask: translucent red from detection (and the removal's widening),
// opaque yellow from smart selection, translucent blue from the mark brush. Only the alpha
// test below is ever applied to them.
inline constexpr Argb detectionMark = 0x96FF0000u;
inline constexpr Argb traceMark = 0xFFFFFF00u;
inline constexpr Argb brushMark = 0x960078FFu;

// A mask pixel is marked when its alpha is not 0, whatever its colour bits.
constexpr bool isMarked(Argb pixel)
{
    return pixel >= 0x1000000u;
}

// Pixel index y * width + x into a plane of the photo's size.
using PixelIndex = std::int32_t;

// A vertical stretch of pixels in column x: rows y ... y + length - 1.
struct ColumnRun
{
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t length = 0;
    bool operator==(const ColumnRun &) const = default;
};

// One run per column over consecutive columns, left to right.
using WireTrace = std::vector<ColumnRun>;

// Candidate pixels in the order in which the component search reached them.
using Component = std::vector<PixelIndex>;

struct Point
{
    int x = 0;
    int y = 0;
    bool operator==(const Point &) const = default;
};

} // namespace tolvane
