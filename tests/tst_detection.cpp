#include <QTest>
#include <algorithm>

#include "detectiontestimages.h"
#include "reference_detection.h"
#include "selection/detection.h"

using namespace tolvane;
using namespace tolvane::test;

namespace {

constexpr Argb garbage = 0x12345678u;

std::vector<Argb> detectedMask(Plane<const Argb> photo, int widthThreshold, int lengthThreshold)
{
    const std::vector<WireTrace> traces = detectWires(photo, widthThreshold, lengthThreshold);
    PlaneBuffer<Argb> mask(photo.width, photo.height);
    std::fill_n(mask.data(), mask.pixelCount(), garbage);
    paintTraces(traces, mask.view());
    return toVector(mask.view());
}

int markedCount(const std::vector<Argb> &mask)
{
    return int(std::count(mask.begin(), mask.end(), detectionMark));
}

bool onlyMarkOrZero(const std::vector<Argb> &mask)
{
    return std::all_of(
        mask.begin(), mask.end(), [](Argb p) { return p == 0 || p == detectionMark; });
}

} // namespace

class TestDetection : public QObject
{
    Q_OBJECT

private slots:
    void horizontalLineMarksExactlyItsPixels();
    void lineLength_data();
    void lineLength();
    void lineThickness_data();
    void lineThickness();
    void linePosition_data();
    void linePosition();
    void paleness_data();
    void paleness();
    void slope_data();
    void slope();
    void longLines_data();
    void longLines();
    void paddedRowsAreIgnored();
    void emptyPhotosFindNothing_data();
    void emptyPhotosFindNothing();
    void stagesAgreeWithReference_data();
    void stagesAgreeWithReference();
};

void TestDetection::horizontalLineMarksExactlyItsPixels()
{
    PlaneBuffer<Argb> photo = whitePhoto(60, 25);
    fillBlock(photo.view(), 10, 49, 10, 11, 0xFF000000u);
    const std::vector<Argb> mask = detectedMask(photo.view(), 4, 30);
    for (int y = 0; y < 25; ++y) {
        for (int x = 0; x < 60; ++x) {
            const bool onLine = x >= 10 && x <= 49 && (y == 10 || y == 11);
            QCOMPARE(mask[y * 60 + x], onLine ? detectionMark : Argb(0));
        }
    }
}

void TestDetection::lineLength_data()
{
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("marked");
    QTest::newRow("30 columns drop") << 30 << 0;
    QTest::newRow("31 columns keep") << 31 << 62;
}

void TestDetection::lineLength()
{
    QFETCH(int, columns);
    QFETCH(int, marked);
    PlaneBuffer<Argb> photo = whitePhoto(50, 25);
    fillBlock(photo.view(), 5, 5 + columns - 1, 10, 11, 0xFF000000u);
    QCOMPARE(markedCount(detectedMask(photo.view(), 4, 30)), marked);
}

void TestDetection::lineThickness_data()
{
    QTest::addColumn<int>("widthThreshold");
    QTest::addColumn<int>("thickness");
    QTest::addColumn<bool>("found");
    QTest::newRow("T 4, 1 row found") << 4 << 1 << true;
    QTest::newRow("T 4, 2 rows found") << 4 << 2 << true;
    QTest::newRow("T 4, 3 rows found") << 4 << 3 << true;
    QTest::newRow("T 4, 4 rows missed") << 4 << 4 << false;
    QTest::newRow("T 5, 4 rows found") << 5 << 4 << true;
    QTest::newRow("T 2, 1 row found") << 2 << 1 << true;
    QTest::newRow("T 2, 2 rows missed") << 2 << 2 << false;
    QTest::newRow("T 1, 1 row missed") << 1 << 1 << false;
}

void TestDetection::lineThickness()
{
    QFETCH(int, widthThreshold);
    QFETCH(int, thickness);
    QFETCH(bool, found);
    PlaneBuffer<Argb> photo = whitePhoto(50, 30);
    fillBlock(photo.view(), 5, 44, 10, 10 + thickness - 1, 0xFF000000u);
    QCOMPARE(
        markedCount(detectedMask(photo.view(), widthThreshold, 30)), found ? 40 * thickness : 0);
}

void TestDetection::linePosition_data()
{
    QTest::addColumn<int>("firstRow");
    QTest::addColumn<bool>("found");
    const int H = 20;
    QTest::newRow("rows 0-1 missed") << 0 << false;
    QTest::newRow("rows 1-2 missed") << 1 << false;
    QTest::newRow("rows 2-3 found") << 2 << true;
    QTest::newRow("ending on row H-2 found") << H - 3 << true;
    QTest::newRow("ending on row H-1 missed") << H - 2 << false;
}

