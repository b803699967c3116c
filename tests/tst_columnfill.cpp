#include <algorithm>
#include <random>
#include <vector>

#include <QTest>

#include "columnfillreference.h"
#include "columnfillstages.h"
#include "datatable.h"
#include "removal/columnfill.h"

using namespace tolvane;

namespace {

// A photo and a mask with columns of every kind: clean, fully marked, runs of every length from
// 1 to 70 (mostly short), runs on the top and bottom rows, runs one clean row apart. Mask pixels
// carry any colour bits and marks any alpha, since only a non-zero alpha counts. The image lies
// in the first `width` entries of rows width + 3 long; the three columns after it are fully
// marked and hold photo value 2: handled as columns of their own they change nothing, and code
// that ignores the stride trips over them.
std::pair<std::vector<Argb>, std::vector<Argb>> randomCase(int width, int height, unsigned seed)
{
    std::mt19937 rng(seed);
    auto uniform = [&](int low, int high) { return std::uniform_int_distribution(low, high)(rng); };
    std::vector<Argb> photo, mask;
    for (int i = 0; i < (width + 3) * height; ++i) {
        const bool gap = i % (width + 3) >= width;
        photo.push_back(gap ? 2u : Argb(rng()));
        mask.push_back(Argb(uniform(0, 0xFFFFFF)) | (gap ? detectionMark : 0u));
    }
    for (int x = 0; x < width; ++x) {
        const int kind = uniform(0, 19);
        const int end = kind == 9 ? height - uniform(1, 30) : kind < 4 ? 0 : height;
        for (int y = kind < 9 ? 0 : uniform(0, 12); y < end;) {
            const int length = kind == 4 ? end : uniform(0, 2) ? uniform(1, 6) : uniform(1, 70);
            for (int r = y; r < std::min(y + length, end); ++r)
                mask[std::size_t(r) * (width + 3) + x] |= Argb(uniform(1, 255)) << 24;
            y += length + (uniform(0, 2) == 0 ? 1 : uniform(1, 25));
        }
    }
    return {photo, mask};
}

// An ARGB pixel as the image library holds it at 16 bits per channel (RGBA64).
Rgba64 widenedPixel(Argb p)
{
    auto channel = [p](int shift) { return Rgba64((p >> shift) & 0xFF) * 257; };
    return channel(16) | channel(8) << 16 | channel(0) << 32 | channel(24) << 48;
}

} // namespace

class ColumnFillTest : public QObject
{
    Q_OBJECT

private slots:
    void matchesReference_data()
    {
        addColumns<int, int>(); // width, height
        // 1100x1000 is over a megapixel: clearWires shares the work between both cores.
        for (auto [width, height] : {std::pair(0, 0), {0, 5}, {5, 0}, {1, 1}, {1, 90}, {90, 1},
                 {3, 2}, {7, 40}, {33, 17}, {120, 90}, {60, 300}, {1100, 1000}})
            QTest::addRow("%dx%d", width, height) << width << height;
    }

    void matchesReference()
    {
        const auto [width, height] = fetchRow<int, int>();
        auto plane
            = [w = width, h = height](auto &pixels) { return Plane(pixels.data(), w, h, w + 3); };
        for (int seed = 0; seed < (width * height > 100000 ? 1 : 30); ++seed) {
            const auto [photo, mask] = randomCase(width, height, seed * 1000 + width + height);
            for (int wirePadding : {0, 1, 3, 10, seed % 25}) {
                std::vector<Argb> widened = mask;
                reference::widen(widened, width + 3, height, wirePadding);
                std::vector<Argb> expected = photo;
                reference::fill(photo, widened, width + 3, height, expected);
                std::vector<Argb> result(photo.size(), 2u); // every pixel is written
                clearWires(plane(photo), plane(mask), wirePadding, plane(result));
                QCOMPARE(result, expected);

                // 16 bits per channel: each 8-bit channel c held as c * 257, as the image
                // library widens it, fills the same pixels.
                std::vector<Rgba64> deep(photo.size());
                std::transform(photo.begin(), photo.end(), deep.begin(), widenedPixel);
                std::vector<Rgba64> deepResult(photo.size(), widenedPixel(2u));
                clearWires(plane(deep), plane(mask), wirePadding, plane(deepResult));
                QVERIFY(std::ranges::equal(deepResult, expected, {}, {}, widenedPixel));

                std::vector<std::uint8_t> flags(mask.size());
                std::transform(mask.begin(), mask.end(), flags.begin(), isMarked);
                widenMarks(plane(flags), wirePadding);
                QVERIFY(std::ranges::equal(flags, widened, {}, {}, isMarked));
                result = photo;
                fillMarkedRuns(plane(photo), plane(flags), plane(result));
                QCOMPARE(result, expected);
            }
        }
    }
};

QTEST_APPLESS_MAIN(ColumnFillTest)

#include "tst_columnfill.moc"
