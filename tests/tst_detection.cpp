#include <algorithm>

#include <QTest>

#include "detectiontestimages.h"
#include "reference_detection.h"
#include "selection/detection.h"
#include "selection/workers.h"

using namespace tolvane;

namespace {

constexpr Argb black = 0xFF000000u;
constexpr Argb garbage = 0x12345678u;

using Rows = std::vector<int>;
using Bands = std::vector<std::pair<int, int>>; // first row and length, top to bottom

// A line on a white photo, from column 5: `columns` long, `thickness` rows thick from firstRow
// on in its first column and `drop` rows lower in each next one.
struct Line
{
    int columns, firstRow, thickness, T, L;
    int drop = 0;
};

// paintTraces on a view into a wider buffer of garbage: the view's pixels, or nothing unless
// exactly those were written.
std::vector<Argb> painted(const std::vector<WireTrace> &traces, int width, int height)
{
    std::vector<Argb> buffer(std::size_t(width + 1) * height, garbage);
    paintTraces(traces, Plane<Argb>(buffer.data(), width, height, width + 1));
    return std::erase(buffer, garbage) == std::size_t(height) ? buffer : std::vector<Argb>();
}

} // namespace

class TestDetection : public QObject
{
    Q_OBJECT

private slots:
    void bandScanRules_data()
    {
        QTest::addColumn<Rows>("brightness");
        QTest::addColumn<Rows>("minimum");
        QTest::addColumn<int>("T");
        QTest::addColumn<Bands>("expected");
        // Rows 1 and 2 both drop by 50: row 1 is a peak despite the tie, the lower edge is row 4
        // (n = 3), and the upper edge moves down to row 2, the lower of the tied rows.
        const Rows tied {255, 255, 205, 155, 155, 255, 255, 255, 255};
        QTest::newRow("tied drops: peak passes, lower row is the upper edge")
            << tied << Rows {255, 255, 100, 100, 100, 255, 255, 255, 255} << 4 << Bands {{3, 2}};
        // Band mean (150 + 150) / n = 100 with n = 3, darker than the rows above (110); divided
        // by its 2 rows it would be 150.
        QTest::newRow("band mean divided by n")
            << tied << Rows {110, 110, 100, 150, 150, 255, 255, 255, 255} << 4 << Bands {{3, 2}};
        // Equal rises 1 and 3 rows below row 1: the nearer one ends the band.
        const Rows rises {255, 255, 0, 200, 0, 200, 200, 200, 200};
        QTest::newRow("nearest rise wins") << rises << rises << 5 << Bands {{2, 1}};
        // Row 1's band ends at row 4 and is rejected (row 0 is darker); rows 2 to 4 are not
        // tested, though row 3 would give an accepted band.
        QTest::newRow("scan resumes below the lower edge")
            << Rows {255, 255, 100, 120, 0, 255, 255, 255, 255}
            << Rows {10, 255, 100, 120, 0, 255, 255, 255, 255} << 4 << Bands {};
        // A band of row 4 alone, between the rows 2 and 5 that make its neighbour means.
        const Rows darkRow {255, 255, 255, 255, 150, 255, 255, 255, 255};
        QTest::newRow("darker than both neighbours")
            << darkRow << Rows {255, 255, 101, 255, 100, 101, 255, 255, 255} << 4 << Bands {{4, 1}};
        QTest::newRow("equal to the mean above")
            << darkRow << Rows {255, 255, 100, 255, 100, 101, 255, 255, 255} << 4 << Bands {};
        QTest::newRow("equal to the mean below")
            << darkRow << Rows {255, 255, 101, 255, 100, 100, 255, 255, 255} << 4 << Bands {};
        // Two-row bands whose neighbour means are cut short by the photo's edges: one row each.
        QTest::newRow("mean above clipped at row 0")
            << Rows {255, 255, 20, 20, 255, 255, 255} << Rows {21, 255, 20, 20, 255, 255, 255} << 4
            << Bands {{2, 2}};
        QTest::newRow("mean below clipped at the last row")
            << Rows {255, 255, 255, 255, 20, 20, 255} << Rows {255, 255, 255, 255, 20, 20, 21} << 4
            << Bands {{4, 2}};
        const Rows pale {255, 255, 255, 200, 200, 255, 255, 255, 255};
        QTest::newRow("first dark row's minimum 179")
            << pale << Rows {255, 255, 255, 179, 179, 255, 255, 255, 255} << 4 << Bands {{3, 2}};
        QTest::newRow("first dark row's minimum 180")
            << pale << Rows {255, 255, 255, 180, 179, 255, 255, 255, 255} << 4 << Bands {};
    }

