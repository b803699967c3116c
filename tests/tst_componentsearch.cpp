#include <QTest>

#include "detectiontestimages.h"
#include "reference_detection.h"
#include "selection/wiretracing.h"

using namespace tolvane;
using namespace tolvane::test;

class TestComponentSearch : public QObject
{
    Q_OBJECT

private slots:
    void emptyMaskHasNoComponents();
    void sizeFilter_data();
    void sizeFilter();
    void componentsInSeedOrder();
    void pixelsInBreadthFirstOrder();
    void cornerContactConnects();
    void agreesWithReference();
};

void TestComponentSearch::emptyMaskHasNoComponents()
{
    QVERIFY(findComponents(maskFromRows({".......", "......."}).view()).empty());
    QVERIFY(findComponents(PlaneBuffer<std::uint8_t>(0, 0).view()).empty());
}

void TestComponentSearch::sizeFilter_data()
{
    QTest::addColumn<std::vector<std::string>>("rows");
    QTest::addColumn<bool>("kept");
    QTest::newRow("dx 5 drops") << std::vector<std::string> {"######."} << false;
    QTest::newRow("dx 6 keeps") << std::vector<std::string> {"#######"} << true;
    QTest::newRow("dy 6 keeps") << std::vector<std::string> {"#", "#", "#", "#", "#", "#", "#"}
                                << true;
    QTest::newRow("dx 4 dy 4 drops")
        << std::vector<std::string> {"#....", ".#...", "..#..", "...#.", "....#"} << false;
    QTest::newRow("dx 5 dy 3 drops")
        << std::vector<std::string> {"#.....", ".#....", "..#...", "...###"} << false;
    QTest::newRow("dx 5 dy 4 keeps")
        << std::vector<std::string> {"#.....", ".#....", "..#...", "...#..", "....##"} << true;
}

void TestComponentSearch::sizeFilter()
{
    QFETCH(std::vector<std::string>, rows);
    QFETCH(bool, kept);
    const int width = int(rows[0].size());
    PlaneBuffer<std::uint8_t> mask(width, int(rows.size()));
    for (int y = 0; y < int(rows.size()); ++y) {
        for (int x = 0; x < width; ++x)
            mask.view().at(x, y) = rows[y][x] == '#' ? 255 : 0;
    }
    QCOMPARE(findComponents(mask.view()).size(), std::size_t(kept ? 1 : 0));
}

// Seeds are taken column by column: the component reaching column 0 comes first although
// the others have pixels in higher rows.
void TestComponentSearch::componentsInSeedOrder()
{
    const PlaneBuffer<std::uint8_t> mask = maskFromRows({
        "........#######",
        "...#...........",
        "...#...........",
        "...#...........",
        "...#...........",
        "...#...........",
        "...#...........",
        "...#...........",
        "...............",
        "#######........",
    });
    const std::vector<Component> components = findComponents(mask.view());
    QCOMPARE(components.size(), std::size_t(3));
    QCOMPARE(components[0].front(), 9 * 15 + 0);
    QCOMPARE(components[1].front(), 1 * 15 + 3);
    QCOMPARE(components[2].front(), 0 * 15 + 8);
}

// Neighbours are looked at column by column, and within a column from the top: from the seed
// (0, 0), (0, 1) comes before (1, 0). Every pixel appears once.
void TestComponentSearch::pixelsInBreadthFirstOrder()
{
    const PlaneBuffer<std::uint8_t> mask = maskFromRows({
        "##.....",
        "#######",
    });
    const std::vector<Component> components = findComponents(mask.view());
    QCOMPARE(components.size(), std::size_t(1));
    QCOMPARE(components[0], (Component {0, 7, 1, 8, 9, 10, 11, 12, 13}));
}

void TestComponentSearch::cornerContactConnects()
{
    const PlaneBuffer<std::uint8_t> mask = maskFromRows({
        "#......",
        ".#.....",
        "..#....",
        "...#...",
        "....#..",
        ".....#.",
        "......#",
    });
    QCOMPARE(findComponents(mask.view()).size(), std::size_t(1));
}

// Random masks, with vertical stretches of any length, and masks from the band scan.
void TestComponentSearch::agreesWithReference()
{
    for (int seed = 0; seed < 40; ++seed) {
        const int width = 20 + seed * 7 % 180;
        const int height = 10 + seed * 13 % 140;
        const PlaneBuffer<std::uint8_t> mask = randomMask(seed, width, height);
        QVERIFY(findComponents(mask.view())
            == reference::findComponents(toVector(mask.view()), width, height));
    }
}

QTEST_APPLESS_MAIN(TestComponentSearch)
#include "tst_componentsearch.moc"
