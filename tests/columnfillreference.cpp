#include "columnfillreference.h"

namespace reference {

namespace {

bool marked(Argb pixel)
{
    return pixel >= 0x1000000u;
}

// The run scan of column x from row 0. At each run end, row y and length L, handleRun(y, L)
// deals with the run and returns the row at which the scan goes on. The mask is read afresh at
// every row, so paint that handleRun puts into it is seen by the rest of the scan.
template <typename HandleRun>
void scanColumn(const std::vector<Argb> &mask, int width, int height, int x, HandleRun handleRun)
{
    bool inRun = false;
    int length = 0;
    int y = 0;
    while (y < height) {
        const bool isMarked = marked(mask[y * width + x]);
        if (!inRun && !isMarked) {
            y = y + 1;
            continue;
        }
        if (isMarked) {
            inRun = true;
            length = length + 1;
            if (y != height - 1) {
                y = y + 1;
                continue;
            }
        }
        // A clean end when row y is unmarked, a bottom end when it is the marked last row.
        const int next = handleRun(y, length);
        inRun = false;
        length = 0;
        y = next;
    }
}

} // namespace

void widen(std::vector<Argb> &mask, int width, int height, int wirePadding)
{
    for (int x = 0; x < width; ++x) {
        scanColumn(mask, width, height, x, [&](int y, int length) {
            const int n = wirePadding - length / 2 + 4;
            for (int i = 0; i < n; ++i) {
                for (const int row : {y + i, y - length - i}) {
                    if (row >= 0 && row <= height - 1)
                        mask[row * width + x] = 0x96FF0000u;
                }
            }
            return y + n + 2;
        });
    }
}

void fill(const std::vector<Argb> &photo, const std::vector<Argb> &widened, int width, int height,
    std::vector<Argb> &result)
{
    for (int x = 0; x < width; ++x) {
        auto unmarked = [&](int row) { return !marked(widened[row * width + x]); };
        // The first unmarked row going up from `from` to row 1, or down from `from` to the last
        // row; -1 when there is none.
        auto searchUp = [&](int from) {
            for (int r = from; r >= 1; --r) {
                if (unmarked(r))
                    return r;
            }
            return -1;
        };
        auto searchDown = [&](int from) {
            for (int r = from; r <= height - 1; ++r) {
                if (unmarked(r))
                    return r;
            }
            return -1;
        };
        scanColumn(widened, width, height, x, [&](int y, int length) {
            const int s = y - length;
            const int mid = y - length / 2;
            for (int c = s; c <= y; ++c) {
                int source = -1;
                if (c < mid) {
                    const int m = 2 * s - c - 1;
                    if (m >= 0 && unmarked(m))
                        source = m;
                    else
                        source = searchUp(m);
                    if (source < 0)
                        source = searchDown(y);
                } else {
                    const int m = 2 * y - c;
                    if (m <= height - 1 && unmarked(m))
                        source = m;
                    else
                        source = searchDown(y);
                    if (source < 0)
                        source = searchUp(s);
                }
                if (source >= 0)
                    result[c * width + x] = photo[source * width + x];
            }
            return y + 1;
        });
    }
}

} // namespace reference
