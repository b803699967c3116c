#include "precisereference.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>
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

void fringeEdges(Plane<const std::uint8_t> brightness, Plane<const std::uint8_t> marks,
    Plane<std::uint8_t> found)
{
    const int w = brightness.width;
    const int h = brightness.height;
    const auto inside = [&](int x, int y) { return x >= 0 && y >= 0 && x < w && y < h; };
    const auto markedNear = [&](int x, int y) {
        for (int dy = -3; dy <= 3; ++dy)
            for (int dx = -3; dx <= 3; ++dx)
                if (inside(x + dx, y + dy) && marks.at(x + dx, y + dy))
                    return true;
        return false;
    };
    const auto roughness = [&](int x, int y) {
        int sum = 0;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                sum += brightness.at(clampTo(x + dx, w), clampTo(y + dy, h));
        return std::abs(9 * brightness.at(x, y) - sum) / 9;
    };
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (marks.at(x, y))
                continue;
            bool step = false;
            bool halfway = false;
            for (const auto &[dx, dy] : {std::pair {1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
                if (!inside(x + dx, y + dy) || marks.at(x + dx, y + dy))
                    continue;
                const int background = brightness.at(x + dx, y + dy);
                int deepest = 0;
                for (int k = 1;
                     k <= 4 && inside(x - k * dx, y - k * dy) && marks.at(x - k * dx, y - k * dy);
                     ++k)
                    deepest = std::max(deepest, background - brightness.at(x - k * dx, y - k * dy));
                step = step || (deepest >= 20 && 5 * (background - brightness.at(x, y)) >= deepest);
                halfway = halfway
                    || (deepest >= 20 && 2 * (background - brightness.at(x, y)) >= deepest);
            }
            if (!step)
                continue;
            int count = 0;
            int sum = 0;
            for (int v = y - 7; v <= y + 7; ++v)
                for (int u = x - 7; u <= x + 7; ++u)
                    if (inside(u, v) && !markedNear(u, v)) {
                        ++count;
                        sum += roughness(u, v);
                    }
            if (count > 0 ? sum < 3 * count : halfway)
                found.at(x, y) = 1;
        }
    }
}

// Every maximal run of unmarked pixels along each row and each column, taken whole when it is
// at most 2 long, has a marked pixel at both ends, and none of it is brighter than the brighter
// end, or all of it lies at least 5 below the backdrop on both sides.
void closeGaps(Plane<const std::uint8_t> brightness, Plane<const std::uint8_t> marks,
    Plane<std::uint8_t> found)
{
    const int w = brightness.width;
    const int h = brightness.height;
    const auto closeRuns = [&](int lines, int length, auto at) {
        for (int line = 0; line < lines; ++line) {
            int i = 0;
            while (i < length) {
                if (marks.at(at(line, i)[0], at(line, i)[1])) {
                    ++i;
                    continue;
                }
                int end = i;
                while (end < length && !marks.at(at(line, end)[0], at(line, end)[1]))
                    ++end;
                // Unmarked from i to end - 1; marked at i - 1 and at end, when inside.
                if (i > 0 && end < length && end - i <= 2) {
                    const auto [ax, ay] = at(line, i - 1);
                    const auto [bx, by] = at(line, end);
                    const int top = std::max(brightness.at(ax, ay), brightness.at(bx, by));
                    bool dark = true;
                    for (int k = i; k < end; ++k)
                        dark = dark && brightness.at(at(line, k)[0], at(line, k)[1]) <= top;
                    // Else below what lies beyond the marks on both sides: the brightest of
                    // the first three unmarked pixels past at most 8 marked ones.
                    const auto beyond = [&](int k, int step) {
                        const auto markedAt
                            = [&](int j) { return marks.at(at(line, j)[0], at(line, j)[1]) != 0; };
                        int crossed = 0;
                        while (k >= 0 && k < length && markedAt(k) && crossed < 8) {
                            k += step;
                            ++crossed;
                        }
                        if (k < 0 || k >= length || markedAt(k))
                            return -1;
                        int value = 0;
                        for (int j = 0; j < 3; ++j, k += step) {
                            if (k < 0 || k >= length || markedAt(k))
                                break;
                            value = std::max(
                                value, int(brightness.at(at(line, k)[0], at(line, k)[1])));
                        }
                        return value;
                    };
                    const int before = beyond(i - 1, -1);
                    const int after = beyond(end, 1);
                    bool belowBoth = before >= 0 && after >= 0;
                    for (int k = i; k < end; ++k)
                        belowBoth = belowBoth
                            && brightness.at(at(line, k)[0], at(line, k)[1])
                                <= std::min(before, after) - 5;
                    if (dark || belowBoth)
                        for (int k = i; k < end; ++k)
                            found.at(at(line, k)[0], at(line, k)[1]) = 1;
                }
                i = end;
            }
        }
    };
    closeRuns(h, w, [](int y, int x) { return std::array<int, 2> {x, y}; });
    closeRuns(w, h, [](int x, int y) { return std::array<int, 2> {x, y}; });
}

} // namespace tolvane::reference
