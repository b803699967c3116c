#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include <QTest>

#include "selection/markedit.h"

using namespace tolvane;

namespace {

constexpr Argb mark = 0x96112233u;

// A w x h mask.
struct Mask
{
    int width, height;
    std::vector<Argb> pixels = std::vector<Argb>(std::size_t(width) * height);

    Plane<Argb> plane() { return Plane<Argb>(pixels, width, height); }
    Argb &at(int x, int y) { return pixels[std::size_t(y) * width + x]; }
    bool operator==(const Mask &) const = default;
};

// The stroke rule written plainly: a pixel's centre within the radius of the nearest point of
// some segment, found from the foot of the perpendicular or the nearer end.
bool insideStroke(double cx, double cy, const std::vector<StrokePoint> &points, double radius)
{
    auto near = [&](StrokePoint a, StrokePoint b) {
        const double ax = cx - a.x, ay = cy - a.y;
        if (std::hypot(ax, ay) <= radius || std::hypot(cx - b.x, cy - b.y) <= radius)
            return true;
        const double dx = b.x - a.x, dy = b.y - a.y;
        const double length = std::hypot(dx, dy);
        if (length == 0)
            return false;
        const double along = (ax * dx + ay * dy) / length;
        const double across = std::abs(ax * dy - ay * dx) / length;
        return along >= 0 && along <= length && across <= radius;
    };
    if (points.size() == 1)
        return near(points[0], points[0]);
    for (std::size_t i = 1; i < points.size(); ++i)
        if (near(points[i - 1], points[i]))
            return true;
    return false;
}

Mask referenceStroke(Mask mask, const std::vector<StrokePoint> &points, double radius, Argb value)
{
    for (int y = 0; y < mask.height; ++y)
        for (int x = 0; x < mask.width; ++x)
            if (insideStroke(x + 0.5, y + 0.5, points, radius))
                mask.at(x, y) = value;
    return mask;
}

// Dropping a piece written plainly: the nearest mark by a search of the whole mask, then a
// breadth-first walk with a visited flag per pixel.
Mask referenceDrop(Mask mask, Point at, int reach)
{
    long long best = std::numeric_limits<long long>::max();
    Point seed {-1, -1};
    for (int y = 0; y < mask.height; ++y)
        for (int x = 0; x < mask.width; ++x) {
            const long long d = 1LL * (x - at.x) * (x - at.x) + 1LL * (y - at.y) * (y - at.y);
            if (isMarked(mask.at(x, y)) && d <= 1LL * reach * reach && d < best) {
                best = d;
                seed = {x, y};
            }
        }
    if (seed.x < 0)
        return mask;
    std::vector<char> visited(mask.pixels.size(), 0);
    std::vector<Point> queue {seed};
    visited[std::size_t(seed.y) * mask.width + seed.x] = 1;
    for (std::size_t head = 0; head < queue.size(); ++head) {
        const Point p = queue[head];
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const int x = p.x + dx, y = p.y + dy;
                if (x < 0 || y < 0 || x >= mask.width || y >= mask.height)
                    continue;
                char &seen = visited[std::size_t(y) * mask.width + x];
                if (!seen && isMarked(mask.at(x, y))) {
                    seen = 1;
                    queue.push_back({x, y});
                }
            }
    }
    for (const Point p : queue)
        mask.at(p.x, p.y) = 0;
    return mask;
}

// How many pixels of `a` and `b` differ.
long long differing(const Mask &a, const Mask &b)
{
    long long count = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i)
        count += a.pixels[i] != b.pixels[i];
    return count;
}

} // namespace

// Brush strokes and dropped pieces of marks against the rules written plainly.
class TestMarkEdit : public QObject
{
    Q_OBJECT

private slots:
    // Random masks, strokes and clicks against the plain rules. Strokes at any angle, of any
    // length and width, partly or wholly off the mask; coordinates in eighths and radii of
    // k + 0.3 keep every centre clear of the boundary, so the two ways of measuring cannot
    // round apart. Clicks anywhere, also beyond the mask.
    void editsMatchThePlainRules()
    {
        std::mt19937 rng(11);
        auto uniform
            = [&](int low, int high) { return std::uniform_int_distribution(low, high)(rng); };
        for (int round = 0; round < 600; ++round) {
            const int w = uniform(1, 40), h = uniform(1, 40);
            Mask mask {w, h};
            const int density = uniform(2, 6);
            for (Argb &p : mask.pixels)
                p = uniform(1, density) == 1 ? (uniform(0, 1) ? mark : 0xFF000000u) : 0x00FFFFFFu;
            Mask expected = mask, got = mask;
            if (round % 2) {
                const Point at {uniform(-5, w + 5), uniform(-5, h + 5)};
                const int reach = uniform(0, 8);
                expected = referenceDrop(mask, at, reach);
                QCOMPARE(tolvane::dropPiece(got.plane(), at, reach), differing(mask, expected));
            } else {
                std::vector<StrokePoint> points(uniform(1, 6));
                for (StrokePoint &p : points)
                    p = {uniform(-80, 8 * w + 80) / 8.0, uniform(-80, 8 * h + 80) / 8.0};
                const double radius = uniform(0, 12) + 0.3;
                const Argb value = round % 4 ? 0 : mark;
                expected = referenceStroke(mask, points, radius, value);
                QCOMPARE(
                    paintStroke(got.plane(), points, radius, value), differing(mask, expected));
            }
            QVERIFY2(got == expected, qPrintable(QString::number(round)));
        }
    }

    // Points far outside, a zero or negative radius, no points, an empty mask: nothing breaks
    // and nothing outside the stroke changes.
    void strokeEdgeCases()
    {
        const double far = maxStrokeCoordinate;
        const std::vector<StrokePoint> dot {{2.5, 2.5}};
        // Points and radius; how many pixels of a clean 5x4 mask a mark changes.
        for (const auto &[points, radius, changed] :
            {std::tuple(std::vector<StrokePoint> {{-1e300, -1e300}, {1e300, 1e300}}, 1.0, 0),
                {{{-far, 2.5}, {far, 2.5}}, 0.5, 5}, {{{-1e9, 3}, {-1e9 + 5, 3}}, 3.0, 0},
                {dot, 0.0, 1}, {dot, -1.0, 0}, {{}, 5.0, 0}, {{{std::nan(""), 1}}, 5.0, 0}}) {
            Mask clean {5, 4};
            QCOMPARE(paintStroke(clean.plane(), points, radius, mark), changed);
            QCOMPARE(differing(clean, Mask {5, 4}), changed);
        }
        QCOMPARE(paintStroke(Plane<Argb>(), dot, 5, mark), 0);
    }
};

QTEST_APPLESS_MAIN(TestMarkEdit)
#include "tst_markedit.moc"
