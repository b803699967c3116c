#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include <QTest>

#include "datatable.h"
#include "removal/seamlessfill.h"
#include "seamlessfillreference.h"

using namespace tolvane;

namespace {

struct Picture
{
    int width = 0;
    int height = 0;
    std::vector<Argb> photo;
    std::vector<Argb> mask;

    Picture(int w, int h)
        : width(w)
        , height(h)
        , photo(std::size_t(w) * h, 0xFF000000u)
        , mask(std::size_t(w) * h, 0u)
    { }
    Argb &pixel(int x, int y) { return photo[std::size_t(y) * width + x]; }
    bool marked(int x, int y) const { return isMarked(mask[std::size_t(y) * width + x]); }
    // Marks (x, y) and paints it the wire's dark grey.
    void wire(int x, int y)
    {
        if (x < 0 || y < 0 || x >= width || y >= height)
            return;
        mask[std::size_t(y) * width + x] = detectionMark;
        pixel(x, y) = 0xFF202428u;
    }
    // A straight wire `thickness` pixels across through (cx, cy) at `degrees` from the rows,
    // over `reach` pixels on either side of the centre.
    void line(double cx, double cy, double degrees, double thickness, double reach)
    {
        const double a = degrees * M_PI / 180.0;
        const double dx = std::cos(a), dy = std::sin(a);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const double along = (x - cx) * dx + (y - cy) * dy;
                const double across = -(x - cx) * dy + (y - cy) * dx;
                if (std::abs(along) <= reach && std::abs(across) < thickness / 2.0)
                    wire(x, y);
            }
        }
    }
    std::vector<Argb> fill() const
    {
        std::vector<Argb> result(photo.size(), 0x12345678u);
        seamlessFill(Plane<const Argb>(photo, width, height),
            Plane<const Argb>(mask, width, height), Plane<Argb>(result, width, height));
        return result;
    }
};

int channel(Argb pixel, int c)
{
    return int((pixel >> (8 * c)) & 0xFFu);
}

Argb rgb(double r, double g, double b)
{
    auto level = [](double v) { return Argb(std::clamp(int(std::lround(v)), 0, 255)); };
    return 0xFF000000u | level(r) << 16 | level(g) << 8 | level(b);
}

// A sky: a smooth gradient in both directions, each channel its own.
Picture sky(int width, int height)
{
    Picture picture(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            picture.pixel(x, y)
                = rgb(60 + 0.4 * x + 0.3 * y, 90 + 0.25 * x + 0.5 * y, 200 - 0.3 * y);
    }
    return picture;
}

// Every pixel its own random grey around `level`, at most `spread` away.
Picture noise(int width, int height, int level, int spread, unsigned seed)
{
    Picture picture(width, height);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> offset(-spread, spread);
    for (Argb &p : picture.photo) {
        const int v = level + offset(rng);
        p = rgb(v, v, v);
    }
    return picture;
}

// The largest difference in any channel between the filled pixels and `expected`.
int worstError(const Picture &picture, const std::vector<Argb> &result,
    const std::function<Argb(int, int)> &expected)
{
    int worst = 0;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            if (!picture.marked(x, y))
                continue;
            for (int c = 0; c < 3; ++c) {
                worst = std::max(worst,
                    std::abs(channel(result[std::size_t(y) * picture.width + x], c)
                        - channel(expected(x, y), c)));
            }
        }
    }
    return worst;
}

// Mean |pixel - 5 x 5 box mean| over the marked pixels away from the border.
double detail(const Picture &picture, const std::vector<Argb> &image)
{
    double sum = 0;
    int count = 0;
    for (int y = 2; y + 2 < picture.height; ++y) {
        for (int x = 2; x + 2 < picture.width; ++x) {
            if (!picture.marked(x, y))
                continue;
            double box = 0;
            for (int j = -2; j <= 2; ++j) {
                for (int k = -2; k <= 2; ++k)
                    box += channel(image[std::size_t(y + j) * picture.width + x + k], 0);
            }
            sum += std::abs(channel(image[std::size_t(y) * picture.width + x], 0) - box / 25.0);
            ++count;
        }
    }
    return count ? sum / count : 0.0;
}

} // namespace

