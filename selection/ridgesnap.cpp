#include "selection/ridgesnap.h"

#include <algorithm>
#include <cassert>
#include <vector>

namespace tolvane {

namespace {

constexpr Point directions[] = {{0, 1}, {1, 0}, {1, 1}, {1, -1}};

} // namespace

int ridgeStrength(Plane<const std::uint8_t> brightness, Point p)
{
    auto inside = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < brightness.width && y < brightness.height;
    };
    const int centre = brightness.at(p.x, p.y);
    int strongest = 0;
    for (const Point d : directions) {
        // The brightest pixel on each side, and whether the centre is a minimum along d.
        int side[2] = {-1, -1};
        bool minimum = true;
        for (int s = 0; s < 2 && minimum; ++s) {
            const int sign = s == 0 ? 1 : -1;
            for (int k = 1; k <= maxRidgeHalfWidth; ++k) {
                const int x = p.x + sign * k * d.x;
                const int y = p.y + sign * k * d.y;
                if (!inside(x, y))
                    break;
                const int value = brightness.at(x, y);
                if (k == 1 && value < centre)
                    minimum = false;
                side[s] = std::max(side[s], value);
            }
        }
        // A line needs both sides: at the photo's edge there is only one.
        if (!minimum || side[0] < 0 || side[1] < 0)
            continue;
        strongest = std::max(strongest, std::min(side[0], side[1]) - centre);
    }
    return strongest >= ridgeContrast ? strongest : 0;
}

Point snapToRidge(Plane<const std::uint8_t> brightness, Point at, int reach)
{
    assert(at.x >= 0 && at.y >= 0 && at.x < brightness.width && at.y < brightness.height);
    if (reach <= 0)
        return at;
    struct Candidate
    {
        Point p;
        long long distance2;
        int strength;
    };
    std::vector<Candidate> candidates;
    const long long reach2 = static_cast<long long>(reach) * reach;
    const int y0 = std::max(0, at.y - reach), y1 = std::min(brightness.height - 1, at.y + reach);
    const int x0 = std::max(0, at.x - reach), x1 = std::min(brightness.width - 1, at.x + reach);
    int strongest = 0;
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            const long long dx = x - at.x, dy = y - at.y;
            const long long distance2 = dx * dx + dy * dy;
            if (distance2 > reach2)
                continue;
            const int strength = ridgeStrength(brightness, {x, y});
            if (strength == 0)
                continue;
            candidates.push_back({{x, y}, distance2, strength});
            strongest = std::max(strongest, strength);
        }
    }
    const Candidate *best = nullptr;
    for (const Candidate &c : candidates) {
        if (2 * c.strength < strongest)
            continue;
        // Candidates come in row order, so only a strictly better one replaces the best.
        if (!best || c.distance2 < best->distance2
            || (c.distance2 == best->distance2 && c.strength > best->strength))
            best = &c;
    }
    return best ? best->p : at;
}

} // namespace tolvane
