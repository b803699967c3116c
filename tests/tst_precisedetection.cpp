#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include <QTest>

#include "precisereference.h"
#include "selection/planes.h"
#include "selection/precisedetection.h"
#include "selection/workers.h"

using namespace tolvane;

namespace {

Argb grey(int level)
{
    const Argb v = Argb(std::clamp(level, 0, 255));
    return 0xFF000000u | v << 16 | v << 8 | v;
}

// A small synthetic photo and the coverage of the wires drawn on it (0 to 1 a pixel).
struct Scene
{
    int width = 0;
    int height = 0;
    std::vector<Argb> pixels;
    std::vector<float> coverage;

    Scene(int w, int h, const std::function<int(int, int)> &level)
        : width(w)
        , height(h)
        , pixels(std::size_t(w) * std::size_t(h))
        , coverage(pixels.size(), 0.0f)
    {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                pixels[index(x, y)] = grey(level(x, y));
    }

    std::size_t index(int x, int y) const { return std::size_t(y) * width + x; }
    Plane<const Argb> plane() const
    {
        return Plane<const Argb>(pixels.data(), width, height, width);
    }

    // An anti-aliased wire of `thickness` and grey `level` along the polyline through
    // `points`: each pixel is covered by how far its centre lies inside the wire's edge, up to
    // half a pixel on either side.
    void drawWire(const std::vector<std::array<double, 2>> &points, double thickness, int level)
    {
        std::vector<float> wire(pixels.size(), 0.0f);
        const double half = thickness / 2;
        for (std::size_t i = 0; i + 1 < points.size(); ++i) {
            const auto [ax, ay] = points[i];
            const auto [bx, by] = points[i + 1];
            const int x0 = std::max(0, int(std::floor(std::min(ax, bx) - half - 2)));
            const int x1 = std::min(width - 1, int(std::ceil(std::max(ax, bx) + half + 2)));
            const int y0 = std::max(0, int(std::floor(std::min(ay, by) - half - 2)));
            const int y1 = std::min(height - 1, int(std::ceil(std::max(ay, by) + half + 2)));
            const double dx = bx - ax;
            const double dy = by - ay;
            const double length2 = std::max(1e-9, dx * dx + dy * dy);
            for (int y = y0; y <= y1; ++y) {
                for (int x = x0; x <= x1; ++x) {
                    const double px = x + 0.5 - ax;
                    const double py = y + 0.5 - ay;
                    const double t = std::clamp((px * dx + py * dy) / length2, 0.0, 1.0);
                    const double d = std::hypot(px - t * dx, py - t * dy);
                    const float c = float(std::clamp(half + 0.5 - d, 0.0, 1.0));
                    wire[index(x, y)] = std::max(wire[index(x, y)], c);
                }
            }
        }
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            if (wire[i] == 0)
                continue;
            const int under = int(pixels[i] & 0xFF);
            pixels[i] = grey(int(std::lround(under * (1 - wire[i]) + level * wire[i])));
            coverage[i] = std::max(coverage[i], wire[i]);
        }
    }
};

// A sky: brightening downwards, with a little noise.
std::function<int(int, int)> sky(int height, unsigned seed = 1)
{
    auto random = std::make_shared<std::mt19937>(seed);
    return
        [=](int, int y) { return 180 + 40 * y / std::max(1, height) + int((*random)() % 7) - 3; };
}

std::vector<std::array<double, 2>> straightLine(double cx, double cy, double degrees, double length)
{
    const double a = degrees * 3.14159265358979323846 / 180;
    const double ux = std::cos(a) * length / 2;
    const double uy = std::sin(a) * length / 2;
    return {{cx - ux, cy - uy}, {cx + ux, cy + uy}};
}

// y = top + sag * 4 t (1 - t) across the photo, t from 0 at the left to 1 at the right.
std::vector<std::array<double, 2>> sagging(int width, double top, double sag)
{
    std::vector<std::array<double, 2>> points;
    for (int x = -4; x <= width + 4; x += 4) {
        const double t = double(x) / width;
        points.push_back({double(x), top + sag * 4 * t * (1 - t)});
    }
    return points;
}

// A hanging wire, y = 60 + sag 4 t (1 - t) with t = x / width, drawn from x = from to to on a
// plain background of 200 with a little noise: dark over clearFrom ... clearTo, too faint
// elsewhere for the line test but not for a walk along it.
Scene hangingWire(
    int width, double sag, int from, int to, int clearFrom, int clearTo, unsigned seed)
{
    std::mt19937 random(seed);
    Scene scene(width, 300, [&](int, int) { return 200 + int(random() % 5) - 2; });
    std::vector<std::array<double, 2>> before;
    std::vector<std::array<double, 2>> clear;
    std::vector<std::array<double, 2>> after;
    for (int x = from; x <= to; x += 4) {
        const double t = double(x) / width;
        (x < clearFrom         ? before
                : x <= clearTo ? clear
                               : after)
            .push_back({double(x), 60 + sag * 4 * t * (1 - t)});
    }
    if (!before.empty())
        before.push_back(clear.front());
    if (!after.empty())
        clear.push_back(after.front());
    scene.drawWire(clear, 2.0, 40);
    if (!before.empty())
        scene.drawWire(before, 2.0, 186);
    if (!after.empty())
        scene.drawWire(after, 2.0, 186);
    return scene;
}

struct Found
{
    std::vector<std::uint8_t> marks;
    int wires = 0;
};

Found detect(const Scene &scene, PreciseSettings settings = {})
{
    Found found;
    found.marks.assign(scene.pixels.size(), 7);
    found.wires = detectWiresPrecise(scene.plane(), settings,
        Plane<std::uint8_t>(found.marks.data(), scene.width, scene.height, scene.width));
    return found;
}

// The share of the pixels at least `coverage` covered (away from the photo's edges) that are
// marked.
double recall(const Scene &scene, const Found &found, float coverage = 0.5f)
{
    int wire = 0;
    int marked = 0;
    for (int y = 3; y < scene.height - 3; ++y) {
        for (int x = 3; x < scene.width - 3; ++x) {
            if (scene.coverage[scene.index(x, y)] < coverage)
                continue;
            ++wire;
            marked += found.marks[scene.index(x, y)] != 0;
        }
    }
    return wire ? double(marked) / wire : 0.0;
}

// The number of marked pixels with no wire in their 3 x 3 neighbourhood.
int strayMarks(const Scene &scene, const Found &found)
{
    int stray = 0;
    for (int y = 0; y < scene.height; ++y) {
        for (int x = 0; x < scene.width; ++x) {
            if (!found.marks[scene.index(x, y)])
                continue;
            bool near = false;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int qx = std::clamp(x + dx, 0, scene.width - 1);
                    const int qy = std::clamp(y + dy, 0, scene.height - 1);
                    near = near || scene.coverage[scene.index(qx, qy)] > 0;
                }
            stray += !near;
        }
    }
    return stray;
}

