#include "selection/markedit.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace tolvane {

namespace {

// Squared distance from (px, py) to the segment a-b.
double distanceSquaredToSegment(double px, double py, StrokePoint a, StrokePoint b)
{
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double length2 = dx * dx + dy * dy;
    double t = 0;
    if (length2 > 0)
        t = std::clamp(((px - a.x) * dx + (py - a.y) * dy) / length2, 0.0, 1.0);
    const double ex = px - (a.x + t * dx);
    const double ey = py - (a.y + t * dy);
    return ex * ex + ey * ey;
}

// Paints the pixels of the capsule around segment a-b, visiting only its bounding box.
std::int64_t paintSegment(Plane<Argb> mask, StrokePoint a, StrokePoint b, double radius, Argb value)
{
    // Centres within the radius lie in these pixel ranges; clamping in double first keeps
    // far-off points from overflowing the conversion.
    auto first = [&](double low, int size) {
        return int(std::clamp(std::floor(low - radius - 0.5), 0.0, double(size)));
    };
    auto last = [&](double high, int size) {
        return int(std::clamp(std::ceil(high + radius - 0.5), -1.0, double(size - 1)));
    };
    const int x0 = first(std::min(a.x, b.x), mask.width);
    const int x1 = last(std::max(a.x, b.x), mask.width);
    const int y0 = first(std::min(a.y, b.y), mask.height);
    const int y1 = last(std::max(a.y, b.y), mask.height);
    const double radius2 = radius * radius;
    std::int64_t changed = 0;
    for (int y = y0; y <= y1; ++y) {
        Argb *row = mask.rowData(y);
        for (int x = x0; x <= x1; ++x) {
            if (row[x] != value && distanceSquaredToSegment(x + 0.5, y + 0.5, a, b) <= radius2) {
                row[x] = value;
                ++changed;
            }
        }
    }
    return changed;
}

} // namespace

std::int64_t paintStroke(
    Plane<Argb> mask, std::span<const StrokePoint> points, double radius, Argb value)
{
    if (points.empty() || !(radius >= 0) || !std::isfinite(radius) || mask.isEmpty())
        return 0;
    for (const StrokePoint &p : points) {
        if (!(std::abs(p.x) <= maxStrokeCoordinate && std::abs(p.y) <= maxStrokeCoordinate))
            return 0;
    }
    if (points.size() == 1)
        return paintSegment(mask, points[0], points[0], radius, value);
    std::int64_t changed = 0;
    for (std::size_t i = 1; i < points.size(); ++i)
        changed += paintSegment(mask, points[i - 1], points[i], radius, value);
    return changed;
}

Point nearestMark(Plane<const Argb> mask, Point at, int reach)
{
    Point best {-1, -1};
    if (reach < 0 || mask.isEmpty())
        return best;
    std::int64_t bestDistance = std::int64_t(reach) * reach + 1;
    const int y0 = int(std::max<std::int64_t>(0, std::int64_t(at.y) - reach));
    const int y1 = int(std::min<std::int64_t>(mask.height - 1, std::int64_t(at.y) + reach));
    const int x0 = int(std::max<std::int64_t>(0, std::int64_t(at.x) - reach));
    const int x1 = int(std::min<std::int64_t>(mask.width - 1, std::int64_t(at.x) + reach));
    for (int y = y0; y <= y1; ++y) {
        const Argb *row = mask.rowData(y);
        for (int x = x0; x <= x1; ++x) {
            if (!isMarked(row[x]))
                continue;
            const std::int64_t dx = x - std::int64_t(at.x);
            const std::int64_t dy = y - std::int64_t(at.y);
            const std::int64_t distance = dx * dx + dy * dy;
            // Rows and columns go in increasing order, so only a nearer mark replaces one.
            if (distance < bestDistance) {
                bestDistance = distance;
                best = {x, y};
            }
        }
    }
    return best;
}

std::int64_t dropPiece(Plane<Argb> mask, Point at, int reach)
{
    const Point seed = nearestMark(mask, at, reach);
    if (seed.x < 0)
        return 0;
    // Pixels are cleared when they are pushed, so none is pushed twice.
    std::vector<Point> stack {seed};
    mask.at(seed.x, seed.y) = 0;
    std::int64_t cleared = 1;
    while (!stack.empty()) {
        const Point p = stack.back();
        stack.pop_back();
        for (int y = std::max(p.y - 1, 0); y <= std::min(p.y + 1, mask.height - 1); ++y) {
            for (int x = std::max(p.x - 1, 0); x <= std::min(p.x + 1, mask.width - 1); ++x) {
                Argb &pixel = mask.at(x, y);
                if (isMarked(pixel)) {
                    pixel = 0;
                    ++cleared;
                    stack.push_back({x, y});
                }
            }
        }
    }
    return cleared;
}

} // namespace tolvane
