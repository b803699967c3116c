#include <QTest>

#include "detectiontestimages.h"
#include "reference_detection.h"
#include "selection/bandscan.h"

using namespace tolvane;
using namespace tolvane::test;

namespace {

using Bands = std::vector<std::pair<int, int>>; // first row and length, top to bottom

Bands bandsOfColumn(const CandidateMask &candidates, int x)
{
    Bands bands;
    for (const ColumnRun &band : candidates.column(x))
        bands.push_back({band.y, band.length});
    return bands;
}

// Scans a one-column photo as given, then 40 copies of the column with `padding` copies of the
// first and last rows added, so that both the column-by-column test and the vectorised one
// (which needs whole windows) see the case. Returns the bands of each column in turn.
std::vector<Bands> scanColumn(const std::vector<int> &brightness, const std::vector<int> &minimum,
    int widthThreshold, int padding)
{
    std::vector<Bands> results;
    results.push_back(
        bandsOfColumn(scanBands(columnPhoto(brightness, minimum).view(), widthThreshold), 0));
    if (padding == 0)
        return results;
    std::vector<int> paddedBrightness(padding, brightness.front());
    paddedBrightness.insert(paddedBrightness.end(), brightness.begin(), brightness.end());
    paddedBrightness.insert(paddedBrightness.end(), padding, brightness.back());
    std::vector<int> paddedMinimum;
    if (!minimum.empty()) {
        paddedMinimum.assign(padding, minimum.front());
        paddedMinimum.insert(paddedMinimum.end(), minimum.begin(), minimum.end());
        paddedMinimum.insert(paddedMinimum.end(), padding, minimum.back());
    }
    const PlaneBuffer<Argb> photo = columnPhoto(paddedBrightness, paddedMinimum, 40);
    const CandidateMask candidates = scanBands(photo.view(), widthThreshold);
    for (int x = 0; x < 40; ++x) {
        Bands bands = bandsOfColumn(candidates, x);
        for (auto &band : bands)
            band.first -= padding;
        results.push_back(bands);
    }
    return results;
}

} // namespace

class TestBandScan : public QObject
{
    Q_OBJECT

private slots:
    void columnCases_data();
    void columnCases();
    void acceptanceIsStrict_data();
    void acceptanceIsStrict();
    void nothingFoundWhenTooSmall_data();
    void nothingFoundWhenTooSmall();
    void bandsStayInsideAndApart_data();
    void bandsStayInsideAndApart();
};

void TestBandScan::columnCases_data()
{
    QTest::addColumn<std::vector<int>>("brightness");
    QTest::addColumn<std::vector<int>>("minimum");
    QTest::addColumn<int>("widthThreshold");
    QTest::addColumn<int>("padding");
    QTest::addColumn<Bands>("expected");

    QTest::newRow("two dark rows") << std::vector<int> {255, 255, 255, 0, 0, 255, 255, 255, 255}
                                   << std::vector<int> {} << 4 << 8 << Bands {{3, 2}};
    // Rows 1 and 2 drop by 50 each: row 1 passes as a peak despite the tie, the lower edge is
    // row 4 (n = 3), and the upper edge moves down to row 2, the lower of the tied rows.
    QTest::newRow("tied drops: peak passes, lower row is the upper edge")
        << std::vector<int> {255, 255, 205, 155, 155, 255, 255, 255, 255}
        << std::vector<int> {255, 255, 100, 100, 100, 255, 255, 255, 255} << 4 << 8
        << Bands {{3, 2}};
    // The band mean is (150 + 150) / n = 100 with n = 3: darker than the rows above (110).
    // Divided by its 2 rows it would be 150, not darker.
    QTest::newRow("band mean divided by n")
        << std::vector<int> {255, 255, 205, 155, 155, 255, 255, 255, 255}
        << std::vector<int> {110, 110, 100, 150, 150, 255, 255, 255, 255} << 4 << 8
        << Bands {{3, 2}};
    // Equal rises 1 and 3 rows below row 1: the nearer one ends the band.
    QTest::newRow("nearest rise wins")
        << std::vector<int> {255, 255, 0, 200, 0, 200, 200, 200, 200, 200} << std::vector<int> {}
        << 5 << 8 << Bands {{2, 1}};
    // Row 1's test finds its lower edge at row 4 and rejects the band (the row above is
    // darker); rows 2 to 4 are not tested, although row 3 would give an accepted band.
    QTest::newRow("scan resumes below the lower edge")
        << std::vector<int> {255, 255, 100, 120, 0, 255, 255, 255, 255, 255}
        << std::vector<int> {10, 255, 100, 120, 0, 255, 255, 255, 255, 255} << 4 << 8 << Bands {};
    // A band of rows 2 and 3 has only row 0 above it: the above mean is M(0) / 1.
    QTest::newRow("above mean clipped at row 0, darker")
        << std::vector<int> {255, 255, 20, 20, 255, 255, 255, 255}
        << std::vector<int> {21, 255, 20, 20, 255, 255, 255, 255} << 4 << 0 << Bands {{2, 2}};
    QTest::newRow("above mean clipped at row 0, equal")
        << std::vector<int> {255, 255, 20, 20, 255, 255, 255, 255}
        << std::vector<int> {20, 255, 20, 20, 255, 255, 255, 255} << 4 << 0 << Bands {};
    // A band of rows 4 and 5 has only the last row below it.
    QTest::newRow("below mean clipped at the last row, darker")
        << std::vector<int> {255, 255, 255, 255, 20, 20, 255}
        << std::vector<int> {255, 255, 255, 255, 20, 20, 21} << 4 << 0 << Bands {{4, 2}};
    QTest::newRow("below mean clipped at the last row, equal")
        << std::vector<int> {255, 255, 255, 255, 20, 20, 255}
        << std::vector<int> {255, 255, 255, 255, 20, 20, 20} << 4 << 0 << Bands {};
}

