#pragma once

#include <cstdint>
#include <vector>

#include "core/plane.h"
#include "core/wiretypes.h"

namespace tolvane {

// Points farther apart than this, as |dx| + |dy| in photo pixels, are not traced.
inline constexpr int maxTraceDistance = 500;
// The search window reaches this many pixels beyond the two points on every side.
inline constexpr int traceWindowMargin = 20;
// A walk-back level with more candidate pixels than this is not a thin line.
inline constexpr int maxRouteWidth = 50;

// The cursor point of a cursor square given by its inclusive edges (scene coordinates): the
// centre with integer division toward zero, minus 10, clamped into the photo. The null
// rectangle (0, 0, -1, -1) gives (0, 0). The photo must not be empty.
Point cursorPoint(int left, int top, int right, int bottom, int photoWidth, int photoHeight);

struct WireRoute
{
    enum class Outcome { Found, TooFar, NoRoute, Abandoned };
    Outcome outcome = Outcome::NoRoute;
    int x0 = 0, y0 = 0, width = 0, height = 0; // the search window (photo pixels), when searched
    int limit = 0; // the brightness limit of the successful search (Found and Abandoned)
    std::vector<std::uint8_t> path; // width * height, row-major; 1 on route pixels; Found only
};

// Traces the darkest shortest route from `start` to `end` over `brightness` (max(R,G,B) per
// photo pixel): 8-connected through pixels darker than the lowest limit, from the darker point's
// brightness up, that connects them. `path` holds the start and every pixel of every shortest
// route, not the end; start == end is Found with no pixel set. Only Found fills `path`; TooFar
// leaves the window empty.
WireRoute traceWire(Plane<const std::uint8_t> brightness, Point start, Point end);

} // namespace tolvane
