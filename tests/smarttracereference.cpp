#include "smarttracereference.h"

#include <algorithm>
#include <array>
#include <cstdlib>

using tolvane::Point;
using tolvane::WireRoute;

namespace reference {

WireRoute traceWireLiterally(
    const std::vector<std::uint8_t> &brightness, int width, int height, Point S, Point E)
{
    WireRoute route;
    // Distance gate.
    if (std::abs(E.x - S.x) + std::abs(E.y - S.y) > 500) {
        route.outcome = WireRoute::Outcome::TooFar;
        return route;
    }
    // Search window and step map (0: unvisited).
    const int x0 = std::max(std::min(S.x, E.x) - 20, 0);
    const int x1 = std::min(std::max(S.x, E.x) + 20, width - 1);
    const int y0 = std::max(std::min(S.y, E.y) - 20, 0);
    const int y1 = std::min(std::max(S.y, E.y) + 20, height - 1);
    const int winW = x1 - x0 + 1;
    const int winH = y1 - y0 + 1;
    route.x0 = x0;
    route.y0 = y0;
    route.width = winW;
    route.height = winH;
    std::vector<int> step(winW * winH);
    auto B = [&](Point p) { return int(brightness[p.y * width + p.x]); };
    auto inWindow = [&](Point p) { return p.x >= x0 && p.x <= x1 && p.y >= y0 && p.y <= y1; };
    auto stepAt = [&](Point p) -> int & { return step[(p.y - y0) * winW + (p.x - x0)]; };
    // The 3x3 neighbourhood column by column, top to bottom within a column, centre included.
    auto neighbourhood = [](Point p) {
        std::array<Point, 9> positions;
        int i = 0;
        for (int nx = p.x - 1; nx <= p.x + 1; ++nx) {
            for (int ny = p.y - 1; ny <= p.y + 1; ++ny)
                positions[i++] = {nx, ny};
        }
        return positions;
    };

    // One breadth-first search with limit t, a level at a time; true when E is reached.
    auto search = [&](int t) {
        std::fill(step.begin(), step.end(), 0);
        std::vector<Point> current {S};
        std::vector<Point> next;
        stepAt(S) = 1;
        int k = 2;
        while (!current.empty()) {
            for (const Point p : current) {
                for (const Point n : neighbourhood(p)) {
                    if (n == E) {
                        stepAt(E) = k;
                        return true;
                    }
                    if (!inWindow(n) || stepAt(n) != 0 || B(n) >= t)
                        continue;
                    stepAt(n) = k;
                    next.push_back(n);
                }
            }
            current = next;
            next.clear();
            k = k + 1;
        }
        return false;
    };
    int t = std::min(B(S), B(E));
    while (t <= 255 && !search(t))
        t = t + 1;
    if (t > 255) {
        route.outcome = WireRoute::Outcome::NoRoute;
        return route;
    }
    route.limit = t;

    // Walk back from E, one level at a time.
    std::vector<std::uint8_t> path(winW * winH, 0);
    std::vector<Point> current {E};
    for (int L = stepAt(E) - 1; L >= 1; L = L - 1) {
        std::vector<Point> next;
        for (const Point p : current) {
            for (const Point n : neighbourhood(p)) {
                if (!inWindow(n) || stepAt(n) != L)
                    continue;
                if (std::find(next.begin(), next.end(), n) != next.end())
                    continue;
                next.push_back(n);
                path[(n.y - y0) * winW + (n.x - x0)] = 1;
            }
        }
        if (next.size() > 50) {
            route.outcome = WireRoute::Outcome::Abandoned;
            return route;
        }
        current = next;
    }
    route.outcome = WireRoute::Outcome::Found;
    route.path = path;
    return route;
}

} // namespace reference