void TestDetection::linePosition()
{
    QFETCH(int, firstRow);
    QFETCH(bool, found);
    PlaneBuffer<Argb> photo = whitePhoto(50, 20);
    fillBlock(photo.view(), 5, 44, firstRow, firstRow + 1, 0xFF000000u);
    QCOMPARE(markedCount(detectedMask(photo.view(), 4, 30)), found ? 80 : 0);
}

void TestDetection::paleness_data()
{
    QTest::addColumn<Argb>("colour");
    QTest::addColumn<bool>("found");
    QTest::newRow("darkest channel 179 found") << Argb(0xFFB3B3B3u) << true;
    QTest::newRow("darkest channel 180 missed") << Argb(0xFFB4B4B4u) << false;
    QTest::newRow("tinted, darkest channel 179 found") << Argb(0xFFC8B3C8u) << true;
    QTest::newRow("tinted, darkest channel 180 missed") << Argb(0xFFC8B4C8u) << false;
    QTest::newRow("light grey missed") << Argb(0xFFC8C8C8u) << false;
}

void TestDetection::paleness()
{
    QFETCH(Argb, colour);
    QFETCH(bool, found);
    PlaneBuffer<Argb> photo = whitePhoto(50, 20);
    fillBlock(photo.view(), 5, 44, 8, 9, colour);
    QCOMPARE(markedCount(detectedMask(photo.view(), 4, 30)), found ? 80 : 0);
}

void TestDetection::slope_data()
{
    QTest::addColumn<int>("drop");
    QTest::addColumn<int>("marked");
    QTest::newRow("1 row per column found") << 1 << 60;
    QTest::newRow("2 rows per column found") << 2 << 120;
    QTest::newRow("3 rows per column found") << 3 << 180;
    QTest::newRow("4 rows per column missed") << 4 << 0;
}

// A one-pixel line crossing 60 columns; in each column it covers `drop` rows, so that it
// continues at a corner in the next column.
void TestDetection::slope()
{
    QFETCH(int, drop);
    QFETCH(int, marked);
    PlaneBuffer<Argb> photo = whitePhoto(70, 60 * drop + 10);
    for (int i = 0; i < 60; ++i)
        fillBlock(photo.view(), 5 + i, 5 + i, 4 + i * drop, 4 + i * drop + drop - 1, 0xFF000000u);
    const std::vector<WireTrace> traces = detectWires(photo.view(), 4, 30);
    QCOMPARE(traces.size(), std::size_t(marked ? 1 : 0));
    QCOMPARE(markedCount(detectedMask(photo.view(), 4, 30)), marked);
}

void TestDetection::longLines_data()
{
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("lengthThreshold");
    QTest::addColumn<bool>("kept");
    QTest::newRow("301 columns, L 300 keeps") << 301 << 300 << true;
    QTest::newRow("300 columns, L 300 drops") << 300 << 300 << false;
    QTest::newRow("1000 columns, L 999 keeps") << 1000 << 999 << true;
    QTest::newRow("999 columns, L 999 drops") << 999 << 999 << false;
}

// Lines crossing several tiles of columns, traced against length thresholds beyond 255.
void TestDetection::longLines()
{
    QFETCH(int, columns);
    QFETCH(int, lengthThreshold);
    QFETCH(bool, kept);
    PlaneBuffer<Argb> photo = whitePhoto(1100, 30);
    fillBlock(photo.view(), 50, 50 + columns - 1, 10, 11, 0xFF000000u);
    fillBlock(photo.view(), 40, 1080, 20, 20, 0xFF303030u);
    const std::vector<WireTrace> traces = detectWires(photo.view(), 4, lengthThreshold);
    QCOMPARE(traces.size(), std::size_t(kept ? 2 : 1));
    QVERIFY(traces == reference::detectWires(photo.view(), 4, lengthThreshold));
}

