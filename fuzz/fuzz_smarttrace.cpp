// The smart-selection trace on drawn brightness maps against the literal version in tests/,
// field for field, for points anywhere, on the border or on one pixel; maps up to 300 x 200 and
// strips up to 600 columns, where points can be too far apart. Also cursorPoint on any edges.

#include <cstdlib>

#include "fuzzsupport.h"
#include "selection/smarttrace.h"
#include "smarttracereference.h"

using namespace tolvane;

namespace {

Point consumePoint(FuzzedDataProvider &in, int width, int height)
{
    Point p {in.ConsumeIntegralInRange(0, width - 1), in.ConsumeIntegralInRange(0, height - 1)};
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
        p.x = in.ConsumeBool() ? 0 : width - 1;
        break;
    case 1:
        p.y = in.ConsumeBool() ? 0 : height - 1;
        break;
    default:
        break;
    }
    return p;
}

// The point lies in the photo, and is the centre minus 10 whenever that does.
void checkCursorPoint(FuzzedDataProvider &in)
{
    const int width = in.ConsumeIntegralInRange(1, 1 << 16);
    const int height = in.ConsumeIntegralInRange(1, 1 << 16);
    const int left = in.ConsumeIntegral<int>(), top = in.ConsumeIntegral<int>();
    const int right = in.ConsumeIntegral<int>(), bottom = in.ConsumeIntegral<int>();
    const Point p = cursorPoint(left, top, right, bottom, width, height);
    FUZZ_CHECK(p.x >= 0 && p.x < width && p.y >= 0 && p.y < height);
    const long long x = (static_cast<long long>(left) + right) / 2 - 10;
    const long long y = (static_cast<long long>(top) + bottom) / 2 - 10;
    FUZZ_CHECK(x < 0 || x >= width || p.x == x);
    FUZZ_CHECK(y < 0 || y >= height || p.y == y);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    checkCursorPoint(in);
    const fuzz::Size picture = fuzz::consumeSize(in, 600);
    const int width = std::max(picture.width, 1), height = std::max(picture.height, 1);
    const Point start = consumePoint(in, width, height);
    const Point end
        = in.ConsumeIntegralInRange(0, 15) == 0 ? start : consumePoint(in, width, height);
    const int stride = width + in.ConsumeIntegralInRange(0, 3);
    std::vector<std::uint8_t> buffer(std::size_t(stride) * height, 0);
    const Plane<std::uint8_t> map(buffer.data(), width, height, stride);
    fuzz::drawPicture(in, map);
    std::vector<std::uint8_t> pixels;
    for (int y = 0; y < height; ++y)
        pixels.insert(pixels.end(), map.rowData(y), map.rowData(y) + width);

    const WireRoute route = traceWire(map, start, end);
    const WireRoute expected = reference::traceWireLiterally(pixels, width, height, start, end);
    FUZZ_CHECK(route.outcome == expected.outcome && route.limit == expected.limit);
    FUZZ_CHECK(route.x0 == expected.x0 && route.y0 == expected.y0);
    FUZZ_CHECK(route.width == expected.width && route.height == expected.height);
    FUZZ_CHECK(route.path == expected.path);

    const bool tooFar = std::abs(end.x - start.x) + std::abs(end.y - start.y) > maxTraceDistance;
    FUZZ_CHECK((route.outcome == WireRoute::Outcome::TooFar) == tooFar);
    if (tooFar)
        return 0;
    // The window holds both points and lies in the map; a found route runs from the start
    // through pixels darker than its limit.
    FUZZ_CHECK(route.x0 >= 0 && route.y0 >= 0);
    FUZZ_CHECK(route.x0 + route.width <= width && route.y0 + route.height <= height);
    for (const Point p : {start, end}) {
        FUZZ_CHECK(p.x >= route.x0 && p.x < route.x0 + route.width);
        FUZZ_CHECK(p.y >= route.y0 && p.y < route.y0 + route.height);
    }
    if (route.outcome != WireRoute::Outcome::Found) {
        FUZZ_CHECK(route.path.empty());
        return 0;
    }
    FUZZ_CHECK(route.limit >= 0 && route.limit <= 255);
    FUZZ_CHECK(route.path.size() == std::size_t(route.width) * std::size_t(route.height));
    auto onPath = [&](Point p) {
        return route.path[std::size_t(p.y - route.y0) * route.width + (p.x - route.x0)] != 0;
    };
    FUZZ_CHECK(onPath(start) == (start != end) && !onPath(end));
    for (int y = 0; y < route.height; ++y) {
        for (int x = 0; x < route.width; ++x) {
            const Point p {route.x0 + x, route.y0 + y};
            FUZZ_CHECK(!onPath(p) || p == start || map.at(p.x, p.y) < route.limit);
        }
    }
    return 0;
}
