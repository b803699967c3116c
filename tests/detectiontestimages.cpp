#include "detectiontestimages.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace tolvane::test {

namespace {

Argb grey(int level, std::uint32_t alpha)
{
    return alpha << 24 | std::uint32_t(level) << 16 | std::uint32_t(level) << 8
        | std::uint32_t(level);
}

Argb rgb(int red, int green, int blue)
{
    auto clamp = [](int v) { return std::uint32_t(std::clamp(v, 0, 255)); };
    return 0xFF000000u | clamp(red) << 16 | clamp(green) << 8 | clamp(blue);
}

int channel(Argb p, int shift)
{
    return int((p >> shift) & 0xFF);
}

Argb blend(Argb under, Argb over, double coverage)
{
    auto mix = [&](int shift) {
        return int(
            std::lround(channel(under, shift) * (1 - coverage) + channel(over, shift) * coverage));
    };
    return rgb(mix(16), mix(8), mix(0));
}

} // namespace

PlaneBuffer<Argb> photoFromRows(std::initializer_list<std::string> rows)
{
    const int height = int(rows.size());
    const int width = height ? int(rows.begin()->size()) : 0;
    PlaneBuffer<Argb> photo(width, height);
    std::mt19937 random(7);
    int y = 0;
    for (const std::string &row : rows) {
        for (int x = 0; x < width; ++x) {
            const char c = row[x];
            const int level = c == '.' ? 255 : c == '#' ? 0 : (c - '0') * 255 / 10;
            photo.view().at(x, y) = grey(level, random() & 0xFF);
        }
        ++y;
    }
    return photo;
}

PlaneBuffer<Argb> columnPhoto(
    const std::vector<int> &brightness, const std::vector<int> &minimum, int columns)
{
    const int height = int(brightness.size());
    PlaneBuffer<Argb> photo(columns, height);
    for (int y = 0; y < height; ++y) {
        const int low = minimum.empty() ? brightness[y] : minimum[y];
        for (int x = 0; x < columns; ++x)
            photo.view().at(x, y) = 0xFF000000u | std::uint32_t(brightness[y]) << 16
                | std::uint32_t(low) << 8 | std::uint32_t(low);
    }
    return photo;
}

PlaneBuffer<Argb> whitePhoto(int width, int height)
{
    PlaneBuffer<Argb> photo(width, height);
    std::fill_n(photo.data(), photo.pixelCount(), 0xFFFFFFFFu);
    return photo;
}

void fillBlock(Plane<Argb> photo, int x0, int x1, int first, int last, Argb colour)
{
    for (int y = first; y <= last; ++y) {
        for (int x = x0; x <= x1; ++x)
            photo.at(x, y) = colour;
    }
}

PlaneBuffer<std::uint8_t> maskFromRows(std::initializer_list<std::string> rows)
{
    const int height = int(rows.size());
    const int width = height ? int(rows.begin()->size()) : 0;
    PlaneBuffer<std::uint8_t> mask(width, height);
    int y = 0;
    for (const std::string &row : rows) {
        for (int x = 0; x < width; ++x)
            mask.view().at(x, y) = row[x] == '#' ? 255 : 0;
        ++y;
    }
    return mask;
}

