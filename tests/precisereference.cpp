#include "precisereference.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace tolvane::reference {

namespace {

int clampTo(int v, int size)
{
    return std::clamp(v, 0, size - 1);
}

} // namespace

void blackHat(Plane<const std::uint8_t> brightness, int maxWidth, Plane<std::uint8_t> hat)
{
    const int w = brightness.width;
    const int h = brightness.height;
    const int r = std::max(2, maxWidth);
    std::vector<int> dilated(std::size_t(w) * std::size_t(h));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            int greatest = 0;
            for (int dy = -r; dy <= r; ++dy)
                for (int dx = -r; dx <= r; ++dx)
                    greatest = std::max<int>(
                        greatest, brightness.at(clampTo(x + dx, w), clampTo(y + dy, h)));
            dilated[std::size_t(y) * w + x] = greatest;
        }
    }
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            int least = 255;
            for (int dy = -r; dy <= r; ++dy)
                for (int dx = -r; dx <= r; ++dx)
                    least = std::min(
                        least, dilated[std::size_t(clampTo(y + dy, h)) * w + clampTo(x + dx, w)]);
            hat.at(x, y) = std::uint8_t(least - brightness.at(x, y));
        }
    }
}

void linePixels(Plane<const std::uint8_t> brightness, Plane<const std::uint8_t> hat, int maxWidth,
    Plane<std::uint8_t> line)
{
    const int w = brightness.width;
    const int h = brightness.height;
    // The 3 x 3 box sum at the nearest pixel of the plane, itself over clamped coordinates.
    auto boxSum = [&](int x, int y) {
        x = clampTo(x, w);
        y = clampTo(y, h);
        int sum = 0;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                sum += brightness.at(clampTo(x + dx, w), clampTo(y + dy, h));
        return sum;
    };
    const double pi = 3.14159265358979323846;
    const int farthest = maxWidth / 2 + 3;
    std::vector<std::uint8_t> result(std::size_t(w) * std::size_t(h));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            std::uint8_t &out = result[std::size_t(y) * w + x];
            out = 0;
            if (hat.at(x, y) < 6)
                continue;
            const int centre = 9 * brightness.at(x, y);
            int best = 0;
            int bestIndex = 0;
            bool bestUneven = false;
            for (int i = 0; i < 8; ++i) {
                const double angle = pi * i / 8;
                int one = 0;
                int other = 0;
                for (int d = 2; d <= farthest; ++d) {
                    const int nx = int(std::lround(-d * std::sin(angle)));
                    const int ny = int(std::lround(d * std::cos(angle)));
                    one = std::max(one, boxSum(x + nx, y + ny));
                    other = std::max(other, boxSum(x - nx, y - ny));
                }
                const int ax = int(std::lround(3 * std::cos(angle)));
                const int ay = int(std::lround(3 * std::sin(angle)));
                const int along = std::max(boxSum(x + ax, y + ay), boxSum(x - ax, y - ay));
                const int sides = std::min(one, other) - centre;
                const int score = sides - std::max(0, along - centre);
                if (score > best) {
                    best = score;
                    bestIndex = i;
                    bestUneven = 5 * sides < 3 * (std::max(one, other) - centre);
                }
            }
            if (best < 90)
                continue;
            out = std::uint8_t((best >= 144 ? 2 : 1) | bestIndex << 2 | (bestUneven ? 64 : 0));
        }
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            line.at(x, y) = result[std::size_t(y) * w + x];
}

} // namespace tolvane::reference
