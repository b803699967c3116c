#include <QTest>
#include <random>
#include <string>
#include <vector>

#include "columnfillreference.h"
#include "removal/columnfill.h"

using namespace tolvane;

namespace {

// One column from top to bottom, '#' marked.
std::vector<std::uint8_t> columnFlags(const std::string &rows)
{
    std::vector<std::uint8_t> flags;
    for (char c : rows)
        flags.push_back(c == '#' ? 1 : 0);
    return flags;
}

// Photo whose pixel in row r is 1000 + r, so that a result pixel names its source row.
std::vector<Argb> rowNumberPhoto(int height)
{
    std::vector<Argb> photo;
    for (int r = 0; r < height; ++r)
        photo.push_back(Argb(1000 + r));
    return photo;
}

std::vector<int> sourceRows(const std::vector<Argb> &result)
{
    std::vector<int> rows;
    for (Argb pixel : result)
        rows.push_back(int(pixel) - 1000);
    return rows;
}

// A column made of stretches, e.g. stretches({ { 2, '.' }, { 14, '#' } }).
std::string stretches(std::initializer_list<std::pair<int, char>> parts)
{
    std::string rows;
    for (auto [count, c] : parts)
        rows.append(std::size_t(count), c);
    return rows;
}

std::vector<std::uint8_t> markFlags(const std::vector<Argb> &mask)
{
    std::vector<std::uint8_t> flags;
    for (Argb pixel : mask)
        flags.push_back(isMarked(pixel));
    return flags;
}

struct RandomCase
{
    int width = 0;
    int height = 0;
    std::vector<Argb> photo;
    std::vector<Argb> mask;
};

// Columns of every kind: clean, fully marked, short and long runs (20..60), runs on the top and
// bottom rows, runs one clean row apart; marks carry assorted colours, clean pixels colour bits.
RandomCase randomCase(int width, int height, unsigned seed)
{
    std::mt19937 random(seed);
    auto uniform
        = [&](int low, int high) { return std::uniform_int_distribution(low, high)(random); };
    const Argb marks[] = {detectionMark, traceMark, 0x01000000u, 0x96960000u};
    const Argb clean[] = {0u, 0x00FFFFFFu, 0x00FF0000u};
    RandomCase c {width, height, {}, std::vector<Argb>(std::size_t(width) * height)};
    for (Argb &pixel : c.mask)
        pixel = clean[uniform(0, 2)];
    for (int x = 0; x < width; ++x) {
        const int kind = uniform(0, 19);
        if (kind < 5)
            continue;
        int y = kind < 8 ? 0 : uniform(0, 12);
        const int end = kind == 8 ? height : kind == 9 ? height - uniform(1, 30) : height;
        while (y < end) {
            const int length = uniform(0, 5) == 0 ? uniform(20, 60) : uniform(1, 8);
            for (int r = y; r < std::min(y + length, end); ++r)
                c.mask[std::size_t(r) * width + x] = marks[uniform(0, 3)];
            y += length + (uniform(0, 2) == 0 ? 1 : uniform(1, 25));
        }
    }
    c.photo.resize(c.mask.size());
    for (Argb &pixel : c.photo)
        pixel = Argb(random());
    return c;
}

std::vector<Argb> clearWiresOf(const RandomCase &c, int wirePadding)
{
    std::vector<Argb> result(c.photo.size(), 0xDEADBEEFu);
    clearWires(Plane<const Argb>(c.photo, c.width, c.height),
        Plane<const Argb>(c.mask, c.width, c.height), wirePadding,
        Plane<Argb>(result, c.width, c.height));
    return result;
}

} // namespace

class ColumnFillTest : public QObject
{
    Q_OBJECT

private slots:
    void widensRunsAndSkipsAfterThem_data();
    void widensRunsAndSkipsAfterThem();
    void fillsFromMirroredCleanRows_data();
    void fillsFromMirroredCleanRows();
    void clearWiresWidensThenFills();
    void onlyAlphaMarks();
    void followsStrides();
    void handlesEmptyImages();
    void matchesReference_data();
    void matchesReference();
};