class TestSeamlessFill : public QObject
{
    Q_OBJECT

private slots:
    // The fast fill (linked lists of marked pixels, both cores from a megapixel on) against the
    // plain whole-plane version, pixel for pixel, on wires of every angle and thickness, loose
    // marks, marks on the border rows and columns, and the degenerate sizes. Photo and mask are
    // seen through views into wider buffers; unmarked pixels and the inputs stay as they were.
    void matchesReference_data()
    {
        addColumns<int, int, int, unsigned>(); // width, height, wires (-1: loose marks), seed
        QTest::newRow("one wire") << 64 << 48 << 1 << 1u;
        QTest::newRow("wires at any angle") << 120 << 90 << 6 << 2u;
        QTest::newRow("crossing wires") << 100 << 100 << 12 << 3u;
        QTest::newRow("loose marks") << 70 << 50 << -1 << 4u;
        QTest::newRow("one row") << 80 << 1 << -1 << 5u;
        QTest::newRow("one column") << 1 << 80 << -1 << 6u;
        QTest::newRow("one pixel") << 1 << 1 << -1 << 7u;
        QTest::newRow("no pixels") << 0 << 0 << 0 << 8u;
        QTest::newRow("no marks") << 40 << 30 << 0 << 9u;
        QTest::newRow("border strips") << 50 << 40 << -2 << 10u;
        QTest::newRow("all marked") << 20 << 10 << -3 << 11u;
        QTest::newRow("two cores") << 1200 << 900 << 8 << 12u;
    }
    void matchesReference()
    {
        const auto [width, height, wires, seed] = fetchRow<int, int, int, unsigned>();
        std::mt19937 rng(seed);
        auto uniform = [&](double low, double high) {
            return std::uniform_real_distribution<double>(low, high)(rng);
        };
        Picture picture(width, height);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                picture.pixel(x, y) = Argb(rng() % 40 + 200) << 24
                    | rgb(50 + x % 37 * 3 + rng() % 30, 80 + y % 23 * 4 + rng() % 30, rng() % 256);
            }
        }
        for (int i = 0; i < wires; ++i) {
            picture.line(uniform(0, width), uniform(0, height), uniform(0, 180), uniform(0.8, 7),
                uniform(10, std::max(width, height)));
        }
        if (wires == -1) {
            for (int i = 0; i < width * height / 4; ++i)
                picture.wire(int(rng() % width), int(rng() % height));
        } else if (wires == -2) {
            for (int x = 0; x < width; ++x) {
                picture.wire(x, 0);
                picture.wire(x, height - 2);
                picture.wire(x, height - 1);
            }
            for (int y = 0; y < height; ++y)
                picture.wire(width - 1, y);
        } else if (wires == -3) {
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x)
                    picture.wire(x, y);
            }
        }
        // Any alpha marks, whatever the colour bits.
        for (Argb &m : picture.mask) {
            if (isMarked(m))
                m = Argb(rng() % 255 + 1) << 24 | (rng() & 0xFFFFFFu);
            else
                m = rng() & 0xFFFFFFu;
        }

        const std::vector<Argb> expected
            = reference::seamlessFill(picture.photo, picture.mask, width, height);

        // (Views into wider buffers, and inputs left as they were, are the fuzzer's to check.)
        const std::vector<Argb> result = picture.fill();
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const std::size_t i = std::size_t(y) * width + x;
                if (result[i] != expected[i])
                    QFAIL(qPrintable(QStringLiteral("(%1, %2): %3, expected %4")
                                         .arg(x)
                                         .arg(y)
                                         .arg(result[i], 8, 16)
                                         .arg(expected[i], 8, 16)));
                // Only marks and their fringe (next to a mark) change.
                const auto marked = [&](int mx, int my) {
                    return mx >= 0 && my >= 0 && mx < width && my < height
                        && picture.marked(mx, my);
                };
                if (!marked(x, y) && !marked(x - 1, y) && !marked(x + 1, y) && !marked(x, y - 1)
                    && !marked(x, y + 1))
                    QCOMPARE(result[i], picture.photo[i]);
            }
        }
        if (wires == -3)
            QVERIFY(std::equal(expected.begin(), expected.end(), picture.photo.begin()));
    }

    // A smooth gradient runs on through wires of any angle and thickness without a step: the
    // membrane holds a plane exactly, and a plane has no texture to add.
    void gradientContinues_data()
    {
        addColumns<double, double>(); // degrees from the rows, thickness
        for (double degrees : {0.0, 15.0, 45.0, 70.0, 88.0, 90.0, 135.0}) {
            for (double thickness : {1.0, 3.0, 7.0}) {
                QTest::addRow("%g deg, %g px", degrees, thickness) << degrees << thickness;
            }
        }
    }
    void gradientContinues()
    {
        const auto [degrees, thickness] = fetchRow<double, double>();
        Picture picture = sky(128, 128);
        const Picture clean = picture;
        picture.line(64, 64, degrees, thickness, 50);
        const std::vector<Argb> result = picture.fill();
        Picture copy = clean;
        QVERIFY(worstError(picture, result, [&](int x, int y) { return copy.pixel(x, y); }) <= 2);
    }

    // Structure that crosses the wire carries on in its own direction: an edge between dark
    // and bright ground, and a thin dark branch, across a horizontal and a near-vertical wire.
    void structureCrosses_data()
    {
        addColumns<bool>(); // steep: the picture transposed
        QTest::newRow("horizontal wire") << false;
        QTest::newRow("vertical wire") << true;
    }
    void structureCrosses()
    {
        const bool steep = fetchRow<bool>() == std::tuple(true);
        Picture picture(96, 96);
        auto ground = [](int along, int across) {
            Q_UNUSED(across);
            if (along >= 60 && along < 63)
                return rgb(10, 10, 10); // the branch
            return along < 30 ? rgb(40, 50, 60) : rgb(200, 190, 180);
        };
        for (int y = 0; y < 96; ++y) {
            for (int x = 0; x < 96; ++x)
                picture.pixel(x, y) = steep ? ground(y, x) : ground(x, y);
        }
        const Picture clean = picture;
        picture.line(48, 48, steep ? 90 : 0, 5, 60);
        const std::vector<Argb> result = picture.fill();
        for (int y = 0; y < 96; ++y) {
            for (int x = 0; x < 96; ++x) {
                if (!picture.marked(x, y))
                    continue;
                const int along = steep ? y : x;
                const Argb expected = clean.photo[std::size_t(y) * 96 + x];
                const Argb got = result[std::size_t(y) * 96 + x];
                const QString where = QStringLiteral("(%1, %2)").arg(x).arg(y);
                // The branch stays dark all the way across.
                if (along >= 60 && along < 63)
                    QVERIFY2(channel(got, 1) < 105, qPrintable(where));
                // Away from the edge and the branch (the membrane spreads a change over about
                // twice the wire's thickness along it), each side keeps its own colour.
                if ((along >= 18 && along <= 42) || (along >= 48 && along <= 74))
                    continue;
                for (int c = 0; c < 3; ++c)
                    QVERIFY2(
                        std::abs(channel(got, c) - channel(expected, c)) <= 3, qPrintable(where));
            }
        }
    }

    // The pixels beside a wire on the sky come out as the sky: a faint outer edge that the marks
    // miss (rows 37 and 41 carry a twentieth of the wire's colour, too little for the mask), and
    // a marked soft edge (rows 38 and 42, a quarter covered) whose colour JPEG's coarser colour
    // planes smeared (more red, less blue than a mix of wire and sky), which the unmixing would
    // otherwise make a coloured line.
    void edgesBesideTheWire_data()
    {
        addColumns<bool>(); // smeared
        QTest::newRow("faint fringe outside the marks") << false;
        QTest::newRow("smeared colour on the soft edge") << true;
    }
    void edgesBesideTheWire()
    {
        const bool smeared = fetchRow<bool>() == std::tuple(true);
        Picture picture = sky(120, 80);
        const Picture clean = picture;
        const std::array<int, 2> edges = smeared ? std::array {38, 42} : std::array {37, 41};
        for (int x = 0; x < 120; ++x) {
            for (int y = edges[0]; y <= edges[1]; ++y) {
                const bool edge = y == edges[0] || y == edges[1];
                const double a = !edge ? 1.0 : smeared ? 0.25 : 0.05;
                const Argb c = clean.photo[std::size_t(y) * 120 + x];
                const double shift = edge && smeared ? 15 : 0;
                picture.pixel(x, y) = rgb((1 - a) * channel(c, 2) + a * 0x20 + shift,
                    (1 - a) * channel(c, 1) + a * 0x24, (1 - a) * channel(c, 0) + a * 0x28 - shift);
                if (!edge || smeared)
                    picture.mask[std::size_t(y) * 120 + x] = detectionMark;
            }
        }
        const std::vector<Argb> result = picture.fill();
        double error = 0;
        for (int x = 4; x < 116; ++x) {
            for (int y : edges) {
                for (int c = 0; c < 3; ++c)
                    error += std::abs(channel(result[std::size_t(y) * 120 + x], c)
                        - channel(clean.photo[std::size_t(y) * 120 + x], c));
            }
        }
        QVERIFY2(error / (112 * 2 * 3) < 2.0, qPrintable(QString::number(error / (112 * 6))));
    }

    // Marks drawn wider than the wire (two clean rows on either side, as a hand-painted mask
    // is) take in nothing beyond them: the small details of the sky right beside them, which
    // stand out from it as a missed fringe would, stay as they were.
    void generousMarksTakeNothingMore()
    {
        Picture picture = sky(120, 80);
        for (int x = 0; x < 120; ++x) {
            for (int y = 36; y <= 44; ++y) {
                if (y >= 38 && y <= 42)
                    picture.pixel(x, y) = rgb(0x20, 0x24, 0x28);
                picture.mask[std::size_t(y) * 120 + x] = detectionMark;
            }
        }
        for (int x = 3; x < 117; x += 7) {
            const int y = x % 2 ? 35 : 45;
            const Argb p = picture.pixel(x, y);
            picture.pixel(x, y) = rgb(channel(p, 2) - 14, channel(p, 1) - 12, channel(p, 0) - 10);
        }
        const std::vector<Argb> result = picture.fill();
        for (int y = 0; y < 80; ++y) {
            for (int x = 0; x < 120; ++x) {
                if (!picture.marked(x, y))
                    QCOMPARE(
                        result[std::size_t(y) * 120 + x], picture.photo[std::size_t(y) * 120 + x]);
            }
        }
    }

    // Fine texture comes back instead of a blur, and brings no colour shift: on a noisy grey
    // ground, the filled pixels hold about as much detail as the photo had there, and their
    // mean stays that of the pixels around them.
    void textureRestored_data()
    {
        addColumns<double, double>(); // degrees, thickness
        QTest::newRow("horizontal, 3 px") << 0.0 << 3.0;
        QTest::newRow("oblique, 5 px") << 30.0 << 5.0;
        QTest::newRow("vertical, 2 px") << 90.0 << 2.0;
    }
    void textureRestored()
    {
        const auto [degrees, thickness] = fetchRow<double, double>();
        Picture picture = noise(160, 160, 120, 40, 7);
        const Picture clean = picture;
        picture.line(80, 80, degrees, thickness, 70);
        const std::vector<Argb> result = picture.fill();
        const double original = detail(picture, clean.photo);
        const double filled = detail(picture, result);
        QVERIFY2(filled > 0.6 * original && filled < 1.4 * original,
            qPrintable(QStringLiteral("detail %1 against %2").arg(filled).arg(original)));

        // The membrane alone (what the result would be without texture) is much smoother.
        double marked = 0, around = 0;
        int markedCount = 0, aroundCount = 0;
        for (int y = 1; y + 1 < 160; ++y) {
            for (int x = 1; x + 1 < 160; ++x) {
                const std::size_t i = std::size_t(y) * 160 + x;
                if (picture.marked(x, y)) {
                    marked += channel(result[i], 1);
                    ++markedCount;
                } else if (picture.marked(x - 1, y) || picture.marked(x + 1, y)
                    || picture.marked(x, y - 1) || picture.marked(x, y + 1)) {
                    around += channel(result[i], 1);
                    ++aroundCount;
                }
            }
        }
        QVERIFY(markedCount > 100 && aroundCount > 100);
        QVERIFY2(std::abs(marked / markedCount - around / aroundCount) < 2.0,
            qPrintable(QStringLiteral("mean %1 against the ring's %2")
                           .arg(marked / markedCount)
                           .arg(around / aroundCount)));
    }

    // Marks on the photo's border rows and columns, and in its corners, are filled from the
    // pixels inside; nothing is read outside.
    void photoBorders_data()
    {
        addColumns<int>(); // which border
        QTest::newRow("top rows") << 0;
        QTest::newRow("bottom rows") << 1;
        QTest::newRow("left columns") << 2;
        QTest::newRow("right columns") << 3;
        QTest::newRow("corner") << 4;
        QTest::newRow("wire into the corner") << 5;
    }
    void photoBorders()
    {
        const int border = std::get<0>(fetchRow<int>());
        Picture picture = sky(64, 48);
        const Picture clean = picture;
        for (int y = 0; y < 48; ++y) {
            for (int x = 0; x < 64; ++x) {
                const bool mark = (border == 0 && y < 3) || (border == 1 && y >= 45)
                    || (border == 2 && x < 2) || (border == 3 && x >= 61)
                    || (border == 4 && x + y < 6);
                if (mark)
                    picture.wire(x, y);
            }
        }
        if (border == 5)
            picture.line(0, 0, 35, 4, 40);
        const std::vector<Argb> result = picture.fill();
        Picture copy = clean;
        QVERIFY(worstError(picture, result, [&](int x, int y) { return copy.pixel(x, y); }) <= 4);
    }

    // The wire's soft edge is unmixed: where it covers a pixel by a quarter, the photo's own
    // colour comes back from the mix, much closer than a fill from around could guess it on a
    // ground of fine detail (without the unmixing, the fill misses it there by 10 to 13 levels on
    // average). Along rows and along columns.
    void softEdgeUnmixed_data()
    {
        addColumns<bool>(); // steep
        QTest::newRow("horizontal wire") << false;
        QTest::newRow("vertical wire") << true;
    }
    void softEdgeUnmixed()
    {
        const bool steep = fetchRow<bool>() == std::tuple(true);
        Picture picture(120, 120);
        for (int y = 0; y < 120; ++y) {
            for (int x = 0; x < 120; ++x) {
                const double v = 150 + 35 * std::sin(0.9 * x) * std::cos(0.7 * y);
                picture.pixel(x, y) = rgb(v, v + 5, v + 10);
            }
        }
        const Picture clean = picture;
        const double wire[3] = {30, 34, 40};
        double edgeError = 0;
        int edgeCount = 0;
        for (int along = 10; along < 110; ++along) {
            for (int across = 57; across <= 63; ++across) {
                const int x = steep ? across : along, y = steep ? along : across;
                const bool edge = across == 57 || across == 63;
                const double coverage = edge ? 0.25 : 1.0;
                const Argb c = clean.photo[std::size_t(y) * 120 + x];
                picture.pixel(x, y) = rgb((1 - coverage) * channel(c, 2) + coverage * wire[0],
                    (1 - coverage) * channel(c, 1) + coverage * wire[1],
                    (1 - coverage) * channel(c, 0) + coverage * wire[2]);
                picture.mask[std::size_t(y) * 120 + x] = detectionMark;
            }
        }
        const std::vector<Argb> result = picture.fill();
        for (int along = 14; along < 106; ++along) {
            for (int across : {57, 63}) {
                const std::size_t i
                    = steep ? std::size_t(along) * 120 + across : std::size_t(across) * 120 + along;
                for (int c = 0; c < 3; ++c)
                    edgeError += std::abs(channel(result[i], c) - channel(clean.photo[i], c));
                edgeCount += 3;
            }
        }
        QVERIFY2(edgeError / edgeCount < 6.0,
            qPrintable(QStringLiteral("mean error %1 on the edge").arg(edgeError / edgeCount)));
    }

    // Marked pixels that no wire changed (marks drawn wider than it) keep their value, to
    // within a level; so do those of a wire that hardly differs from the ground.
    void unchangedMarksKept()
    {
        Picture picture = noise(64, 64, 120, 1, 3);
        for (int x = 0; x < 64; ++x) {
            for (int y = 30; y < 36; ++y)
                picture.mask[std::size_t(y) * 64 + x] = brushMark;
        }
        Picture copy = picture;
        QVERIFY(worstError(picture, picture.fill(), [&](int x, int y) { return copy.pixel(x, y); })
            <= 1);
    }
};

QTEST_APPLESS_MAIN(TestSeamlessFill)
#include "tst_seamlessfill.moc"
