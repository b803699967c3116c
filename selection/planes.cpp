#include "selection/planes.h"

#include <algorithm>
#include <vector>

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
