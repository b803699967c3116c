#include <algorithm>
#include <cmath>
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
    bool marked(int x, int y) const
    {
        return x >= 0 && y >= 0 && x < width && y < height
            && isMarked(mask[std::size_t(y) * width + x]);
    }
    // Whether (x, y) or one of its four neighbours is marked.
    bool nearMarks(int x, int y) const
    {
        return marked(x, y) || marked(x - 1, y) || marked(x + 1, y) || marked(x, y - 1)
            || marked(x, y + 1);
    }
    // Marks (x, y) and paints it the wire's dark grey.
    void wire(int x, int y)
    {
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

// The largest difference in any channel.
int difference(Argb a, Argb b)
{
    int worst = 0;
    for (int c = 0; c < 3; ++c)
        worst = std::max(worst, std::abs(channel(a, c) - channel(b, c)));
    return worst;
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

// The largest difference in any channel between the marked pixels of `result` and `clean`.
int worstError(const Picture &picture, const std::vector<Argb> &result, const Picture &clean)
{
    int worst = 0;
    for (std::size_t i = 0; i < result.size(); ++i) {
        if (isMarked(picture.mask[i]))
            worst = std::max(worst, difference(result[i], clean.photo[i]));
    }
    return worst;
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

// Mean step between each marked pixel and its right and lower neighbours.
double detail(const Picture &picture, const std::vector<Argb> &image)
{
    double sum = 0;
    int count = 0;
    for (int y = 0; y + 1 < picture.height; ++y) {
        for (int x = 0; x + 1 < picture.width; ++x) {
            const std::size_t i = std::size_t(y) * picture.width + x;
            if (picture.marked(x, y)) {
                sum += std::abs(channel(image[i], 0) - channel(image[i + 1], 0))
                    + std::abs(channel(image[i], 0) - channel(image[i + picture.width], 0));
                count += 2;
            }
        }
    }
    return sum / count;
}

} // namespace

class TestSeamlessFill : public QObject
{
    Q_OBJECT

private slots:
    // The fast fill (linked lists of marked pixels, both cores from a megapixel on) against the
    // plain whole-plane version, pixel for pixel, on wires of every angle and thickness, loose
    // marks, marks on the border rows and columns, and the degenerate sizes. Only the marks and
    // their fringe (next to a mark) change; a photo marked all over keeps its values.
    void matchesReference_data()
    {
        addColumns<int, int, int, unsigned>(); // width, height, wires (-1: loose marks), seed
        QTest::newRow("one wire") << 64 << 48 << 1 << 1u;
        QTest::newRow("crossing wires at any angle") << 100 << 100 << 12 << 3u;
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
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                if ((wires == -1 && rng() % 4 == 0) || wires == -3
                    || (wires == -2 && (y == 0 || y >= height - 2 || x == width - 1)))
                    picture.wire(x, y);
            }
        }
        // Any alpha marks, whatever the colour bits.
        for (Argb &m : picture.mask)
            m = (isMarked(m) ? Argb(rng() % 255 + 1) << 24 : 0u) | (rng() & 0xFFFFFFu);

        const std::vector<Argb> expected
            = reference::seamlessFill(picture.photo, picture.mask, width, height);
        // (Views into wider buffers, and inputs left as they were, are the fuzzer's to check.)
        const std::vector<Argb> result = picture.fill();
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const std::size_t i = std::size_t(y) * width + x;
                QVERIFY2(
                    result[i] == expected[i], qPrintable(QStringLiteral("(%1, %2)").arg(x).arg(y)));
                if (wires == -3 || !picture.nearMarks(x, y))
                    QCOMPARE(result[i], picture.photo[i]);
            }
        }
    }

    // A smooth gradient runs on without a step through wires of any angle and thickness, and
    // through marks on the photo's border rows and columns and in its corners (filled from the
    // pixels inside): the membrane holds a plane exactly, and a plane has no texture to add.
    void gradientContinues_data()
    {
        addColumns<double, double, double, double, int>(); // centre, degrees, thickness, error
        for (double degrees : {0.0, 15.0, 45.0, 70.0, 88.0, 90.0, 135.0}) {
            for (double thickness : {1.0, 3.0, 7.0}) {
                QTest::addRow("%g deg, %g px", degrees, thickness)
                    << 64.0 << 48.0 << degrees << thickness << 2;
            }
        }
        QTest::newRow("top rows") << 64.0 << 1.0 << 0.0 << 3.0 << 2;
        QTest::newRow("bottom rows") << 64.0 << 94.0 << 0.0 << 3.0 << 2;
        QTest::newRow("left columns") << 0.5 << 48.0 << 90.0 << 2.0 << 2;
        QTest::newRow("right columns") << 126.0 << 48.0 << 90.0 << 3.0 << 2;
        QTest::newRow("corner") << 0.0 << 0.0 << 135.0 << 8.4 << 3;
        QTest::newRow("wire into the corner") << 0.0 << 0.0 << 35.0 << 4.0 << 2;
    }
    void gradientContinues()
    {
        const auto [centre, middle, degrees, thickness, error]
            = fetchRow<double, double, double, double, int>();
        const Picture clean = sky(128, 96);
        Picture picture = clean;
        picture.line(centre, middle, degrees, thickness, 200);
        const int worst = worstError(picture, picture.fill(), clean);
        QVERIFY2(worst <= error, qPrintable(QString::number(worst)));
    }

    // Structure that crosses the wire carries on in its own direction: an edge between dark
    // and bright ground, and a thin dark branch, across a horizontal and a vertical wire.
    void structureCrosses_data()
    {
        addColumns<bool>(); // steep: the picture transposed
        QTest::newRow("horizontal wire") << false;
        QTest::newRow("vertical wire") << true;
    }
    void structureCrosses()
    {
        const bool steep = std::get<0>(fetchRow<bool>());
        Picture picture(96, 96);
        for (int y = 0; y < 96; ++y) {
            for (int x = 0; x < 96; ++x) {
                const int along = steep ? y : x;
                picture.pixel(x, y) = along >= 60 && along < 63 ? rgb(10, 10, 10) // the branch
                    : along < 30                                ? rgb(40, 50, 60)
                                                                : rgb(200, 190, 180);
            }
        }
        const Picture clean = picture;
        picture.line(48, 48, steep ? 90 : 0, 5, 60);
        const std::vector<Argb> result = picture.fill();
        int wrong = 0;
        for (std::size_t i = 0; i < result.size(); ++i) {
            const int along = int(steep ? i / 96 : i % 96);
            if (!isMarked(picture.mask[i]))
                continue;
            // The branch stays dark all the way across. Away from the edge and the branch (the
            // membrane spreads a change over about twice the wire's thickness along it), each
            // side keeps its own colour.
            if (along >= 60 && along < 63)
                wrong += channel(result[i], 1) >= 105;
            else if ((along < 18 || along > 42) && (along < 48 || along > 74))
                wrong += difference(result[i], clean.photo[i]) > 3;
        }
        QCOMPARE(wrong, 0);
    }

    // The pixels beside a wire come out as the photo had them: a faint outer edge that the marks
    // miss (a twentieth of the wire's colour, too little for the mask) is taken in as fringe, and
    // so is a missed soft edge (three tenths) from its sharp step towards the dark marks where
    // stripes across the wire hide how it stands out. A marked soft edge (a quarter covered) is
    // unmixed, also where JPEG's coarser colour planes smeared its colour (more red, less blue
    // than a mix of wire and sky), and on a ground of fine detail that no fill from around could
    // guess (it misses by 10 to 13 levels there). Marks drawn wider than the wire (a clean marked
    // row on either side, as a hand-painted mask is) take in nothing beyond them: small details
    // of the sky right beside them, which stand out as a missed fringe would, stay as they were.
    void edgesBesideTheWire_data()
    {
        addColumns<int, bool, double, bool, double, double>();
        // ground (sky, texture, stripes), steep, edge coverage, edge marked, smear, mean error
        QTest::newRow("faint fringe outside the marks")
            << 0 << false << 0.05 << false << 0.0 << 2.0;
        QTest::newRow("smeared colour on the soft edge")
            << 0 << false << 0.25 << true << 15.0 << 2.0;
        QTest::newRow("generous marks") << 0 << false << 0.0 << true << 0.0 << 2.0;
        QTest::newRow("soft edge on texture") << 1 << false << 0.25 << true << 0.0 << 6.0;
        QTest::newRow("missed soft edge on stripes") << 2 << false << 0.3 << false << 0.0 << 6.0;
        QTest::newRow("soft edge on texture, steep") << 1 << true << 0.25 << true << 0.0 << 6.0;
    }
    void edgesBesideTheWire()
    {
        const auto [ground, steep, coverage, edgeMarked, smear, bound]
            = fetchRow<int, bool, double, bool, double, double>();
        Picture picture = sky(120, 120);
        for (int y = 0; y < 120 && ground > 0; ++y) {
            for (int x = 0; x < 120; ++x) {
                const double v
                    = 150 + 35 * std::sin(0.9 * x) * (ground == 1 ? std::cos(0.7 * y) : 1);
                picture.pixel(x, y) = rgb(v, v + 5, v + 10);
            }
        }
        auto at = [steep](int along, int across) {
            return steep ? std::size_t(along) * 120 + across : std::size_t(across) * 120 + along;
        };
        for (int along = 10; along < 110 && coverage == 0; along += 7) {
            const Argb p = picture.photo[at(along, along % 2 ? 56 : 64)];
            picture.photo[at(along, along % 2 ? 56 : 64)]
                = rgb(channel(p, 2) - 14, channel(p, 1) - 12, channel(p, 0) - 10);
        }
        const Picture clean = picture;
        for (int along = 10; along < 110; ++along) {
            for (int across = 57; across <= 63; ++across) {
                const std::size_t i = at(along, across);
                const bool edge = across == 57 || across == 63;
                const double a = edge ? coverage : 1.0, shift = edge ? smear : 0.0;
                const Argb c = clean.photo[i];
                picture.photo[i] = rgb((1 - a) * channel(c, 2) + a * 30 + shift,
                    (1 - a) * channel(c, 1) + a * 34, (1 - a) * channel(c, 0) + a * 40 - shift);
                if (!edge || edgeMarked)
                    picture.mask[i] = detectionMark;
            }
        }
        const std::vector<Argb> result = picture.fill();
        double error = 0;
        for (int along = 14; along < 106; ++along) {
            for (int across : {57, 63}) {
                for (int c = 0; c < 3; ++c)
                    error += std::abs(channel(result[at(along, across)], c)
                        - channel(clean.photo[at(along, across)], c));
            }
        }
        for (std::size_t i = 0; i < result.size() && coverage == 0; ++i) {
            if (!isMarked(picture.mask[i]))
                QCOMPARE(result[i], picture.photo[i]);
        }
        error /= 92 * 2 * 3;
        QVERIFY2(error < bound, qPrintable(QStringLiteral("mean error %1 on the edge").arg(error)));
    }

    // Fine texture comes back instead of a blur (which keeps a fifth of it), and brings no
    // colour shift: on a noisy grey ground, the filled pixels hold about as much detail as the
    // photo had there, and their mean stays that of the pixels around them.
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
        QVERIFY2(filled > 0.5 * original && filled < 1.4 * original,
            qPrintable(QStringLiteral("detail %1 against %2").arg(filled).arg(original)));

        // The filled pixels' mean against that of the clean ring next to them.
        double sum[2] = {0, 0};
        int count[2] = {0, 0};
        for (int y = 1; y + 1 < 160; ++y) {
            for (int x = 1; x + 1 < 160; ++x) {
                if (picture.nearMarks(x, y)) {
                    sum[picture.marked(x, y)] += channel(result[std::size_t(y) * 160 + x], 1);
                    ++count[picture.marked(x, y)];
                }
            }
        }
        const double shift = sum[1] / count[1] - sum[0] / count[0];
        QVERIFY2(count[1] > 100 && std::abs(shift) < 2.0, qPrintable(QString::number(shift)));
    }

    // Marked pixels that no wire changed (marks drawn wider than it) keep their value, to
    // within a level; so do those of a wire that hardly differs from the ground.
    void unchangedMarksKept()
    {
        Picture picture = noise(64, 64, 120, 1, 3);
        std::fill(picture.mask.begin() + 30 * 64, picture.mask.begin() + 36 * 64, brushMark);
        QVERIFY(worstError(picture, picture.fill(), picture) <= 1);
    }

    // Marks drawn wide over a dark wire on strong texture, with bright dots of the photo in the
    // marks beside it that lie farther from the fill than the wire: the wire is filled all along,
    // not taken for the photo's own detail. Also with light and dark swapped.
    void wireAmongDistinctDetail_data()
    {
        addColumns<bool>(); // light: a light wire among dark dots
        QTest::newRow("dark wire, bright dots") << false;
        QTest::newRow("light wire, dark dots") << true;
    }
    void wireAmongDistinctDetail()
    {
        const bool light = std::get<0>(fetchRow<bool>());
        const auto grey
            = [&](int v) { return light ? rgb(255 - v, 255 - v, 255 - v) : rgb(v, v, v); };
        Picture clean = noise(64, 48, 100, 30, 5);
        if (light) {
            for (Argb &p : clean.photo)
                p = grey(channel(p, 0));
        }
        for (int x = 4; x < 64; x += 6) {
            clean.pixel(x, 20) = grey(245);
            clean.pixel(x + 3, 28) = grey(245);
        }
        Picture picture = clean;
        std::fill(picture.mask.begin() + 19 * 64, picture.mask.begin() + 30 * 64, brushMark);
        for (int y = 23; y <= 25; ++y) {
            for (int x = 0; x < 64; ++x)
                picture.pixel(x, y) = grey(30);
        }
        const std::vector<Argb> result = picture.fill();
        // The mean over each of the wire's rows, against the photo's.
        for (int y = 23; y <= 25; ++y) {
            double shift = 0;
            for (int x = 0; x < 64; ++x) {
                const std::size_t i = std::size_t(y) * 64 + x;
                shift += channel(result[i], 0) - channel(clean.photo[i], 0);
            }
            shift /= 64;
            QVERIFY2(std::abs(shift) < 10, qPrintable(QString("row %1: %2").arg(y).arg(shift)));
        }
    }
};

QTEST_APPLESS_MAIN(TestSeamlessFill)
#include "tst_seamlessfill.moc"