    // The column alone, scanned a column at a time, and 40 copies of it with 8 more copies of
    // its first and last rows, scanned in vectors; from the photo, from the planes and by the
    // reference.
    void bandScanRules()
    {
        QFETCH(Rows, brightness);
        QFETCH(Rows, minimum);
        QFETCH(int, T);
        QFETCH(Bands, expected);
        for (const int padding : {0, 8}) {
            const int columns = padding ? 40 : 1;
            PlaneBuffer<Argb> photo(columns, int(brightness.size()) + 2 * padding);
            for (int y = 0; y < photo.height(); ++y) {
                const int r = std::clamp(y - padding, 0, int(brightness.size()) - 1);
                std::fill_n(photo.view().rowData(y), columns,
                    0xFF000000u | Argb(brightness[r]) << 16 | Argb(minimum[r]) * 0x101);
            }
            std::vector<ColumnRun> bands;
            for (int x = 0; x < columns; ++x) {
                for (const auto &[y, length] : expected)
                    bands.push_back({x, y + padding, length});
            }
            std::vector<std::uint8_t> mask = reference::candidateMask(photo.view(), T);
            for (const CandidateMask &candidates :
                {scanBands(photo.view(), T), scanBands(computeDetectionPlanes(photo.view()), T),
                    candidatesFromPlane(
                        Plane<const std::uint8_t>(std::span(mask), columns, photo.height()))})
                QVERIFY(candidates.bands == bands);
        }
    }

    void linesOnWhite_data()
    {
        QTest::addColumn<Line>("line");
        QTest::addColumn<bool>("found");
        // Found when longer than L columns, also beyond 255 columns within one tile of columns
        // and across tiles.
        for (const auto &[columns, L] :
            {std::pair(30, 30), {31, 30}, {300, 300}, {301, 300}, {999, 999}, {1000, 999}}) {
            QTest::addRow("%d columns, L %d %s", columns, L, columns > L ? "found" : "missed")
                << Line {columns, 10, 2, 4, L} << (columns > L);
        }
        // Found when thinner than T rows.
        for (auto [T, rows] : {std::pair(4, 1), {4, 3}, {4, 4}, {5, 4}, {2, 1}, {2, 2}, {1, 1}}) {
            QTest::addRow("T %d, %d rows %s", T, rows, rows < T ? "found" : "missed")
                << Line {40, 10, rows, T, 30} << (rows < T);
        }
        QTest::newRow("rows 0-1 missed") << Line {40, 0, 2, 4, 30} << false;
        QTest::newRow("rows 1-2 missed") << Line {40, 1, 2, 4, 30} << false;
        QTest::newRow("rows 2-3 found") << Line {40, 2, 2, 4, 30} << true;
        QTest::newRow("ending on row H-2 found") << Line {40, 17, 2, 4, 30} << true;
        QTest::newRow("ending on row H-1 missed") << Line {40, 18, 2, 4, 30} << false;
        // One pixel wide: it covers `drop` rows of each column and continues at a corner.
        QTest::newRow("slope 1 found") << Line {60, 4, 1, 4, 30, 1} << true;
        QTest::newRow("slope 2 found") << Line {60, 4, 2, 4, 30, 2} << true;
        QTest::newRow("slope 3 found") << Line {60, 4, 3, 4, 30, 3} << true;
        QTest::newRow("slope 4 missed") << Line {60, 4, 4, 4, 30, 4} << false;
    }

