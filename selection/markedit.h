#pragma once

#include <cstdint>
#include <span>

#include "core/plane.h"
#include "core/wiretypes.h"

// Hand edits of a wire mask: strokes of a round brush that mark or unmark pixels, and the
// removal of one connected piece of marks.
namespace tolvane {

// A point of a brush stroke in photo coordinates: pixel (x, y) covers [x, x + 1) x [y, y + 1),
// so its centre is (x + 0.5, y + 0.5).
struct StrokePoint
{
    double x = 0;
    double y = 0;
};

// Beyond this a coordinate is no point of a stroke: far enough for any photo, near enough that
// distances keep their precision.
inline constexpr double maxStrokeCoordinate = 1 << 30;

// Sets to `value` every pixel of `mask` whose centre lies within `radius` (inclusive) of the
// stroke: the polyline through `points`, or the single point when there is one. Returns the
// number of pixels whose value changed. Nothing happens for no points, a negative radius or a
// point beyond maxStrokeCoordinate (or not a number) either way.
std::int64_t paintStroke(
    Plane<Argb> mask, std::span<const StrokePoint> points, double radius, Argb value);

// The marked pixel (isMarked) nearest to `at` within `reach` (squared distance at most
// reach * reach; of equal distances the one with the smaller y, then the smaller x), or
// {-1, -1} when there is none.
Point nearestMark(Plane<const Argb> mask, Point at, int reach);

// Sets to 0 the 8-connected piece of marked pixels that holds nearestMark(mask, at, reach).
// Returns the number of pixels cleared: 0 when no mark is within reach.
std::int64_t dropPiece(Plane<Argb> mask, Point at, int reach);

} // namespace tolvane