void TestBandScan::columnCases()
{
    QFETCH(std::vector<int>, brightness);
    QFETCH(std::vector<int>, minimum);
    QFETCH(int, widthThreshold);
    QFETCH(int, padding);
    QFETCH(Bands, expected);
    for (const Bands &bands : scanColumn(brightness, minimum, widthThreshold, padding))
        QCOMPARE(bands, expected);
}

void TestBandScan::acceptanceIsStrict_data()
{
    QTest::addColumn<int>("above");
    QTest::addColumn<int>("band");
    QTest::addColumn<int>("below");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("darker than both") << 101 << 100 << 101 << true;
    QTest::newRow("equal to the mean above") << 100 << 100 << 101 << false;
    QTest::newRow("equal to the mean below") << 101 << 100 << 100 << false;
    QTest::newRow("lighter than the mean above") << 99 << 100 << 255 << false;
}

// A one-row band at row 10 whose neighbour means are the single rows 9 and 11.
void TestBandScan::acceptanceIsStrict()
{
    QFETCH(int, above);
    QFETCH(int, band);
    QFETCH(int, below);
    QFETCH(bool, accepted);
    std::vector<int> brightness(20, 255);
    std::vector<int> minimum(20, 255);
    brightness[10] = 150;
    minimum[8] = above;
    minimum[10] = band;
    minimum[11] = below;
    const Bands expected = accepted ? Bands {{10, 1}} : Bands {};
    for (const Bands &bands : scanColumn(brightness, minimum, 4, 8))
        QCOMPARE(bands, expected);
}

void TestBandScan::nothingFoundWhenTooSmall_data()
{
    QTest::addColumn<std::vector<int>>("brightness");
    QTest::addColumn<int>("widthThreshold");
    QTest::newRow("width threshold 1")
        << std::vector<int> {255, 255, 255, 0, 255, 255, 255, 255} << 1;
    QTest::newRow("two rows") << std::vector<int> {255, 0} << 4;
    QTest::newRow("one row") << std::vector<int> {0} << 4;
}

void TestBandScan::nothingFoundWhenTooSmall()
{
    QFETCH(std::vector<int>, brightness);
    QFETCH(int, widthThreshold);
    const PlaneBuffer<Argb> photo = columnPhoto(brightness, {}, 50);
    QVERIFY(scanBands(photo.view(), widthThreshold).bands.empty());
    QVERIFY(scanBands(computeDetectionPlanes(photo.view()), widthThreshold).bands.empty());
}

void TestBandScan::bandsStayInsideAndApart_data()
{
    QTest::addColumn<int>("widthThreshold");
    for (const int t : {2, 3, 4, 8, 16, 17, 30, 99, 1000})
        QTest::newRow(qPrintable(QStringLiteral("T %1").arg(t))) << t;
}

// On generated photos: bands of 1 to T - 1 rows, never on rows 0, 1 or H - 1, never touching
// in a column; the same from the photo and from precomputed planes, and as the reference.
void TestBandScan::bandsStayInsideAndApart()
{
    QFETCH(int, widthThreshold);
    for (int seed = 0; seed < 12; ++seed) {
        const int width = seed % 3 == 0 ? 1100 : 200;
        const int height = seed % 3 == 0 ? 60 : 150;
        const PlaneBuffer<Argb> photo = wirePhoto(seed * 31 + widthThreshold, width, height);
        const CandidateMask candidates = scanBands(photo.view(), widthThreshold);
        for (int x = 0; x < width; ++x) {
            int nextFree = 2;
            for (const ColumnRun &band : candidates.column(x)) {
                QCOMPARE(band.x, x);
                QVERIFY(band.length >= 1 && band.length <= widthThreshold - 1);
                QVERIFY(band.y >= nextFree);
                QVERIFY(band.y + band.length - 1 <= height - 2);
                nextFree = band.y + band.length + 1;
            }
        }
        const CandidateMask fromPlanes
            = scanBands(computeDetectionPlanes(photo.view()), widthThreshold);
        QVERIFY(fromPlanes.bands == candidates.bands);
        QVERIFY(fromPlanes.columnStart == candidates.columnStart);
        PlaneBuffer<std::uint8_t> mask(width, height);
        paintCandidates(candidates, mask.view());
        QVERIFY(toVector(mask.view()) == reference::candidateMask(photo.view(), widthThreshold));
    }
}

QTEST_APPLESS_MAIN(TestBandScan)
#include "tst_bandscan.moc"