// Views into wider buffers: only the view's own columns are read and written.
void TestDetection::paddedRowsAreIgnored()
{
    const PlaneBuffer<Argb> photo = wirePhoto(77, 600, 120);
    const int stride = 637;
    std::vector<Argb> wide(std::size_t(stride) * 120, 0xFF000000u);
    for (int y = 0; y < 120; ++y)
        std::copy_n(photo.view().rowData(y), 600, wide.data() + std::size_t(y) * stride);
    const Plane<const Argb> view(wide.data(), 600, 120, stride);
    const std::vector<WireTrace> traces = detectWires(view, 4, 5);
    QVERIFY(!traces.empty());
    QVERIFY(traces == reference::detectWires(photo.view(), 4, 5));

    std::vector<Argb> mask(std::size_t(stride) * 120, garbage);
    paintTraces(traces, Plane<Argb>(mask.data(), 600, 120, stride));
    const std::vector<Argb> expected = reference::paintedMask(traces, 600, 120);
    for (int y = 0; y < 120; ++y) {
        for (int x = 0; x < stride; ++x)
            QCOMPARE(mask[std::size_t(y) * stride + x], x < 600 ? expected[y * 600 + x] : garbage);
    }
}

void TestDetection::emptyPhotosFindNothing_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("0x0") << 0 << 0;
    QTest::newRow("0x20") << 0 << 20;
    QTest::newRow("20x0") << 20 << 0;
    QTest::newRow("40x2") << 40 << 2;
}

void TestDetection::emptyPhotosFindNothing()
{
    QFETCH(int, width);
    QFETCH(int, height);
    PlaneBuffer<Argb> photo(width, height);
    std::fill_n(photo.data(), photo.pixelCount(), 0xFF000000u);
    for (int x = 0; x < width; x += 2) {
        for (int y = 0; y < height; ++y)
            photo.view().at(x, y) = 0xFFFFFFFFu;
    }
    const DetectionPlanes planes = computeDetectionPlanes(photo.view());
    const CandidateMask candidates = scanBands(planes, 4);
    QVERIFY(candidates.bands.empty());
    QCOMPARE(candidates.columnStart.size(), std::size_t(width + 1));
    QVERIFY(findComponents(candidates).empty());
    QVERIFY(detectWires(photo.view(), 4, 1).empty());
    const std::vector<Argb> mask = detectedMask(photo.view(), 4, 1);
    QVERIFY(std::all_of(mask.begin(), mask.end(), [](Argb p) { return p == 0; }));
}

void TestDetection::stagesAgreeWithReference_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("photos");
    QTest::newRow("200x150") << 200 << 150 << 60;
    QTest::newRow("narrow and short") << 7 << 9 << 40;
    QTest::newRow("one column") << 1 << 40 << 20;
    QTest::newRow("three rows") << 60 << 3 << 20;
    // Several column tiles, wires and noise crossing their edges.
    QTest::newRow("1100x60") << 1100 << 60 << 30;
    // Enough pixels for the work to be shared between threads.
    QTest::newRow("1100x300") << 1100 << 300 << 4;
}

// Every stage, the all-in-one path and the painting against the reference, with the result
// order included.
void TestDetection::stagesAgreeWithReference()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, photos);
    for (int seed = 0; seed < photos; ++seed) {
        const PlaneBuffer<Argb> photo = wirePhoto(seed * 7919 + width, width, height);
        const DetectionPlanes planes = computeDetectionPlanes(photo.view());
        for (const int widthThreshold : {1, 2, 3, 4, 5, 12, 16, 17}) {
            const std::vector<std::uint8_t> expectedMask
                = reference::candidateMask(photo.view(), widthThreshold);
            const CandidateMask candidates = scanBands(planes, widthThreshold);
            PlaneBuffer<std::uint8_t> mask(width, height);
            paintCandidates(candidates, mask.view());
            QVERIFY2(toVector(mask.view()) == expectedMask, qPrintable(QString::number(seed)));
            const CandidateMask streamed = scanBands(photo.view(), widthThreshold);
            QVERIFY(streamed.bands == candidates.bands);
            QVERIFY(streamed.columnStart == candidates.columnStart);

            const std::vector<Component> expectedComponents
                = reference::findComponents(expectedMask, width, height);
            const std::vector<Component> components = findComponents(candidates);
            QVERIFY(components == expectedComponents);

            for (const int lengthThreshold : {1, 5, 30}) {
                const std::vector<WireTrace> expected
                    = reference::buildTraces(expectedComponents, width, lengthThreshold);
                QVERIFY(buildTraces(components, width, lengthThreshold) == expected);
                QVERIFY(traceCandidates(candidates, lengthThreshold) == expected);
                QVERIFY(detectWires(photo.view(), widthThreshold, lengthThreshold) == expected);
                const std::vector<Argb> painted
                    = detectedMask(photo.view(), widthThreshold, lengthThreshold);
                QVERIFY(onlyMarkOrZero(painted));
                QVERIFY(painted == reference::paintedMask(expected, width, height));
            }
        }
    }
}

QTEST_APPLESS_MAIN(TestDetection)
#include "tst_detection.moc"
