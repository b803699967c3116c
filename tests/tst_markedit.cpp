#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <QTest>

#include "selection/markedit.h"

using namespace tolvane;

namespace {

constexpr Argb mark = 0x96112233u;

// A w x h mask drawn from rows of text, '#' marked.
struct Mask
{
    int width = 0;
    int height = 0;
    std::vector<Argb> pixels;

    Mask(int w, int h, Argb fill = 0)
        : width(w)
        , height(h)
        , pixels(std::size_t(w) * h, fill)
    { }
    explicit Mask(const std::vector<std::string> &rows)
        : Mask(int(rows.at(0).size()), int(rows.size()))
    {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                at(x, y) = rows[y][x] == '#' ? mark : 0;
    }
    Plane<Argb> plane() { return Plane<Argb>(pixels, width, height); }
    Argb &at(int x, int y) { return pixels[std::size_t(y) * width + x]; }
    std::vector<std::string> rows() const
    {
        std::vector<std::string> text(height, std::string(width, '.'));
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (isMarked(pixels[std::size_t(y) * width + x]))
                    text[y][x] = '#';
        return text;
    }
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

} // namespace

// Brush strokes and dropped pieces of marks against the rules written plainly.
class TestMarkEdit : public QObject
{
    Q_OBJECT

private slots:
    // Strokes at any angle, of any length and width, partly or wholly off the mask, mark
    // exactly the pixels the plain rule marks. Coordinates in eighths and radii of k + 0.3
    // keep every centre clear of the boundary, so the two ways of measuring cannot round
    // apart.
    void strokesMatchThePlainRule()
    {
        std::mt19937 rng(11);
        auto coordinate = [&](int low, int high) {
            return std::uniform_int_distribution(low * 8, high * 8)(rng) / 8.0;
        };
        for (int round = 0; round < 300; ++round) {
            const int w = std::uniform_int_distribution(1, 40)(rng);
            const int h = std::uniform_int_distribution(1, 40)(rng);
            Mask mask(w, h);
            for (Argb &p : mask.pixels)
                p = rng() % 3 == 0 ? mark : 0;
            std::vector<StrokePoint> points(std::uniform_int_distribution(1, 6)(rng));
            for (StrokePoint &p : points)
                p = {coordinate(-10, w + 10), coordinate(-10, h + 10)};
            const double radius = std::uniform_int_distribution(0, 12)(rng) + 0.3;
            const Argb value = round % 2 ? mark : 0;
            const Mask expected = referenceStroke(mask, points, radius, value);
            Mask got = mask;
            long long changed = 0;
            for (std::size_t i = 0; i < got.pixels.size(); ++i)
                changed += got.pixels[i] != expected.pixels[i];
            QCOMPARE(paintStroke(got.plane(), points, radius, value), changed);
            QVERIFY2(got == expected, qPrintable(QString::number(round)));
        }
    }

    // Points far outside, a zero or negative radius, no points, an empty mask: nothing breaks
    // and nothing outside the stroke changes.
    void strokeEdgeCases()
    {
        Mask clean(5, 4);
        std::vector<StrokePoint> far {{-1e300, -1e300}, {1e300, 1e300}};
        QCOMPARE(paintStroke(clean.plane(), far, 1, mark), 0);
        far = {{-maxStrokeCoordinate, 2.5}, {maxStrokeCoordinate, 2.5}};
        Mask crossed(5, 4);
        QCOMPARE(paintStroke(crossed.plane(), far, 0.5, mark), 5);
        QCOMPARE(crossed.rows()[2], std::string("#####"));
        std::vector<StrokePoint> away {{-1e9, 3}, {-1e9 + 5, 3}};
        QCOMPARE(paintStroke(clean.plane(), away, 3, mark), 0);
        std::vector<StrokePoint> dot {{2.5, 2.5}};
        QCOMPARE(paintStroke(clean.plane(), dot, 0, mark), 1);
        QCOMPARE(paintStroke(clean.plane(), dot, -1, 0), 0);
        QCOMPARE(paintStroke(clean.plane(), {}, 5, 0), 0);
        std::vector<StrokePoint> nan {{std::nan(""), 1}};
        QCOMPARE(paintStroke(clean.plane(), nan, 5, 0), 0);
        QCOMPARE(paintStroke(Plane<Argb>(), dot, 5, mark), 0);
    }

    // Random masks and clicks, anywhere and beyond the mask, against the plain walk.
    void dropsMatchThePlainRule()
    {
        std::mt19937 rng(5);
        for (int round = 0; round < 300; ++round) {
            const int w = std::uniform_int_distribution(1, 30)(rng);
            const int h = std::uniform_int_distribution(1, 30)(rng);
            Mask mask(w, h);
            const unsigned density = std::uniform_int_distribution(2, 6)(rng);
            for (Argb &p : mask.pixels)
                p = rng() % density == 0 ? (rng() % 2 ? mark : 0xFF000000u) : 0x00FFFFFFu;
            const Point at {std::uniform_int_distribution(-5, w + 5)(rng),
                std::uniform_int_distribution(-5, h + 5)(rng)};
            const int reach = std::uniform_int_distribution(0, 8)(rng);
            const Mask expected = referenceDrop(mask, at, reach);
            Mask got = mask;
            long long cleared = 0;
            for (std::size_t i = 0; i < got.pixels.size(); ++i)
                cleared += got.pixels[i] != expected.pixels[i];
            QCOMPARE(tolvane::dropPiece(got.plane(), at, reach), cleared);
            QVERIFY2(got == expected, qPrintable(QString::number(round)));
        }
    }
};

QTEST_APPLESS_MAIN(TestMarkEdit)
#include "tst_markedit.moc"