int markedCount(const Found &found)
{
    return int(std::count_if(found.marks.begin(), found.marks.end(), [](auto m) { return m; }));
}

// A stage that adds to the marks: brightness, marks, found.
using MarksStage
    = void (*)(Plane<const std::uint8_t>, Plane<const std::uint8_t>, Plane<std::uint8_t>);

// The stage, threaded, finds what its plain version finds (more than 100 pixels) on the
// brightness of `scene`, with the pixels marked where `marked` of their coverage says so.
void expectAsPlain(const Scene &scene, const std::function<bool(float)> &marked, MarksStage stage,
    MarksStage plain)
{
    const int w = scene.width;
    const int h = scene.height;
    std::vector<std::uint8_t> brightness(scene.pixels.size());
    computeBrightness(scene.plane(), Plane<std::uint8_t>(brightness, w, h));
    std::vector<std::uint8_t> marks(brightness.size(), 0);
    for (std::size_t i = 0; i < marks.size(); ++i)
        marks[i] = marked(scene.coverage[i]);
    const Plane<const std::uint8_t> b(brightness.data(), w, h, w);
    const Plane<const std::uint8_t> m(marks.data(), w, h, w);
    std::vector<std::uint8_t> found(brightness.size(), 0);
    std::vector<std::uint8_t> expected(brightness.size(), 0);
    stage(b, m, Plane<std::uint8_t>(found, w, h));
    plain(b, m, Plane<std::uint8_t>(expected, w, h));
    QVERIFY(std::count(expected.begin(), expected.end(), 1) > 100);
    QVERIFY(found == expected);
}

} // namespace

