#include "detectiontestimages.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace tolvane::test {

namespace {

struct Random
{
    std::mt19937 engine;
    int operator()(int a, int b) { return std::uniform_int_distribution(a, b)(engine); }
    double operator()(double a, double b) { return std::uniform_real_distribution(a, b)(engine); }
};

// Covers the part c of pixel p with ink of the colour (red, green, blue), keeping p's alpha.
Argb cover(Argb p, double c, double red, double green, double blue)
{
    auto mix = [&](int shift, double ink) {
        return Argb(std::clamp(std::lround((p >> shift & 0xFF) * (1 - c) + ink * c), 0L, 255L));
    };
    return (p & 0xFF000000u) | mix(16, red) << 16 | mix(8, green) << 8 | mix(0, blue);
}

} // namespace

void drawWirePhoto(std::uint32_t seed, Plane<Argb> photo)
{
    Random random {std::mt19937(seed)};
    const int width = photo.width, height = photo.height;
    const int background = random(0, 3);
    const int noise = background == 2 ? 40 : random(0, background ? 6 : 0);
    // White, a sky, a noisy sky or a sky above a brick wall; random alpha.
    for (int i = 0; i < width * height; ++i) {
        const int x = i % width, y = i / width;
        const int sky = 130 + 100 * y / height, n = random(-noise, noise);
        const int brick = 100 + (x / 9 + y / 5 % 2) % 3 * 25 - (y % 5 ? 0 : 40);
        const int level = background == 0 ? 255 : background == 3 && 2 * y >= height ? brick : sky;
        photo.at(x, y) = cover(random(0, 255) << 24, 1, level + n, level + 20 + n, level + 40 + n);
    }
    double x0 = 0, y0 = 0;
    for (int line = 0, lines = random(1, 7); line < lines; ++line) {
        // A quarter of the lines fork from the previous line's start; some lines start near the
        // first or the last row.
        if (line == 0 || random(0, 3)) {
            x0 = random(-width / 4, width / 2);
            y0 = random(0, 2) ? random(0.0, double(height)) : random(0, 1) * height + random(-3, 3);
        }
        const double x1 = x0 + 5 + random(0, width);
        const int shape = random(0, 3);
        const double slope = shape == 0 ? 0 : shape == 1 ? random(-1.0, 1.0) : random(-4.5, 4.5);
        const double sag = shape == 3 ? random(0.0, 160 / std::max(1.0, (x1 - x0) * (x1 - x0))) : 0;
        // The rows it covers in a column: its thickness, 1 to 4 pixels, and its slope.
        const double extent = (random(0, 2) ? random(1, 4) : random(0.6, 4.5)) + std::abs(slope);
        const int darkest = random(0, 3) ? random(0, 120) : random(160, 200), smooth = random(0, 1);
        for (int x = std::max(0, int(x0)); x <= std::min(width - 1, int(x1)); ++x) {
            const double top = y0 + slope * (x - x0) + sag * (x - x0) * (x1 - x) - extent / 2;
            const double end = top + extent;
            for (int y = std::max(0, int(top)); y < std::min(height, int(end) + 2); ++y) {
                const double part = std::max(0.0, std::min(end, y + 1.0) - std::max(top, y + 0.0));
                Argb &p = photo.at(x, y);
                p = cover(p, smooth ? part : part >= 0.5, darkest + 30, darkest + 10, darkest);
            }
        }
    }
}

} // namespace tolvane::test