void ColumnFillTest::widensRunsAndSkipsAfterThem_data()
{
    QTest::addColumn<std::string>("marks");
    QTest::addColumn<int>("wirePadding");
    QTest::addColumn<std::string>("widened");

    QTest::newRow("1 row, n 4") << std::string(".......#........") << 0
                                << std::string("....########....");
    QTest::newRow("2 rows, n 3") << std::string("......##........") << 0
                                 << std::string("....#######.....");
    QTest::newRow("padding 1 adds a row each side")
        << std::string(".......#........") << 1 << std::string("...##########...");
    QTest::newRow("2 rows after the paint unread")
        << std::string("..#.....#.......") << 0 << std::string("#######.#.......");
    QTest::newRow("run resumes at y + n + 2")
        << std::string("..#....###......") << 0 << std::string("##############..");
    QTest::newRow("top rows clipped")
        << std::string("##..........") << 0 << std::string("#####.......");
    QTest::newRow("bottom end paints above")
        << std::string("..........##") << 0 << std::string(".......#####");
    QTest::newRow("14 steps back, widens below") << stretches({{2, '.'}, {14, '#'}, {14, '.'}}) << 0
                                                 << stretches({{2, '.'}, {18, '#'}, {10, '.'}});
    QTest::newRow("bottom 14 steps back, stays")
        << stretches({{6, '.'}, {14, '#'}}) << 0 << stretches({{6, '.'}, {14, '#'}});
    QTest::newRow("fully marked stays") << std::string(12, '#') << 0 << std::string(12, '#');
    for (auto [length, below] :
        {std::pair(27, 1), std::pair(28, 0), std::pair(39, 0), std::pair(40, 4)}) {
        const std::string name = std::to_string(length) + (below ? " widens below" : " stays");
        QTest::newRow(name.c_str())
            << stretches({{1, '.'}, {length, '#'}, {9, '.'}}) << 0
            << stretches({{1, '.'}, {length + below, '#'}, {9 - below, '.'}});
    }
}

void ColumnFillTest::widensRunsAndSkipsAfterThem()
{
    QFETCH(std::string, marks);
    QFETCH(int, wirePadding);
    QFETCH(std::string, widened);

    std::vector<std::uint8_t> flags = columnFlags(marks);
    widenMarks(Plane<std::uint8_t>(flags, 1, int(flags.size())), wirePadding);
    QCOMPARE(flags, columnFlags(widened));
}

void ColumnFillTest::fillsFromMirroredCleanRows_data()
{
    QTest::addColumn<std::string>("marks");
    QTest::addColumn<std::vector<int>>("sources");

    QTest::newRow("middle run") << std::string("....########........")
                                << std::vector {0, 1, 2, 3, 3, 2, 1, 0, 16, 15, 14, 13, 12, 13, 14,
                                       15, 16, 17, 18, 19};
    QTest::newRow("mirror below the image takes end row") << std::string(
        "....########..") << std::vector {0, 1, 2, 3, 3, 2, 1, 0, 12, 12, 12, 13, 12, 13};
    QTest::newRow("upward search never takes row 0")
        << std::string(".#.####...") << std::vector {0, 0, 2, 2, 7, 9, 8, 7, 8, 9};
    QTest::newRow("one clean row between runs")
        << std::string("..##.####...") << std::vector {0, 1, 1, 4, 4, 4, 1, 11, 10, 9, 10, 11};
    QTest::newRow("top run fills from end row")
        << std::string("###.......") << std::vector {3, 3, 4, 3, 4, 5, 6, 7, 8, 9};
    QTest::newRow("bottom run rewrites clean row above")
        << std::string("......####") << std::vector {0, 1, 2, 3, 4, 4, 3, 5, 5, 5};
    QTest::newRow("bottom run reads the photo, not the result")
        << std::string("...##.####") << std::vector {0, 1, 2, 2, 5, 2, 2, 5, 5, 5};
    QTest::newRow("only row 0 clean") << std::string(".#####") << std::vector {0, 1, 2, 3, 4, 5};
    QTest::newRow("fully marked") << std::string("#####") << std::vector {0, 1, 2, 3, 4};
}

void ColumnFillTest::fillsFromMirroredCleanRows()
{
    QFETCH(std::string, marks);
    QFETCH(std::vector<int>, sources);

    const int height = int(marks.size());
    const std::vector<std::uint8_t> flags = columnFlags(marks);
    const std::vector<Argb> photo = rowNumberPhoto(height);
    std::vector<Argb> result = photo;
    fillMarkedRuns(Plane<const Argb>(photo, 1, height), Plane<const std::uint8_t>(flags, 1, height),
        Plane<Argb>(result, 1, height));
    QCOMPARE(sourceRows(result), sources);
}

