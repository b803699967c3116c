#include "reference_detection.h"

#include <algorithm>
#include <cmath>

namespace tolvane::reference {

namespace {

struct Box
{
    int minX, maxX, minY, maxY;
};

Box boxOf(const Component &component, int W)
{
    Box box {W, -1, component.front() / W, -1};
    for (int p : component) {
        box.minX = std::min(box.minX, p % W);
        box.maxX = std::max(box.maxX, p % W);
        box.minY = std::min(box.minY, p / W);
        box.maxY = std::max(box.maxY, p / W);
    }
    return box;
}

} // namespace

std::vector<std::uint8_t> candidateMask(Plane<const Argb> photo, int widthThreshold)
{
    const int W = photo.width, H = photo.height, T = widthThreshold;
    std::vector<int> V(std::size_t(W) * H), M(std::size_t(W) * H), D(std::size_t(W) * H, 0);
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const Argb p = photo.at(x, y);
            const int red = p >> 16 & 0xFF, green = p >> 8 & 0xFF, blue = p & 0xFF;
            V[y * W + x] = std::max({red, green, blue});
            M[y * W + x] = std::min({red, green, blue});
        }
    }
    for (int y = 0; y <= H - 2; ++y) {
        for (int x = 0; x < W; ++x)
            D[y * W + x] = V[y * W + x] - V[(y + 1) * W + x];
    }
    auto d = [&](int x, int y) { return D[y * W + x]; };
    auto m = [&](int x, int y) { return M[y * W + x]; };

    std::vector<std::uint8_t> mask(std::size_t(W) * H, 0);
    for (int x = 0; x < W; ++x) {
        int y = 1;
        while (y <= H - 2) {
            const int dy = d(x, y);
            if (!(dy > 0 && dy >= d(x, y - 1) && dy >= d(x, y + 1) && m(x, y + 1) < 180)) {
                y = y + 1;
                continue;
            }
            int n = 0, best = 0;
            for (int k = 1; k <= T - 1 && y + k <= H - 2; ++k) {
                if (d(x, y + k) < 0 && d(x, y + k) < best) {
                    best = d(x, y + k);
                    n = k;
                }
            }
            if (n == 0) {
                y = y + 1;
                continue;
            }
            int mm = 0, top = 0;
            for (int l = 1; l <= n; ++l) {
                if (d(x, y + n - l) > 0 && d(x, y + n - l) > top) {
                    top = d(x, y + n - l);
                    mm = l;
                }
            }
            const int u = y + n - mm;
            int bandSum = 0;
            for (int r = u + 1; r <= u + mm; ++r)
                bandSum += m(x, r);
            const int b = bandSum / n;
            int aboveSum = 0, aboveCount = 0;
            for (int r = std::max(0, u - mm); r <= u - 1; ++r, ++aboveCount)
                aboveSum += m(x, r);
            int belowSum = 0, belowCount = 0;
            for (int r = u + mm + 1; r <= std::min(H - 1, u + 2 * mm); ++r, ++belowCount)
                belowSum += m(x, r);
            const int a = aboveSum / aboveCount;
            const int c = belowSum / belowCount;
            if (b < a && b < c) {
                for (int r = u + 1; r <= u + mm; ++r)
                    mask[r * W + x] = 255;
            }
            y = y + n + 1;
        }
    }
    return mask;
}

std::vector<Component> findComponents(const std::vector<std::uint8_t> &mask, int W, int H)
{
    std::vector<std::uint8_t> visited(std::size_t(W) * H, 0);
    std::vector<Component> components;
    for (int x = 0; x < W; ++x) {
        for (int y = 0; y < H; ++y) {
            const int seed = y * W + x;
            if (mask[seed] != 255 || visited[seed])
                continue;
            Component component;
            std::vector<int> frontier {seed};
            visited[seed] = 1;
            while (!frontier.empty()) {
                std::vector<int> next;
                for (int q : frontier) {
                    component.push_back(q);
                    for (int c = q % W - 1; c <= q % W + 1; ++c) {
                        for (int r = q / W - 1; r <= q / W + 1; ++r) {
                            if (c >= 0 && c < W && r >= 0 && r < H && mask[r * W + c] == 255
                                && !visited[r * W + c]) {
                                visited[r * W + c] = 1;
                                next.push_back(r * W + c);
                            }
                        }
                    }
                }
                frontier = next;
            }
            const auto [minX, maxX, minY, maxY] = boxOf(component, W);
            const int dx = maxX - minX, dy = maxY - minY;
            if (int(std::sqrt(double(dx * dx + dy * dy))) > 5)
                components.push_back(component);
        }
    }
    return components;
}

std::vector<WireTrace> buildTraces(
    const std::vector<Component> &components, int W, int lengthThreshold)
{
    std::vector<WireTrace> kept;
    for (const Component &component : components) {
        const auto [minX, maxX, minY, maxY] = boxOf(component, W);
        const int w = maxX - minX + 1, h = maxY - minY + 1;
        std::vector<std::uint8_t> box(std::size_t(w) * h, 0);
        for (int p : component)
            box[(p / W - minY) * w + (p % W - minX)] = 255;

        std::vector<WireTrace> traces;
        auto place = [&](ColumnRun run) {
            for (WireTrace &trace : traces) {
                const ColumnRun &last = trace.back();
                if (last.x == run.x - 1 && run.y <= last.y + last.length
                    && run.y + run.length >= last.y) {
                    trace.push_back(run);
                    return;
                }
            }
            traces.push_back({run});
        };
        for (int x = minX; x <= maxX; ++x) {
            int start = -1;
            // Row h counts as clear, so that a run reaching the box's bottom row ends there.
            for (int row = 0; row <= h; ++row) {
                const bool set = row < h && box[row * w + (x - minX)] == 255;
                if (set && start < 0) {
                    start = row;
                } else if (!set && start >= 0) {
                    place({x, minY + start, row - start});
                    start = -1;
                }
            }
        }
        for (const WireTrace &trace : traces) {
            if (int(trace.size()) > lengthThreshold)
                kept.push_back(trace);
        }
    }
    return kept;
}

std::vector<Argb> paintedMask(const std::vector<WireTrace> &traces, int width, int height)
{
    std::vector<Argb> mask(std::size_t(width) * height, 0);
    for (const WireTrace &trace : traces) {
        for (const ColumnRun &run : trace) {
            for (int y = run.y; y < run.y + run.length; ++y)
                mask[y * width + run.x] = detectionMark;
        }
    }
    return mask;
}

} // namespace tolvane::reference