class TestPreciseDetection : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { ThreadBudget::setCapacity(0); }

    // A straight wire at any angle is marked along its whole length and nowhere else.
    void anyAngle_data()
    {
        QTest::addColumn<double>("degrees");
        QTest::addColumn<double>("thickness");
        for (double degrees : {0.0, 10.0, 22.5, 35.0, 45.0, 60.0, 80.0, 90.0, 115.0, 160.0}) {
            QTest::addRow("%g degrees, 1.5 px", degrees) << degrees << 1.5;
            QTest::addRow("%g degrees, 3.5 px", degrees) << degrees << 3.5;
        }
    }
    void anyAngle()
    {
        QFETCH(double, degrees);
        QFETCH(double, thickness);
        Scene scene(360, 360, sky(360));
        scene.drawWire(straightLine(180, 180, degrees, 600), thickness, 40);
        const Found found = detect(scene);
        QCOMPARE(found.wires, 1);
        QVERIFY2(recall(scene, found) >= 0.97, qPrintable(QString::number(recall(scene, found))));
        QCOMPARE(strayMarks(scene, found), 0);
    }

    // Hanging wires, two a few pixels apart and a third crossing them, all found.
    void curvesPairsAndCrossings_data()
    {
        QTest::addColumn<double>("gap");
        QTest::addColumn<double>("crossing");
        for (double gap : {6.0, 9.0})
            for (double crossing : {12.0, 70.0})
                QTest::addRow("gap %g, crossing at %g degrees", gap, crossing) << gap << crossing;
        QTest::addRow("gap 4, crossing at 12 degrees") << 4.0 << 12.0;
    }
    void curvesPairsAndCrossings()
    {
        QFETCH(double, gap);
        QFETCH(double, crossing);
        Scene scene(480, 320, sky(320, 3));
        scene.drawWire(sagging(480, 60, 40), 2.0, 35);
        scene.drawWire(sagging(480, 60 + gap, 40), 1.5, 50);
        scene.drawWire(straightLine(240, 160, crossing, 700), 2.5, 30);
        const Found found = detect(scene);
        QVERIFY2(recall(scene, found) >= 0.95, qPrintable(QString::number(recall(scene, found))));
        QCOMPARE(strayMarks(scene, found), 0);
    }

    // A wire is followed on its course beyond a trunk that hides it over more than the longest
    // gap, to a stretch too short to be a wire of its own; a line beside its course there is
    // left alone.
    void followsCourse()
    {
        // y = 100 + 120 t (1 - t), t = x / 600, hidden by a trunk over x = 100 ... 219.
        Scene scene(600, 300, sky(300, 19));
        scene.drawWire(sagging(600, 100, 30), 2.0, 40);
        for (int y = 0; y < 300; ++y)
            std::fill_n(scene.pixels.begin() + std::ptrdiff_t(scene.index(100, y)), 120, grey(90));
        const auto courseAt = [](int x) { return 100 + 120 * (x / 600.0) * (1 - x / 600.0); };
        scene.drawWire(straightLine(50, courseAt(50) - 8, 0, 80), 2.0, 40);
        const Found found = detect(scene);
        const auto markedAt
            = [&](int x, double y) { return found.marks[scene.index(x, int(std::lround(y)))]; };
        for (int x : {20, 50, 90, 300, 500})
            QVERIFY2(markedAt(x, courseAt(x)), qPrintable(QString::number(x)));
        QVERIFY(!markedAt(50, courseAt(50) - 8));
    }

    // A wire whose one clear stretch is shorter than a wire, though a third of one, but whose
    // course shows a thin dark line over three wire lengths, or over two and most of the photo
    // where the photo is shorter than three, is a wire: here it is clear over 130 or 80 pixels
    // and too faint beyond for the line test, though not for the walk along its course. Seen
    // over too little of the photo, or clear over too little of it, it is not.
    void faintWireOnALongCourse_data()
    {
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("clearTo");
        QTest::addColumn<int>("faintTo");
        QTest::addColumn<bool>("found");
        QTest::newRow("three wire lengths") << 800 << 130 << 805 << true;
        QTest::newRow("across a short photo") << 450 << 130 << 455 << true;
        QTest::newRow("half a short photo") << 450 << 130 << 240 << false;
        QTest::newRow("over 450 of 800 rows") << 800 << 130 << 450 << false;
        QTest::newRow("clear over 80 rows") << 800 << 75 << 805 << true;
        QTest::newRow("clear over 50 rows") << 800 << 45 << 805 << false;
    }
    void faintWireOnALongCourse()
    {
        QFETCH(int, height);
        QFETCH(int, clearTo);
        QFETCH(int, faintTo);
        QFETCH(bool, found);
        std::mt19937 random(23);
        Scene scene(300, height, [&](int, int) { return 200 + int(random() % 5) - 2; });
        const double a = 86 * 3.14159265358979323846 / 180;
        const auto at = [&](double y) { return std::array<double, 2> {150 + y / std::tan(a), y}; };
        scene.drawWire({at(-5), at(clearTo)}, 2.0, 40);
        scene.drawWire({at(clearTo), at(faintTo)}, 2.0, 186);
        const Found marks = detect(scene);
        if (found) {
            QVERIFY2(
                recall(scene, marks) >= 0.9, qPrintable(QString::number(recall(scene, marks))));
            QCOMPARE(strayMarks(scene, marks), 0);
        } else {
            QCOMPARE(markedCount(marks), 0);
        }
    }

    // A wire seen in short dashes, too far apart for a chain, that together are as long as a
    // wire and half the way they span, and faint beyond: the walk along the course through the
    // dashes finds it.
    void dashedWire_data()
    {
        QTest::addColumn<int>("dashes");
        QTest::addColumn<int>("apart");
        QTest::addColumn<bool>("found");
        QTest::newRow("6 dashes of 40 rows") << 6 << 26 << true;
        QTest::newRow("4 dashes of 40 rows") << 4 << 26 << false;
        QTest::newRow("6 dashes, 50 rows apart") << 6 << 50 << false;
    }
    void dashedWire()
    {
        QFETCH(int, dashes);
        QFETCH(int, apart);
        QFETCH(bool, found);
        std::mt19937 random(41);
        Scene scene(300, 800, [&](int, int) { return 200 + int(random() % 5) - 2; });
        const double a = 86 * 3.14159265358979323846 / 180;
        const auto at = [&](double y) { return std::array<double, 2> {150 + y / std::tan(a), y}; };
        // Dashes of 40 rows from the top; the rest of the way too faint for the line test.
        double y = -5;
        for (int dash = 0; dash < dashes; ++dash, y += 40 + apart) {
            scene.drawWire({at(y), at(y + 40)}, 2.0, 40);
            scene.drawWire({at(y + 40), at(y + 40 + apart)}, 2.0, 186);
        }
        scene.drawWire({at(y), at(805)}, 2.0, 186);
        const Found marks = detect(scene);
        if (!found) {
            QCOMPARE(markedCount(marks), 0);
            return;
        }
        QCOMPARE(marks.wires, 1);
        QVERIFY2(recall(scene, marks) >= 0.9, qPrintable(QString::number(recall(scene, marks))));
        QCOMPARE(strayMarks(scene, marks), 0);
    }

    // A hanging wire clear only over 120 pixels near its lowest point, too faint beyond for
    // the line test: the course of that stretch is nearly straight and soon leaves the wire,
    // but fitted again through what the walk along it saw, it follows the wire's bend. Seen so
    // over less than most of its way through the photo, it is not a wire.
    void bendingFaintWire_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<double>("sag");
        QTest::addColumn<int>("faintFrom");
        QTest::addColumn<int>("faintTo");
        QTest::addColumn<bool>("found");
        QTest::newRow("sag 40") << 900 << 40.0 << -4 << 904 << true;
        QTest::newRow("sag 120") << 900 << 120.0 << -4 << 904 << true;
        QTest::newRow("faint on one side") << 1300 << 120.0 << 400 << 1304 << true;
        QTest::newRow("over too little of its way") << 1300 << 120.0 << 400 << 1000 << false;
    }
    void bendingFaintWire()
    {
        QFETCH(int, width);
        QFETCH(double, sag);
        QFETCH(int, faintFrom);
        QFETCH(int, faintTo);
        QFETCH(bool, found);
        const int middle = width / 2 - 50;
        Scene scene = hangingWire(width, sag, faintFrom, faintTo, middle, middle + 120, 29);
        // Buildings hide the wire beyond its ends inside the photo.
        for (int y = 0; y < scene.height; ++y) {
            for (int x = 0; x < scene.width; ++x) {
                if (x < faintFrom - 4 || x > faintTo + 4)
                    scene.pixels[scene.index(x, y)] = grey(60);
            }
        }
        const Found marks = detect(scene);
        if (!found) {
            QCOMPARE(markedCount(marks), 0);
            return;
        }
        QCOMPARE(marks.wires, 1);
        QVERIFY2(recall(scene, marks) >= 0.75, qPrintable(QString::number(recall(scene, marks))));
        QCOMPARE(strayMarks(scene, marks), 0);
    }

    // A hanging wire clear only over a stretch near one end, faint beyond: the course through
    // that stretch parts from the wire farther on, but fitted again through what its walk saw,
    // it follows the wire across the photo.
    void wireBendingBeyondItsCurves_data()
    {
        QTest::addColumn<double>("sag");
        QTest::addColumn<int>("clearFrom");
        QTest::addColumn<int>("clearTo");
        QTest::newRow("sag 60, clear at the left") << 60.0 << 60 << 320;
        QTest::newRow("sag 80, clear left of the middle") << 80.0 << 300 << 560;
        QTest::newRow("sag 60, clear right of the middle") << 60.0 << 800 << 1060;
    }
    void wireBendingBeyondItsCurves()
    {
        QFETCH(double, sag);
        QFETCH(int, clearFrom);
        QFETCH(int, clearTo);
        const Scene scene = hangingWire(1300, sag, -4, 1304, clearFrom, clearTo, 53);
        const Found marks = detect(scene);
        QCOMPARE(marks.wires, 1);
        QVERIFY2(recall(scene, marks) >= 0.95, qPrintable(QString::number(recall(scene, marks))));
        QCOMPARE(strayMarks(scene, marks), 0);
    }

    // The anti-aliased fringe is marked wherever the wire covers a quarter of the pixel.
    void fringe()
    {
        Scene scene(300, 200, sky(200, 5));
        scene.drawWire(straightLine(150, 100, 7, 400), 2.6, 30);
        const Found found = detect(scene);
        QVERIFY(recall(scene, found, 0.25f) >= 0.97);
        QCOMPARE(strayMarks(scene, found), 0);
    }

    // A light wire on a dark background is found as a dark one on a light background.
    void lightWire()
    {
        std::mt19937 random(9);
        Scene scene(320, 240, [&](int, int) { return 50 + int(random() % 7); });
        scene.drawWire(sagging(320, 40, 30), 2.0, 210);
        PreciseSettings settings;
        Found found = detect(scene, settings);
        QCOMPARE(found.wires, 1);
        QVERIFY(recall(scene, found) >= 0.97);
        QCOMPARE(strayMarks(scene, found), 0);
        settings.lightWires = false;
        QCOMPARE(markedCount(detect(scene, settings)), 0);
    }

    // What is not a long, smooth, thin line darker than both sides is left alone.
    void rejects_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("edge of a roof") << 0;
        QTest::newRow("broad dark bar") << 1;
        QTest::newRow("window frames") << 2;
        QTest::newRow("branches") << 3;
        QTest::newRow("texture") << 4;
        QTest::newRow("dots in a row") << 5;
    }
    void rejects()
    {
        QFETCH(int, kind);
        constexpr int w = 400;
        constexpr int h = 300;
        std::mt19937 random(11);
        std::function<int(int, int)> level;
        switch (kind) {
        case 0: // bright sky over a dark slanted roof
            level = [&](int x, int y) { return 3 * y + x < 600 ? 200 : 70 + int(random() % 9); };
            break;
        case 1: // a band 14 pixels thick across
            level = [&](int, int y) { return y >= 140 && y < 154 ? 40 : 200; };
            break;
        case 2: // a facade of windows, frames 2 pixels wide around 40-pixel panes
            level = [&](int x, int y) { return x % 42 < 2 || y % 42 < 2 ? 60 : 190; };
            break;
        case 4: // strong noise
            level = [&](int, int) { return 60 + int(random() % 140); };
            break;
        default:
            level = [](int, int) { return 200; };
        }
        Scene scene(w, h, level);
        if (kind == 3) {
            // Crooked twigs: random walks that turn at every step.
            for (int twig = 0; twig < 12; ++twig) {
                std::vector<std::array<double, 2>> points {
                    {double(random() % w), double(random() % h)}};
                double heading = double(random() % 360);
                for (int step = 0; step < 40; ++step) {
                    heading += double(int(random() % 90) - 45);
                    const double a = heading * 3.14159265358979323846 / 180;
                    const auto [x, y] = points.back();
                    points.push_back({x + 6 * std::cos(a), y + 6 * std::sin(a)});
                }
                scene.drawWire(points, 2.0, 50);
            }
        } else if (kind == 5) {
            for (int x = 10; x < w; x += 12)
                scene.drawWire({{double(x), 150.0}, {double(x) + 0.1, 150.0}}, 3.0, 40);
        }
        const Found found = detect(scene);
        QCOMPARE(markedCount(found), 0);
        QCOMPARE(found.wires, 0);
    }

    // A wire as wide as the width threshold is marked; the wire length is the shortest wire,
    // end to end.
    void thresholds()
    {
        // From the left edge to a building 150 pixels on, which hides it beyond.
        const auto sky13 = sky(240, 13);
        Scene scene(400, 240, [&](int x, int y) { return x >= 150 && y < 110 ? 60 : sky13(x, y); });
        scene.drawWire(straightLine(75, 60, 3, 150), 2.0, 40); // 150 pixels long
        scene.drawWire(straightLine(200, 160, -2, 600), 7.0, 40); // across, 7 pixels thick
        PreciseSettings settings;
        settings.maxWidth = 10;
        settings.minLength = 120;
        Found found = detect(scene, settings);
        QCOMPARE(found.wires, 2);
        settings.minLength = 200;
        found = detect(scene, settings);
        QCOMPARE(found.wires, 1);
        QVERIFY(found.marks[scene.index(200, 160)]);
        QVERIFY(!found.marks[scene.index(200, 60)]);
    }

    // Empty, tiny, thin and flat photos give no wires, and every mark is written.
    void unusualPhotos_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("level");
        QTest::newRow("empty") << 0 << 0 << 0;
        QTest::newRow("no rows") << 40 << 0 << 0;
        QTest::newRow("one pixel") << 1 << 1 << 128;
        QTest::newRow("one row") << 500 << 1 << 30;
        QTest::newRow("one column") << 1 << 500 << 30;
        QTest::newRow("5 x 5") << 5 << 5 << 255;
        QTest::newRow("black") << 90 << 70 << 0;
        QTest::newRow("white") << 90 << 70 << 255;
    }
    void unusualPhotos()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, level);
        const Scene scene(width, height, [&](int, int) { return level; });
        for (int maxWidth : {1, 4, 99}) {
            PreciseSettings settings;
            settings.maxWidth = maxWidth;
            const Found found = detect(scene, settings);
            QCOMPARE(found.wires, 0);
            QCOMPARE(markedCount(found), 0);
        }
    }

    // The result is the same whatever the number of threads, and large photos searched at a
    // reduced scale still have their wires marked, in blocks.
    void threadsAndScale()
    {
        Scene scene(900, 420, sky(420, 17));
        scene.drawWire(sagging(900, 50, 150), 2.0, 40);
        scene.drawWire(straightLine(450, 210, 65, 900), 3.0, 30);
        for (std::size_t limit : {std::size_t(8) << 20, std::size_t(100000), std::size_t(30000)}) {
            PreciseSettings settings;
            settings.fullScalePixels = limit;
            ThreadBudget::setCapacity(1);
            const Found alone = detect(scene, settings);
            ThreadBudget::setCapacity(2);
            const Found shared = detect(scene, settings);
            QVERIFY(alone.marks == shared.marks);
            QCOMPARE(alone.wires, shared.wires);
            QCOMPARE(alone.wires, 2);
            QVERIFY(recall(scene, alone) >= 0.95);
        }
    }

    // The vectorised, threaded stages match the plain pixel-by-pixel ones exactly, on wires
    // and texture, at several widths, dark and light.
    void stagesMatchReference_data()
    {
        QTest::addColumn<int>("maxWidth");
        QTest::addColumn<bool>("inverted");
        for (int maxWidth : {1, 2, 4, 7, 12})
            for (bool inverted : {false, true})
                QTest::addRow("width %d%s", maxWidth, inverted ? ", light" : "")
                    << maxWidth << inverted;
    }
    void stagesMatchReference()
    {
        QFETCH(int, maxWidth);
        QFETCH(bool, inverted);
        std::mt19937 random(23);
        // Sky above, a noisy facade below, wires over both; 600 x 500 so that the stages
        // run on two threads.
        Scene scene(600, 500, [&](int x, int y) {
            return y < 250 ? 190 : 90 + int(random() % 60) + (x % 37 < 3 ? -50 : 0);
        });
        scene.drawWire(sagging(600, 80, 300), 1.6, 40);
        scene.drawWire(straightLine(300, 250, 50, 900), 3.0, 200);
        const int w = scene.width;
        const int h = scene.height;
        std::vector<std::uint8_t> brightness(scene.pixels.size());
        computeBrightness(scene.plane(), Plane<std::uint8_t>(brightness, w, h));
        if (inverted) {
            for (std::uint8_t &b : brightness)
                b = std::uint8_t(255 - b);
        }
        const Plane<const std::uint8_t> b(brightness.data(), w, h, w);
        std::vector<std::uint8_t> hat(brightness.size(), 1);
        std::vector<std::uint8_t> expectedHat(brightness.size(), 2);
        precisestages::blackHat(b, maxWidth, Plane<std::uint8_t>(hat, w, h));
        reference::blackHat(b, maxWidth, Plane<std::uint8_t>(expectedHat, w, h));
        QVERIFY(hat == expectedHat);

        const Plane<const std::uint8_t> hatPlane(hat.data(), w, h, w);
        std::vector<std::uint8_t> line(brightness.size(), 1);
        std::vector<std::uint8_t> expectedLine(brightness.size(), 2);
        precisestages::linePixels(b, hatPlane, maxWidth, Plane<std::uint8_t>(line, w, h));
        reference::linePixels(b, hatPlane, maxWidth, Plane<std::uint8_t>(expectedLine, w, h));
        QVERIFY(std::count(line.begin(), line.end(), 0) < std::ptrdiff_t(line.size()));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                QCOMPARE(
                    int(line[std::size_t(y) * w + x]), int(expectedLine[std::size_t(y) * w + x]));

        // In place, over the brightness itself, as the detection runs it.
        std::vector<std::uint8_t> inPlace = brightness;
        precisestages::linePixels(Plane<const std::uint8_t>(inPlace.data(), w, h, w), hatPlane,
            maxWidth, Plane<std::uint8_t>(inPlace, w, h));
        QVERIFY(inPlace == expectedLine);
    }

    // The fringe's outer edge is taken beside deep marks on a smooth background only; between
    // wires so close that no pixel around is clear of the marks, where it lies half as deep.
    void fringeEdgeRule_data()
    {
        QTest::addColumn<int>("edge"); // the pixel beside the marks, on a background of 200
        QTest::addColumn<int>("core"); // the marks
        QTest::addColumn<int>("texture"); // a checkerboard of +-texture over the background
        QTest::addColumn<bool>("backgroundMarked"); // the pixel beyond the edge is marked too
        QTest::addColumn<int>("farCore"); // when not 0, marks 4 rows wide, the farthest this deep
        QTest::addColumn<bool>("close"); // more marks above and below: none of the square clear
        QTest::addColumn<bool>("taken");
        QTest::newRow("a fifth of the depth") << 172 << 60 << 0 << false << 0 << false << true;
        QTest::newRow("less than a fifth") << 173 << 60 << 0 << false << 0 << false << false;
        QTest::newRow("shallow marks") << 190 << 181 << 0 << false << 0 << false << false;
        QTest::newRow("deep enough marks") << 190 << 180 << 0 << false << 0 << false << true;
        QTest::newRow("deep 4 pixels in") << 170 << 185 << 0 << false << 60 << false << true;
        QTest::newRow("rough surroundings") << 150 << 60 << 4 << false << 0 << false << false;
        QTest::newRow("faint surroundings texture")
            << 150 << 60 << 1 << false << 0 << false << true;
        QTest::newRow("between two marks") << 150 << 60 << 0 << true << 0 << false << false;
        QTest::newRow("close wires, half the depth")
            << 130 << 60 << 0 << false << 0 << true << true;
        QTest::newRow("close wires, less than half")
            << 131 << 60 << 0 << false << 0 << true << false;
        QTest::newRow("close wires, rough") << 120 << 60 << 6 << false << 0 << true << true;
    }
    void fringeEdgeRule()
    {
        QFETCH(int, edge);
        QFETCH(int, core);
        QFETCH(int, texture);
        QFETCH(bool, backgroundMarked);
        QFETCH(int, farCore);
        QFETCH(bool, close);
        QFETCH(bool, taken);
        // Marks over rows 10 and 11 (or 8 to 11) of a 40 x 24 plane, the edge pixels along row 12;
        // close by, more over rows 3, 4, 16, 17, 21 and 22.
        const int w = 40;
        const int h = 24;
        std::vector<std::uint8_t> brightness(std::size_t(w) * h);
        std::vector<std::uint8_t> marks(brightness.size(), 0);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const std::size_t i = std::size_t(y) * w + x;
                brightness[i] = std::uint8_t(200 + ((x + y) % 2 ? texture : -texture));
                const bool others = close && (y == 3 || y == 4 || y == 16 || y == 17 || y >= 21);
                if (y == 10 || y == 11 || (backgroundMarked && y == 13)
                    || (farCore && y >= 8 && y < 10) || others) {
                    brightness[i] = std::uint8_t(farCore && y == 8 ? farCore : core);
                    marks[i] = 1;
                }
                if (y == 12)
                    brightness[i] = std::uint8_t(edge);
            }
        }
        std::vector<std::uint8_t> found(brightness.size(), 0);
        precisestages::fringeEdges(Plane<const std::uint8_t>(brightness.data(), w, h, w),
            Plane<const std::uint8_t>(marks.data(), w, h, w), Plane<std::uint8_t>(found, w, h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                QCOMPARE(found[std::size_t(y) * w + x] != 0, taken && y == 12);
    }

    // The threaded fringe edges match the plain version exactly, on marks found over sky and
    // texture, on marks cut at random, and at the photo's edges.
    void fringeEdgesMatchReference()
    {
        std::mt19937 random(31);
        Scene scene(600, 500, [&](int x, int y) {
            return y < 250 ? 190 + int(random() % 5)
                           : 90 + int(random() % 30) + (x % 37 < 3 ? -50 : 0);
        });
        scene.drawWire(sagging(600, 80, 300), 2.6, 40);
        scene.drawWire(straightLine(300, 250, 50, 900), 3.0, 60);
        scene.drawWire(straightLine(300, 2, 0, 700), 2.0, 50);
        expectAsPlain(
            scene, [&](float coverage) { return coverage >= 0.6f && random() % 8 != 0; },
            precisestages::fringeEdges, reference::fringeEdges);
    }

    // A gap across the marks is closed when it is short and no brighter than the marks beside
    // it: along row 10 of a 30 x 20 plane, marked all along but for the gap, its ends 80 and 100.
    void gapRule_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("level"); // the gap's pixels
        QTest::addColumn<int>("lastLevel"); // ... and its last one
        QTest::addColumn<bool>("transposed"); // down column 10 instead
        QTest::addColumn<bool>("closed");
        QTest::newRow("one pixel, as bright as the brighter end")
            << 12 << 1 << 100 << 100 << false << true;
        QTest::newRow("one pixel, brighter") << 12 << 1 << 101 << 101 << false << false;
        QTest::newRow("two pixels") << 12 << 2 << 90 << 60 << false << true;
        QTest::newRow("two pixels, the second brighter") << 12 << 2 << 90 << 101 << false << false;
        QTest::newRow("three pixels") << 12 << 3 << 40 << 40 << false << false;
        QTest::newRow("down a column") << 8 << 2 << 95 << 95 << true << true;
        QTest::newRow("at the plane's edge") << 0 << 1 << 40 << 40 << false << false;
        QTest::newRow("at the plane's far edge") << 29 << 1 << 40 << 40 << false << false;
    }
    void gapRule()
    {
        QFETCH(int, start);
        QFETCH(int, length);
        QFETCH(int, level);
        QFETCH(int, lastLevel);
        QFETCH(bool, transposed);
        QFETCH(bool, closed);
        const int w = transposed ? 20 : 30;
        const int h = transposed ? 30 : 20;
        std::vector<std::uint8_t> brightness(std::size_t(w) * h, 200);
        std::vector<std::uint8_t> marks(brightness.size(), 0);
        std::vector<bool> inGap(brightness.size(), false);
        const auto index = [&](int along) {
            return transposed ? std::size_t(along) * w + 10 : std::size_t(10) * w + along;
        };
        for (int i = 0; i < 30; ++i) {
            const bool gap = i >= start && i < start + length;
            brightness[index(i)] = std::uint8_t(!gap ? (i == start - 1        ? 80
                                                        : i == start + length ? 100
                                                                              : 60)
                    : i == start + length - 1        ? lastLevel
                                                     : level);
            marks[index(i)] = !gap;
            inGap[index(i)] = gap;
        }
        std::vector<std::uint8_t> found(brightness.size(), 0);
        precisestages::closeGaps(Plane<const std::uint8_t>(brightness.data(), w, h, w),
            Plane<const std::uint8_t>(marks.data(), w, h, w), Plane<std::uint8_t>(found, w, h));
        for (std::size_t i = 0; i < found.size(); ++i)
            QCOMPARE(found[i] != 0, closed && inGap[i]);
    }

    // A gap lighter than the marks at its ends, between two wires close together, is closed
    // where it lies 5 below the photo beyond the marks on both sides.
    void gapBetweenWires_data()
    {
        QTest::addColumn<int>("level"); // the gap's two pixels, at x = 14 and 15
        QTest::addColumn<int>("beyond"); // the three pixels beyond the second wire's marks
        QTest::addColumn<bool>("brightBeyond"); // ... the middle one of them 200
        QTest::addColumn<int>("secondWidth"); // that wire's marks, from x = 16
        QTest::addColumn<bool>("closed");
        QTest::newRow("5 below") << 195 << 200 << false << 4 << true;
        QTest::newRow("4 below: clean") << 196 << 200 << false << 4 << false;
        QTest::newRow("below one side only") << 190 << 192 << false << 4 << false;
        QTest::newRow("one bright pixel beyond") << 190 << 150 << true << 4 << true;
        QTest::newRow("marks 8 wide") << 190 << 200 << false << 8 << true;
        QTest::newRow("marks 9 wide") << 190 << 200 << false << 9 << false;
    }
    void gapBetweenWires()
    {
        QFETCH(int, level);
        QFETCH(int, beyond);
        QFETCH(bool, brightBeyond);
        QFETCH(int, secondWidth);
        QFETCH(bool, closed);
        // Along row 10 of a 40 x 20 plane of 200: marks of 60 over x = 10 ... 13 and from 16.
        const int w = 40;
        const int h = 20;
        std::vector<std::uint8_t> brightness(std::size_t(w) * h, 200);
        std::vector<std::uint8_t> marks(brightness.size(), 0);
        const auto at = [&](int x) { return std::size_t(10) * w + x; };
        for (int x = 10; x < 16 + secondWidth; ++x) {
            const bool gap = x == 14 || x == 15;
            brightness[at(x)] = std::uint8_t(gap ? level : 60);
            marks[at(x)] = !gap;
        }
        for (int k = 0; k < 3; ++k)
            brightness[at(16 + secondWidth + k)]
                = std::uint8_t(brightBeyond && k == 1 ? 200 : beyond);
        std::vector<std::uint8_t> found(brightness.size(), 0);
        precisestages::closeGaps(Plane<const std::uint8_t>(brightness.data(), w, h, w),
            Plane<const std::uint8_t>(marks.data(), w, h, w), Plane<std::uint8_t>(found, w, h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                QCOMPARE(
                    found[std::size_t(y) * w + x] != 0, closed && y == 10 && (x == 14 || x == 15));
    }

    // The threaded gap closing matches the plain version exactly, on marks cut at random over
    // wires, sky and texture, and at the photo's edges.
    void gapsMatchReference()
    {
        std::mt19937 random(37);
        Scene scene(600, 500, [&](int x, int y) {
            return y < 250 ? 190 + int(random() % 5)
                           : 90 + int(random() % 60) + (x % 23 < 2 ? -50 : 0);
        });
        scene.drawWire(sagging(600, 0, 300), 3.0, 40);
        scene.drawWire(straightLine(300, 250, 70, 900), 3.5, 60);
        scene.drawWire(straightLine(300, 498, 0, 700), 2.0, 50);
        expectAsPlain(
            scene,
            [&](float coverage) {
                return (coverage >= 0.3f && random() % 4 != 0) || random() % 50 == 0;
            },
            precisestages::closeGaps, reference::closeGaps);
    }

    // Where a wire crosses a short pole darker than itself, neither the line test nor the walk
    // sees a thin line across the pole's dark column; the gap that leaves in the marks is
    // closed, and the pole beyond the wire stays unmarked.
    void wireAcrossDarkPole_data()
    {
        QTest::addColumn<double>("poleWidth");
        QTest::addColumn<double>("degrees");
        QTest::newRow("1.5 px pole, wire at 4 degrees") << 1.5 << 4.0;
        QTest::newRow("2 px pole") << 2.0 << 0.0;
    }
    void wireAcrossDarkPole()
    {
        QFETCH(double, poleWidth);
        QFETCH(double, degrees);
        Scene scene(500, 300, sky(300, 47));
        for (const int x : {120, 250, 380})
            scene.drawWire({{x + 0.5, 110.0}, {x + 0.5, 190.0}}, poleWidth, 15);
        std::vector<float> poles = scene.coverage;
        std::fill(scene.coverage.begin(), scene.coverage.end(), 0.0f);
        scene.drawWire(straightLine(250, 150, degrees, 700), 3.0, 70);
        const Found found = detect(scene);
        QCOMPARE(found.wires, 1);
        int crossing = 0;
        int missed = 0;
        for (std::size_t i = 0; i < poles.size(); ++i) {
            if (poles[i] >= 0.5f && scene.coverage[i] >= 0.5f) {
                ++crossing;
                missed += found.marks[i] == 0;
            }
        }
        QVERIFY(crossing > 0);
        QCOMPARE(missed, 0);
        QCOMPARE(strayMarks(scene, found), 0);
    }

    // A pair of wires close together over a plain sky leaves no faint edge unmarked, though
    // each wire darkens the other's background.
    void closePairOnSky_data()
    {
        QTest::addColumn<double>("gap");
        QTest::addColumn<double>("thickness");
        QTest::newRow("3 px wires 5 px apart") << 5.0 << 3.0;
        QTest::newRow("2.5 px wires 5.5 px apart") << 5.5 << 2.5;
    }
    void closePairOnSky()
    {
        QFETCH(double, gap);
        QFETCH(double, thickness);
        Scene scene(400, 300, sky(300, 41));
        scene.drawWire(straightLine(200, 150, 12, 600), thickness, 40);
        scene.drawWire(straightLine(200, 150 + gap, 12, 600), thickness, 40);
        const Found found = detect(scene);
        QCOMPARE(found.wires, 2);
        QVERIFY(recall(scene, found, 0.2f) >= 0.99);
        QCOMPARE(strayMarks(scene, found), 0);
    }

    // A light line that ends inside the photo after some of its way through it, as a pole or
    // a lit edge does, is no wire; one that crosses most of the photo is. Each ends at a lamp,
    // where a wire could end too.
    void lightLineAcrossThePhoto_data()
    {
        QTest::addColumn<double>("top");
        QTest::addColumn<double>("x");
        QTest::addColumn<bool>("wire");
        QTest::newRow("up to the middle: a pole") << 300.0 << 200.0 << false;
        QTest::newRow("over half the way") << 260.0 << 200.0 << false;
        QTest::newRow("over most of the way") << 150.0 << 200.0 << true;
        QTest::newRow("all the way") << -4.0 << 200.0 << true;
        // Beside the edge, where only one side of it is in the photo: a lit edge.
        QTest::newRow("along the left edge") << -4.0 << 3.0 << false;
        QTest::newRow("along the right edge") << -4.0 << 396.5 << false;
        QTest::newRow("10 px from the edge") << -4.0 << 10.0 << true;
    }
    void lightLineAcrossThePhoto()
    {
        QFETCH(double, top);
        QFETCH(double, x);
        QFETCH(bool, wire);
        std::mt19937 random(23);
        // A lamp at the line's top end when that is inside the photo.
        const auto lamp = [&](int px, int py) {
            return top > 0 && std::abs(px - x) <= 20 && py >= top - 24 && py <= top + 2;
        };
        Scene scene(
            400, 600, [&](int px, int py) { return lamp(px, py) ? 240 : 48 + int(random() % 7); });
        const double lean = x == 200.0 ? 4.0 : 0.5;
        scene.drawWire({{x - lean, 604}, {x + lean, top}}, 2.0, 210);
        const Found found = detect(scene);
        if (!wire) {
            QCOMPARE(markedCount(found), 0);
            return;
        }
        QCOMPARE(found.wires, 1);
        QVERIFY(recall(scene, found) >= 0.97);
        QCOMPARE(strayMarks(scene, found), 0);
    }

    // A line that ends in open ground is no wire: a wire goes on to the photo's edge or into
    // something that hides it, where a branch's tip or the end of a shore fades out in the
    // open. A line's curves stay unmarked when a wire found after it is kept.
    void lineEndingInOpenGround_data()
    {
        QTest::addColumn<int>("beyond"); // open, a building, a tree, ground as dark as the line
        QTest::addColumn<bool>("light");
        QTest::addColumn<bool>("wireBelow");
        QTest::addColumn<bool>("found");
        QTest::newRow("in open sky") << 0 << false << false << false;
        QTest::newRow("at a building") << 1 << false << false << true;
        QTest::newRow("in a tree") << 2 << false << false << true;
        QTest::newRow("into ground as dark as itself") << 3 << false << false << true;
        QTest::newRow("light, in open ground") << 0 << true << false << false;
        QTest::newRow("in open sky, above a wire") << 0 << false << true << false;
    }
    void lineEndingInOpenGround()
    {
        QFETCH(int, beyond);
        QFETCH(bool, light);
        QFETCH(bool, wireBelow);
        QFETCH(bool, found);
        std::mt19937 random(31);
        const int ground = light ? 50 : 200;
        Scene scene(600, 300, [&](int x, int y) {
            const int noise = int(random() % 5) - 2;
            if (beyond == 3 && y < 160) // darkening from x = 200 on, past the line's grey
                return ground - 170 * std::clamp(x - 200, 0, 200) / 200 + noise;
            if (x <= 404 || y >= 160 || beyond == 0)
                return ground + noise;
            return beyond == 1 ? 60 : 60 + int(random() % 140);
        });
        std::vector<std::array<double, 2>> line;
        for (int x = -4; x <= 400; x += 4) {
            const double t = x / 600.0;
            line.push_back({double(x), 80 + 30 * 4 * t * (1 - t)});
        }
        scene.drawWire(line, 2.0, light ? 210 : 40);
        const Scene withoutWire = scene;
        if (wireBelow)
            scene.drawWire(sagging(600, 220, 20), 2.0, 40);
        const Found marks = detect(scene);
        int above = 0;
        for (int y = 0; y < 160; ++y) {
            for (int x = 0; x < 600; ++x)
                above += marks.marks[scene.index(x, y)] != 0;
        }
        if (wireBelow) {
            QCOMPARE(marks.wires, 1);
            QVERIFY(markedCount(marks) > 1000);
        }
        if (!found) {
            QCOMPARE(above, 0);
            return;
        }
        QCOMPARE(marks.wires, 1);
        QVERIFY2(recall(withoutWire, marks) >= 0.9,
            qPrintable(QString::number(recall(withoutWire, marks))));
        if (beyond != 2) // in the tree, the walk takes dark specks on the course
            QCOMPARE(strayMarks(scene, marks), 0);
    }

    // A thin wire close beside a thicker one, as wires strung together run: on that side its
    // line test falls on the other wire, so that no curve of it is found, but the walk along the
    // other's course at its distance sees it. A faint line beside a wire, shallower than a wire
    // over the sky, is no wire.
    void thinWireBesideAnother_data()
    {
        QTest::addColumn<double>("gap");
        QTest::addColumn<int>("level");
        QTest::addColumn<bool>("found");
        QTest::newRow("4.5 px apart") << 4.5 << 120 << true;
        QTest::newRow("5.5 px apart") << 5.5 << 120 << true;
        QTest::newRow("a faint line 4.5 px beside") << 4.5 << 176 << false;
    }
    void thinWireBesideAnother()
    {
        QFETCH(double, gap);
        QFETCH(int, level);
        QFETCH(bool, found);
        std::mt19937 random(37);
        Scene thick(700, 300, [&](int, int) { return 198 + int(random() % 5); });
        thick.drawWire(straightLine(350, 150, 2, 800), 2.5, 40);
        Scene scene = thick;
        scene.drawWire(straightLine(350, 150 + gap, 2, 800), 1.2, level);
        Scene thin(700, 300, [](int, int) { return 200; });
        thin.drawWire(straightLine(350, 150 + gap, 2, 800), 1.2, level);
        const Found marks = detect(scene);
        QVERIFY(recall(thick, marks) >= 0.97);
        if (found)
            QVERIFY2(recall(thin, marks) >= 0.9, qPrintable(QString::number(recall(thin, marks))));
        else
            QCOMPARE(marks.wires, 1);
    }

    // A wire close beside another, clear over only part of its length and faint beyond: the
    // walk along it sees it there once the other wire's pixels are left out of its background.
    void faintWireBesideAnother_data()
    {
        QTest::addColumn<double>("gap");
        QTest::addColumn<bool>("below");
        QTest::newRow("6 px below") << 6.0 << true;
        QTest::newRow("6 px above") << 6.0 << false;
        QTest::newRow("7 px below") << 7.0 << true;
    }
    void faintWireBesideAnother()
    {
        QFETCH(double, gap);
        QFETCH(bool, below);
        std::mt19937 random(17);
        Scene scene(900, 300, [&](int, int) { return 198 + int(random() % 5); });
        const double shift = below ? gap : -gap;
        scene.drawWire(straightLine(450, 150, 4, 1000), 2.0, 40);
        const std::vector<std::array<double, 2>> other = straightLine(450, 150 + shift, 4, 1000);
        const std::array<double, 2> split
            = {350, other[0][1] + (350 - other[0][0]) * std::tan(4 * 3.14159265358979323846 / 180)};
        scene.drawWire({other[0], split}, 2.0, 40);
        scene.drawWire({split, other[1]}, 2.0, 182);
        const Found found = detect(scene);
        QCOMPARE(found.wires, 2);
        QVERIFY2(recall(scene, found) >= 0.97, qPrintable(QString::number(recall(scene, found))));
        QCOMPARE(strayMarks(scene, found), 0);
    }

    // A wire that crosses a pair at a large angle can be one piece of line pixels with it, the
    // piece's main axis the pair's: it is found all the same, along its own axis.
    void wireAcrossAPair_data()
    {
        QTest::addColumn<double>("pair");
        QTest::addColumn<double>("degrees");
        QTest::newRow("at -28 degrees across 12") << 12.0 << -28.0;
        QTest::newRow("at -35 degrees across 10") << 10.0 << -35.0;
        QTest::newRow("at 28 degrees across -12") << -12.0 << 28.0;
    }
    void wireAcrossAPair()
    {
        QFETCH(double, pair);
        QFETCH(double, degrees);
        Scene scene(900, 300, sky(300, 23));
        scene.drawWire(straightLine(450, 146, pair, 1000), 2.0, 40);
        scene.drawWire(straightLine(450, 154, pair, 1000), 2.0, 45);
        scene.drawWire(straightLine(450, 150, degrees, 700), 2.0, 35);
        const Found found = detect(scene);
        // The crossing wire's own pixels, away from the pair.
        Scene alone(900, 300, [](int, int) { return 200; });
        alone.drawWire(straightLine(450, 150, degrees, 700), 2.0, 35);
        for (std::size_t i = 0; i < alone.coverage.size(); ++i) {
            if (scene.coverage[i] > alone.coverage[i] + 0.01f)
                alone.coverage[i] = 0;
        }
        QVERIFY2(recall(alone, found) >= 0.95, qPrintable(QString::number(recall(alone, found))));
        QVERIFY2(recall(scene, found) >= 0.95, qPrintable(QString::number(recall(scene, found))));
        QCOMPARE(strayMarks(scene, found), 0);
    }

    // A wire that leaves the photo across its edge at a shallow angle is marked up to the edge:
    // the background beyond the edge is not the edge's own pixels, which the wire covers there.
    void wireLeavingAcrossAnEdge_data()
    {
        QTest::addColumn<double>("degrees");
        QTest::addColumn<int>("edge"); // 0 top, 1 bottom, 2 left
        QTest::addColumn<double>("thickness");
        QTest::newRow("through the top at 2 degrees") << -2.0 << 0 << 2.0;
        QTest::newRow("through the top at 4 degrees, 3 px wide") << -4.0 << 0 << 3.0;
        QTest::newRow("through the bottom at 3 degrees") << 3.0 << 1 << 2.0;
        QTest::newRow("through the bottom at 2 degrees, 3 px wide") << 2.0 << 1 << 3.0;
        QTest::newRow("through the left at 87 degrees") << 87.0 << 2 << 2.0;
    }
    void wireLeavingAcrossAnEdge()
    {
        QFETCH(double, degrees);
        QFETCH(int, edge);
        QFETCH(double, thickness);
        const bool steep = edge == 2;
        const int width = steep ? 300 : 900;
        const int height = steep ? 900 : 300;
        std::mt19937 random(61);
        Scene scene(width, height, [&](int, int) { return 188 + int(random() % 5); });
        // Straight through the middle of the edge, from 700 px inside: within 6 px of the edge
        // over the last 80 to 170 px before it leaves the photo.
        const double a = degrees * 3.14159265358979323846 / 180;
        const double side = steep ? -1 : 1;
        const std::array<double, 2> crossing = {steep ? 0.0 : width / 2.0,
            edge == 0       ? 0.0
                : edge == 1 ? height
                            : height / 2.0};
        const std::array<double, 2> dir = {side * std::cos(a), side * std::sin(a)};
        scene.drawWire({{crossing[0] - 700 * dir[0], crossing[1] - 700 * dir[1]},
                           {crossing[0] + 700 * dir[0], crossing[1] + 700 * dir[1]}},
            thickness, 60);
        const Found found = detect(scene);
        QCOMPARE(found.wires, 1);
        // The wire's pixels, fringe included, within 6 px of that edge and 3 px of no other.
        int wire = 0;
        int marked = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const int fromEdge = edge == 0 ? y : edge == 1 ? height - 1 - y : x;
                const int fromOthers
                    = steep ? std::min(y, height - 1 - y) : std::min(x, width - 1 - x);
                if (fromEdge > 6 || fromOthers < 3 || scene.coverage[scene.index(x, y)] < 0.25f)
                    continue;
                ++wire;
                marked += found.marks[scene.index(x, y)] != 0;
            }
        }
        QVERIFY(wire > 40);
        QVERIFY2(marked >= wire * 95 / 100, qPrintable(QString("%1 of %2").arg(marked).arg(wire)));
        QCOMPARE(strayMarks(scene, found), 0);
    }
};

QTEST_MAIN(TestPreciseDetection)

#include "tst_precisedetection.moc"
