#include "smarttracereference.h"

#include <algorithm>
#include <cstdlib>

using tolvane::Point;
using tolvane::WireRoute;

namespace reference {

namespace {

struct Search
{
    const std::vector<std::uint8_t> &brightness;
    int photoWidth;
    int x0, y0, x1, y1;
    Point start, end;
    std::vector<int> step; // window-sized; 0 unvisited

    int winW() const { return x1 - x0 + 1; }
    bool inWindow(int x, int y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
    int &stepAt(int x, int y) { return step[(y - y0) * winW() + (x - x0)]; }
    int b(int x, int y) const { return brightness[y * photoWidth + x]; }

    // One search with limit t; true when E is reached.
    bool run(int t)
    {
        std::fill(step.begin(), step.end(), 0);
        std::vector<Point> current {start};
        std::vector<Point> next;
        stepAt(start.x, start.y) = 1;
        int k = 2;
        while (!current.empty()) {
            for (const Point p : current) {
                for (int nx = p.x - 1; nx <= p.x + 1; ++nx) {
                    for (int ny = p.y - 1; ny <= p.y + 1; ++ny) {
                        if (nx == end.x && ny == end.y) {
                            stepAt(nx, ny) = k;
                            return true;
                        }
                        if (!inWindow(nx, ny))
                            continue;
                        if (stepAt(nx, ny) != 0)
                            continue;
                        if (b(nx, ny) >= t)
                            continue;
                        stepAt(nx, ny) = k;
                        next.push_back({nx, ny});
                    }
                }
            }
            current = next;
            next.clear();
            ++k;
        }
        return false;
    }
};

} // namespace

WireRoute traceWireLiterally(
    const std::vector<std::uint8_t> &brightness, int width, int height, Point start, Point end)
{
    WireRoute route;
    if (std::abs(end.x - start.x) + std::abs(end.y - start.y) > 500) {
        route.outcome = WireRoute::Outcome::TooFar;
        return route;
    }
    Search search {brightness, width, 0, 0, 0, 0, start, end, {}};
    search.x0 = std::max(std::min(start.x, end.x) - 20, 0);
    search.x1 = std::min(std::max(start.x, end.x) + 20, width - 1);
    search.y0 = std::max(std::min(start.y, end.y) - 20, 0);
    search.y1 = std::min(std::max(start.y, end.y) + 20, height - 1);
    route.x0 = search.x0;
    route.y0 = search.y0;
    route.width = search.x1 - search.x0 + 1;
    route.height = search.y1 - search.y0 + 1;
    search.step.resize(route.width * route.height);

    int t = std::min(search.b(start.x, start.y), search.b(end.x, end.y));
    bool found = false;
    while (t <= 255) {
        if (search.run(t)) {
            found = true;
            break;
        }
        t = t + 1;
    }
    if (!found) {
        route.outcome = WireRoute::Outcome::NoRoute;
        return route;
    }
    route.limit = t;

    std::vector<std::uint8_t> path(route.width * route.height, 0);
    std::vector<Point> current {end};
    int level = search.stepAt(end.x, end.y) - 1;
    while (level >= 1) {
        std::vector<Point> next;
        for (const Point p : current) {
            for (int nx = p.x - 1; nx <= p.x + 1; ++nx) {
                for (int ny = p.y - 1; ny <= p.y + 1; ++ny) {
                    if (!search.inWindow(nx, ny))
                        continue;
                    if (search.stepAt(nx, ny) != level)
                        continue;
                    if (std::find(next.begin(), next.end(), Point {nx, ny}) != next.end())
                        continue;
                    next.push_back({nx, ny});
                    path[(ny - route.y0) * route.width + (nx - route.x0)] = 1;
                }
            }
        }
        if (next.size() > 50) {
            route.outcome = WireRoute::Outcome::Abandoned;
            return route;
        }
        current = next;
        level = level - 1;
    }
    route.outcome = WireRoute::Outcome::Found;
    route.path = path;
    return route;
}

} // namespace reference
