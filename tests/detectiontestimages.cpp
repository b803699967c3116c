#include "detectiontestimages.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <random>

namespace tolvane::test {

namespace {

struct Random : std::mt19937
{
    using std::mt19937::mt19937;
    using std::mt19937::operator();
    int operator()(int a, int b) { return std::uniform_int_distribution(a, b)(*this); }
    double operator()(double a, double b) { return std::uniform_real_distribution(a, b)(*this); }
};

Argb rgb(double red, double green, double blue, int alpha)
{
    auto byte = [](double v) { return std::uint32_t(std::clamp(std::lround(v), 0L, 255L)); };
    return std::uint32_t(alpha) << 24 | byte(red) << 16 | byte(green) << 8 | byte(blue);
}

// Covers the part `c` of pixel p with a wire whose red, green and blue are darkest + 30,
// darkest + 10 and darkest.
Argb blend(Argb p, int darkest, double c)
{
    auto mix = [&](int shift, int wire) { return (p >> shift & 0xFF) * (1 - c) + wire * c; };
    return rgb(mix(16, darkest + 30), mix(8, darkest + 10), mix(0, darkest), int(p >> 24));
}

} // namespace

void drawWirePhoto(std::uint32_t seed, Plane<Argb> photo)
{
    Random random(seed);
    const int width = photo.width, height = photo.height;
    const int background = random(0, 3);
    const int noise = background == 2 ? 40 : random(0, background ? 6 : 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int sky = 130 + 100 * y / height, n = random(-noise, noise);
            const int brick = 100 + (x / 9 + y / 5 % 2) % 3 * 25 - (y % 5 ? 0 : 40);
            const int level = std::array {255, sky, sky, 2 * y < height ? sky : brick}[background];
            photo.at(x, y) = rgb(level + n, level + 20 + n, level + 40 + n, random(0, 255));
        }
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
        const double thickness = random(0, 2) ? random(1, 4) : random(0.6, 4.5);
        const double spread = thickness / 2 + std::abs(slope) / 2;
        const int darkest = random(0, 3) ? random(0, 120) : random(160, 200), smooth = random(0, 1);
        for (int x = std::max(0, int(x0)); x <= std::min(width - 1, int(x1)); ++x) {
            const double top = y0 + slope * (x - x0) + sag * (x - x0) * (x1 - x) - spread;
            const double end = top + 2 * spread;
            for (int y = std::max(0, int(top)); y < std::min(height, int(end) + 2); ++y) {
                const double part = std::max(0.0, std::min(end, y + 1.0) - std::max(top, y + 0.0));
                Argb &p = photo.at(x, y);
                p = blend(p, darkest, smooth ? part : part >= 0.5);
            }
        }
    }
}

std::vector<std::uint8_t> randomMask(std::uint32_t seed, int width, int height)
{
    Random random(seed);
    std::vector<std::uint8_t> mask(std::size_t(width) * height);
    const int density = random(1, 30);
    std::generate(mask.begin(), mask.end(), [&] { return random(0, 999) < density ? 255 : 0; });
    for (int line = random(0, 12); line > 0; --line) {
        const int x0 = random(0, width - 1), x1 = std::min(width - 1, x0 + 3 + random(0, width));
        for (int x = x0, y = random(0, height - 1), thickness = random(1, 4); x <= x1; ++x) {
            y = std::clamp(y + (random(0, 3) ? 0 : random(-2, 2)), 0, height - 1);
            for (int r = y; r < std::min(height, y + thickness); ++r)
                mask[r * width + x] = 255;
        }
    }
    return mask;
}

} // namespace tolvane::test
