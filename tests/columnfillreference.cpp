#include "columnfillreference.h"

#include <cassert>

namespace reference {

namespace {

bool marked(Argb pixel)
{
    return pixel >= 0x1000000u;
}

} // namespace

void widen(std::vector<Argb> &mask, int width, int height, int wirePadding)
{
    auto paint = [&](int x, int row) {
        if (row >= 0 && row <= height - 1)
            mask[row * width + x] = 0x96FF0000u;
    };
    for (int x = 0; x < width; ++x) {
        bool inRun = false;
        int length = 0;
        int y = 0;
        while (y < height) {
            const bool isMarked = marked(mask[y * width + x]);
            if (!inRun && !isMarked) {
                ++y;
                continue;
            }
            if (isMarked) {
                inRun = true;
                ++length;
                if (y != height - 1) {
                    ++y;
                    continue;
                }
            }
            // A run end at y: clean when y is unmarked, bottom when it is the marked last row.
            const int n = wirePadding - length / 2 + 4;
            for (int i = 0; i < n; ++i) {
                paint(x, y + i);
                paint(x, y - length - i);
            }
            inRun = false;
            length = 0;
            y = y + n + 2;
        }
    }
}

void fill(const std::vector<Argb> &photo, const std::vector<Argb> &widened, int width, int height,
    std::vector<Argb> &result)
{
    for (int x = 0; x < width; ++x) {
        auto unmarked = [&](int row) { return !marked(widened[row * width + x]); };
        bool inRun = false;
        int length = 0;
        int y = 0;
        while (y < height) {
            const bool isMarked = !unmarked(y);
            if (!inRun && !isMarked) {
                ++y;
                continue;
            }
            if (isMarked) {
                inRun = true;
                ++length;
                if (y != height - 1) {
                    ++y;
                    continue;
                }
            }
            const int s = y - length;
            const int mid = y - length / 2;
            for (int c = s; c <= y; ++c) {
                int source = -1;
                if (c < mid) {
                    const int m = 2 * s - c - 1;
                    if (m >= 0 && unmarked(m)) {
                        source = m;
                    } else {
                        for (int r = m; r >= 1 && source < 0; --r) {
                            if (unmarked(r))
                                source = r;
                        }
                        for (int r = y; r <= height - 1 && source < 0; ++r) {
                            if (unmarked(r))
                                source = r;
                        }
                    }
                } else {
                    const int m = 2 * y - c;
                    if (m <= height - 1 && unmarked(m)) {
                        source = m;
                    } else {
                        for (int r = y; r <= height - 1 && source < 0; ++r) {
                            if (unmarked(r))
                                source = r;
                        }
                        for (int r = s; r >= 1 && source < 0; --r) {
                            if (unmarked(r))
                                source = r;
                        }
                    }
                }
                if (source >= 0) {
                    assert(c >= 0);
                    result[c * width + x] = photo[source * width + x];
                }
            }
            inRun = false;
            length = 0;
            y = y + 1;
        }
    }
}

std::vector<Argb> clearWires(const std::vector<Argb> &photo, const std::vector<Argb> &mask,
    int width, int height, int wirePadding)
{
    std::vector<Argb> widened = mask;
    std::vector<Argb> result = photo;
    widen(widened, width, height, wirePadding);
    fill(photo, widened, width, height, result);
    return result;
}

} // namespace reference