void ColumnFillTest::clearWiresWidensThenFills()
{
    // One marked pixel, padding 0: widened to rows 4..11, then mirrored on both sides.
    RandomCase c {1, 20, rowNumberPhoto(20), std::vector<Argb>(20, 0)};
    c.mask[7] = detectionMark;
    QCOMPARE(sourceRows(clearWiresOf(c, 0)),
        (std::vector {0, 1, 2, 3, 3, 2, 1, 0, 16, 15, 14, 13, 12, 13, 14, 15, 16, 17, 18, 19}));

    // Widened rows are the only ones that change (and the clean row above a bottom run), and
    // every value comes from the same column.
    for (int wirePadding : {0, 3}) {
        RandomCase c = randomCase(40, 70, 7 + wirePadding);
        for (std::size_t i = 0; i < c.photo.size(); ++i)
            c.photo[i] = Argb(i);
        std::vector<std::uint8_t> flags = markFlags(c.mask);
        widenMarks(Plane<std::uint8_t>(flags, c.width, c.height), wirePadding);
        const std::vector<Argb> result = clearWiresOf(c, wirePadding);
        for (int x = 0; x < c.width; ++x) {
            bool markedBelow = false;
            for (int y = c.height - 1; y >= 0; --y) {
                const std::size_t i = std::size_t(y) * c.width + x;
                QCOMPARE(int(result[i]) % c.width, x);
                if (!flags[i] && !markedBelow)
                    QCOMPARE(result[i], c.photo[i]);
                markedBelow = flags[i] && (markedBelow || y == c.height - 1);
            }
        }
    }
}

void ColumnFillTest::onlyAlphaMarks()
{
    RandomCase c = randomCase(30, 50, 11);
    const std::vector<Argb> expected = clearWiresOf(c, 1);
    for (Argb &pixel : c.mask)
        pixel = isMarked(pixel) ? 0x01000000u : 0x00FFFFFFu;
    QCOMPARE(clearWiresOf(c, 1), expected);
}

void ColumnFillTest::followsStrides()
{
    const RandomCase c = randomCase(23, 31, 5);
    const int stride = 29;
    std::vector<Argb> photo(std::size_t(stride) * c.height, 1u);
    std::vector<Argb> mask(photo.size(), detectionMark);
    std::vector<Argb> result(photo.size(), 2u);
    for (int y = 0; y < c.height; ++y) {
        std::copy_n(&c.photo[std::size_t(y) * c.width], c.width, &photo[std::size_t(y) * stride]);
        std::copy_n(&c.mask[std::size_t(y) * c.width], c.width, &mask[std::size_t(y) * stride]);
    }
    clearWires(Plane<const Argb>(photo.data(), c.width, c.height, stride),
        Plane<const Argb>(mask.data(), c.width, c.height, stride), 2,
        Plane<Argb>(result.data(), c.width, c.height, stride));
    const std::vector<Argb> expected = clearWiresOf(c, 2);
    for (int y = 0; y < c.height; ++y) {
        for (int x = 0; x < stride; ++x) {
            const Argb pixel = result[std::size_t(y) * stride + x];
            QCOMPARE(pixel, x < c.width ? expected[std::size_t(y) * c.width + x] : 2u);
        }
    }
}

void ColumnFillTest::handlesEmptyImages()
{
    for (auto [width, height] : {std::pair(0, 0), std::pair(0, 5), std::pair(5, 0)}) {
        const RandomCase c = randomCase(width, height, 1);
        QVERIFY(clearWiresOf(c, 0).empty());
    }
}

void ColumnFillTest::matchesReference_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");

    QTest::newRow("1x1") << 1 << 1;
    QTest::newRow("1x90") << 1 << 90;
    QTest::newRow("90x1") << 90 << 1;
    QTest::newRow("3x2") << 3 << 2;
    QTest::newRow("7x40") << 7 << 40;
    QTest::newRow("33x17") << 33 << 17;
    QTest::newRow("120x90") << 120 << 90;
    QTest::newRow("60x300") << 60 << 300;
    QTest::newRow("1100x1000, two threads") << 1100 << 1000;
}

void ColumnFillTest::matchesReference()
{
    QFETCH(int, width);
    QFETCH(int, height);

    const int cases = width * height > 100000 ? 1 : 30;
    for (int seed = 0; seed < cases; ++seed) {
        const RandomCase c = randomCase(width, height, unsigned(seed * 1000 + width + height));
        for (int wirePadding : {0, 1, 3, 10, seed % 25}) {
            QCOMPARE(clearWiresOf(c, wirePadding),
                reference::clearWires(c.photo, c.mask, width, height, wirePadding));

            std::vector<Argb> widened = c.mask;
            reference::widen(widened, width, height, wirePadding);
            std::vector<std::uint8_t> flags = markFlags(c.mask);
            widenMarks(Plane<std::uint8_t>(flags, width, height), wirePadding);
            for (std::size_t i = 0; i < flags.size(); ++i)
                QCOMPARE(bool(flags[i]), isMarked(widened[i]));

            std::vector<Argb> expected = c.photo;
            reference::fill(c.photo, widened, width, height, expected);
            std::vector<Argb> result = c.photo;
            fillMarkedRuns(Plane<const Argb>(c.photo, width, height),
                Plane<const std::uint8_t>(flags, width, height),
                Plane<Argb>(result, width, height));
            QCOMPARE(result, expected);
        }
    }
}

QTEST_APPLESS_MAIN(ColumnFillTest)

#include "tst_columnfill.moc"