PlaneBuffer<Argb> wirePhoto(std::uint32_t seed, int width, int height)
{
    std::mt19937 random(seed);
    auto uniform = [&](double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(random);
    };
    auto integer = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, std::max(low, high))(random);
    };
    PlaneBuffer<Argb> buffer(width, height);
    Plane<Argb> photo = buffer.view();

    const int background = integer(0, 3);
    const int noise = background == 0 ? 0 : integer(0, background == 3 ? 40 : 6);
    const int groundRow = background >= 2 ? integer(height / 2, height) : height;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int red = 255, green = 255, blue = 255;
            if (background != 0) {
                // A sky that lightens towards the horizon.
                red = 110 + 100 * y / std::max(1, height);
                green = 150 + 80 * y / std::max(1, height);
                blue = 235;
            }
            if (y >= groundRow) {
                const int brick = ((x / 9 + (y / 5) % 2) % 3) * 25 + ((y % 5 == 0) ? -40 : 0);
                red = 120 + brick;
                green = 90 + brick;
                blue = 70 + brick;
            }
            const int n = noise ? integer(-noise, noise) : 0;
            photo.at(x, y) = (rgb(red + n, green + n, blue + n) & 0x00FFFFFFu)
                | std::uint32_t(integer(0, 255)) << 24;
        }
    }

    const int lineCount = integer(1, 7);
    for (int line = 0; line < lineCount; ++line) {
        const int shape = integer(0, 3);
        const double thickness = integer(0, 2) == 0 ? uniform(0.6, 4.5) : integer(1, 4);
        const bool smooth = integer(0, 1);
        const int darkest = integer(0, 3) == 0 ? integer(160, 200) : integer(0, 120);
        const Argb colour = rgb(darkest + integer(0, 40), darkest + integer(0, 20), darkest);
        const int x0 = integer(-width / 4, width / 2);
        const int x1 = x0 + integer(5, width);
        double y0 = integer(0, 5) == 0 ? integer(0, 3)
            : integer(0, 5) == 0       ? height - integer(1, 4)
                                       : uniform(0, height);
        double slope = 0, sag = 0;
        if (shape == 1)
            slope = uniform(-1.0, 1.0);
        else if (shape == 2)
            slope = uniform(-4.5, 4.5);
        else if (shape == 3)
            sag = uniform(0.0, 40.0 / std::max(1, (x1 - x0) * (x1 - x0) / 4));
        // Forks: a second line leaving this one's start.
        const int forks = integer(0, 4) == 0 ? 2 : 1;
        for (int fork = 0; fork < forks; ++fork) {
            const double forkSlope = fork ? slope + uniform(0.2, 1.0) : slope;
            for (int x = std::max(0, x0); x <= std::min(width - 1, x1); ++x) {
                const double t = x - x0;
                const double centre = y0 + forkSlope * t + sag * t * (x1 - x0 - t);
                const double top = centre - thickness / 2;
                const double bottom = centre + thickness / 2;
                const double extra = std::abs(forkSlope) / 2;
                for (int y = int(std::floor(top - extra)); y <= int(std::ceil(bottom + extra));
                     ++y) {
                    if (y < 0 || y >= height)
                        continue;
                    double coverage = std::clamp(
                        std::min(bottom + extra, y + 1.0) - std::max(top - extra, double(y)), 0.0,
                        1.0);
                    if (!smooth)
                        coverage = coverage >= 0.5 ? 1 : 0;
                    if (coverage > 0)
                        photo.at(x, y) = blend(photo.at(x, y), colour, coverage);
                }
            }
        }
    }
    return buffer;
}

PlaneBuffer<std::uint8_t> randomMask(std::uint32_t seed, int width, int height)
{
    std::mt19937 random(seed);
    auto integer = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, std::max(low, high))(random);
    };
    PlaneBuffer<std::uint8_t> buffer(width, height);
    Plane<std::uint8_t> mask = buffer.view();
    std::fill_n(buffer.data(), buffer.pixelCount(), std::uint8_t(0));
    const int density = integer(1, 30);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (integer(0, 999) < density)
                mask.at(x, y) = 255;
        }
    }
    const int lines = integer(0, 12);
    for (int line = 0; line < lines; ++line) {
        int y = integer(0, height - 1);
        const int thickness = integer(1, 4);
        const int x0 = integer(0, width - 1);
        const int x1 = std::min(width - 1, x0 + integer(3, width));
        for (int x = x0; x <= x1; ++x) {
            y = std::clamp(y + integer(-2, 2) * (integer(0, 3) == 0), 0, height - 1);
            for (int r = y; r < std::min(height, y + thickness); ++r)
                mask.at(x, r) = 255;
        }
    }
    return buffer;
}

std::vector<std::uint8_t> toVector(Plane<const std::uint8_t> plane)
{
    std::vector<std::uint8_t> out;
    for (int y = 0; y < plane.height; ++y)
        out.insert(out.end(), plane.rowData(y), plane.rowData(y) + plane.width);
    return out;
}

std::vector<Argb> toVector(Plane<const Argb> plane)
{
    std::vector<Argb> out;
    for (int y = 0; y < plane.height; ++y)
        out.insert(out.end(), plane.rowData(y), plane.rowData(y) + plane.width);
    return out;
}

} // namespace tolvane::test
