#include <algorithm>
#include <cmath>
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
// some segment (a lone point is a segment from itself to itself).
Mask referenceStroke(Mask mask, std::vector<StrokePoint> points, double radius, Argb value)
{
    if (points.size() == 1)
        points.push_back(points[0]);
    for (int y = 0; y < mask.height; ++y) {
        for (int x = 0; x < mask.width; ++x) {
            for (std::size_t i = 1; i < points.size(); ++i) {
                const StrokePoint a = points[i - 1], b = points[i];
                const double dx = b.x - a.x, dy = b.y - a.y, length = dx * dx + dy * dy;
                const double ax = x + 0.5 - a.x, ay = y + 0.5 - a.y;
                const double t
                    = length > 0 ? std::clamp((ax * dx + ay * dy) / length, 0.0, 1.0) : 0;
                if (std::hypot(ax - t * dx, ay - t * dy) <= radius)
                    mask.at(x, y) = value;
            }
        }
    }
    return mask;
}

// Dropping a piece written plainly: the nearest mark by a search of the whole mask, then a
// breadth-first walk that clears each pixel as it reaches it.
Mask referenceDrop(Mask mask, Point at, int reach)
{
    auto marked = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < mask.width && y < mask.height && isMarked(mask.at(x, y));
    };
    long long best = 1LL * reach * reach + 1;
    std::vector<Point> piece {{-1, -1}};
    for (int y = 0; y < mask.height; ++y) {
        for (int x = 0; x < mask.width; ++x) {
            const long long d = 1LL * (x - at.x) * (x - at.x) + 1LL * (y - at.y) * (y - at.y);
            if (marked(x, y) && d < best) {
                best = d;
                piece[0] = {x, y};
            }
        }
    }
    if (piece[0].x < 0)
        return mask;
    mask.at(piece[0].x, piece[0].y) = 0;
    for (std::size_t head = 0; head < piece.size(); ++head) {
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                const int x = piece[head].x + dx, y = piece[head].y + dy;
                if (marked(x, y)) {
                    mask.at(x, y) = 0;
                    piece.push_back({x, y});
                }
            }
        }
    }
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
                {{{2.5, -2 * far}, {2.5, 2 * far}}, 1.0, 0}, {{{-far, 2.5}, {far, 2.5}}, 0.5, 5},
                {{{-1e9, 3}, {-1e9 + 5, 3}}, 3.0, 0}, {dot, 0.0, 1}, {dot, -1.0, 0}, {{}, 5.0, 0},
                {{{std::nan(""), 1}}, 5.0, 0}}) {
            Mask clean {5, 4};
            QCOMPARE(paintStroke(clean.plane(), points, radius, mark), changed);
            QCOMPARE(differing(clean, Mask {5, 4}), changed);
        }
        QCOMPARE(paintStroke(Plane<Argb>(), dot, 5, mark), 0);
    }
};

QTEST_APPLESS_MAIN(TestMarkEdit)
#include "tst_markedit.moc"