    // On a photo 20 rows high for a horizontal line: exactly the line's pixels, as one trace,
    // or nothing.
    void linesOnWhite()
    {
        QFETCH(Line, line);
        QFETCH(bool, found);
        const int width = line.columns + 10, height = 20 + line.columns * line.drop;
        PlaneBuffer<Argb> photo(width, height);
        std::fill_n(photo.data(), photo.pixelCount(), 0xFFFFFFFFu);
        std::vector<Argb> expected(photo.pixelCount(), 0);
        for (int i = 0; i < line.columns; ++i) {
            for (int y = line.firstRow + i * line.drop;
                 y < line.firstRow + i * line.drop + line.thickness; ++y) {
                photo.view().at(5 + i, y) = black;
                expected[y * width + 5 + i] = found ? detectionMark : 0;
            }
        }
        const std::vector<WireTrace> traces = detectWires(photo.view(), line.T, line.L);
        QCOMPARE(traces.size(), std::size_t(found));
        QVERIFY(painted(traces, width, height) == expected);
    }

    void agreesWithReference_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("photos");
        QTest::newRow("0x0") << 0 << 0 << 1;
        QTest::newRow("one row") << 20 << 1 << 2;
        QTest::newRow("two rows") << 40 << 2 << 2;
        QTest::newRow("three rows") << 60 << 3 << 10;
        QTest::newRow("one column") << 1 << 40 << 10;
        QTest::newRow("7x9") << 7 << 9 << 30;
        QTest::newRow("200x150") << 200 << 150 << 40;
        // Several tiles of columns, wires and noise crossing their edges.
        QTest::newRow("1100x60") << 1100 << 60 << 20;
        // Enough pixels to share the work between threads.
        QTest::newRow("1100x300") << 1100 << 300 << 4;
    }

    // Every stage, with the order of its results, on photos seen through views into wider
    // buffers.
    void agreesWithReference()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, photos);
        for (int seed = 0; seed < photos; ++seed) {
            std::vector<Argb> buffer(std::size_t(width + 3) * height, black);
            const Plane<Argb> photo(buffer.data(), width, height, width + 3);
            test::drawWirePhoto(seed * 7919 + width, photo);
            for (const int T : {1, 2, 3, 4, 5, 12, 16, 17}) {
                const QByteArray where = QString::asprintf("seed %d, T %d", seed, T).toLatin1();
                const auto expectedMask = reference::candidateMask(photo, T);
                const CandidateMask candidates = scanBands(photo, T);
                QVERIFY(scanBands(computeDetectionPlanes(photo), T).bands == candidates.bands);
                PlaneBuffer<std::uint8_t> mask(width, height);
                paintCandidates(candidates, mask.view());
                QVERIFY2(std::equal(expectedMask.begin(), expectedMask.end(), mask.data()), where);
                // Bands 1 to T - 1 rows thick, never on rows 0, 1 or H - 1.
                for (const ColumnRun &band : candidates.bands)
                    QVERIFY(band.length < T && band.y >= 2 && band.y + band.length <= height - 1);
                const auto components = reference::findComponents(expectedMask, width, height);
                QVERIFY2(findComponents(candidates) == components, where);
                for (const int L : {1, 5, 30}) {
                    const auto expected = reference::buildTraces(components, width, L);
                    QVERIFY2(buildTraces(components, width, L) == expected, where);
                    QVERIFY2(traceCandidates(candidates, L) == expected, where);
                    const std::vector<WireTrace> traces = detectWires(photo, T, L);
                    QVERIFY2(traces == expected, where);
                    QVERIFY(painted(traces, width, height)
                        == reference::paintedMask(expected, width, height));
                }
            }
        }
    }

    // An allocation that fails on a helper thread reaches the caller, after every thread has
    // stopped, instead of ending the program.
    void helperExceptionReachesCaller()
    {
        const std::thread::id caller = std::this_thread::get_id();
        bool thrown = false;
        try {
            runOnThreads(2, [caller] {
                if (std::this_thread::get_id() != caller)
                    throw std::bad_alloc();
            });
        } catch (const std::bad_alloc &) {
            thrown = true;
        }
        QVERIFY(thrown);
    }
};

QTEST_APPLESS_MAIN(TestDetection)
#include "tst_detection.moc"
