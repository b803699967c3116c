#include "removal/seamlessfill.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

#include "selection/workers.h"

namespace tolvane {

namespace {

using namespace seamless;

float channel(Argb pixel, int c)
{
    return float((pixel >> (8 * c)) & 0xFFu);
}

Argb packRounded(const float *value)
{
    Argb pixel = 0;
    for (int c = 0; c < 4; ++c) {
        const float v = std::clamp(value[c], 0.0f, 255.0f);
        pixel |= Argb(int(v + 0.5f)) << (8 * c);
    }
    return pixel;
}

// The marked pixels in row order, with their neighbours.
struct MarkedPixels
{
    std::vector<int> rowStart; // height + 1 entries: row y holds rowStart[y] ... rowStart[y+1]-1
    std::vector<int> xs, ys;
    // The marked pixel above and below, or -1.
    std::vector<int> up, down;

    int size() const { return int(xs.size()); }
    int left(int i) const { return i > rowStart[ys[i]] && xs[i - 1] == xs[i] - 1 ? i - 1 : -1; }
    int right(int i) const
    {
        return i + 1 < rowStart[ys[i] + 1] && xs[i + 1] == xs[i] + 1 ? i + 1 : -1;
    }
};

constexpr int bandHeight = 64;

bool nextToMark(Plane<const Argb> mask, int x, int y)
{
    return (x > 0 && isMarked(mask.at(x - 1, y)))
        || (x + 1 < mask.width && isMarked(mask.at(x + 1, y)))
        || (y > 0 && isMarked(mask.at(x, y - 1)))
        || (y + 1 < mask.height && isMarked(mask.at(x, y + 1)));
}

// Whether the clean pixel (x, y), next to a mark, stands out from the clean pixels around it
// that are not next to a mark (see fringeStandOut). The sums are whole numbers, in units of
// 1 / count, so the test is exact.
bool standsOut(Plane<const Argb> photo, Plane<const Argb> mask, int x, int y)
{
    if (!nextToMark(mask, x, y))
        return false;
    std::array<Argb, (2 * fringeReach + 1) * (2 * fringeReach + 1)> around;
    int sums[3] = {0, 0, 0};
    int count = 0;
    for (int qy = std::max(0, y - fringeReach); qy <= std::min(mask.height - 1, y + fringeReach);
         ++qy) {
        for (int qx = std::max(0, x - fringeReach); qx <= std::min(mask.width - 1, x + fringeReach);
             ++qx) {
            if (isMarked(mask.at(qx, qy)) || nextToMark(mask, qx, qy))
                continue;
            const Argb q = photo.at(qx, qy);
            around[std::size_t(count++)] = q;
            for (int c = 0; c < 3; ++c)
                sums[c] += int((q >> (8 * c)) & 0xFFu);
        }
    }
    if (count == 0)
        return false;
    const Argb pixel = photo.at(x, y);
    const auto scaled
        = [&](Argb p, int c) { return int((p >> (8 * c)) & 0xFFu) * count - sums[c]; };
    const int nx[4] = {x - 1, x + 1, x, x}, ny[4] = {y, y, y - 1, y + 1};
    for (int c = 0; c < 3; ++c) {
        const int off = std::abs(scaled(pixel, c));
        if (off <= fringeStandOut * count)
            continue;
        // A marked neighbour lies at least fringeBeyond times as far out on the same side.
        bool beyond = false;
        for (int k = 0; k < 4 && !beyond; ++k) {
            if (nx[k] < 0 || ny[k] < 0 || nx[k] >= mask.width || ny[k] >= mask.height
                || !isMarked(mask.at(nx[k], ny[k])))
                continue;
            const int m = scaled(photo.at(nx[k], ny[k]), c);
            beyond = (m > 0) == (scaled(pixel, c) > 0) && std::abs(m) > fringeBeyond * off;
        }
        if (!beyond)
            continue;
        int spread = 0;
        for (int k = 0; k < count; ++k)
            spread += std::abs(scaled(around[std::size_t(k)], c));
        // off / count against fringeTextures times the mean distance, spread / count^2.
        if (off * count > fringeTextures * spread)
            return true;
    }
    return false;
}

// Whether the clean pixel (x, y) is fringe of the marks (see the fringe settings): next to a
// marked pixel m, a sharp step from the clean pixels q and r beyond it part of the way towards
// m, which is darker than q.
bool isFringe(Plane<const Argb> photo, Plane<const Argb> mask, int x, int y)
{
    static constexpr int dx[4] = {0, 0, -1, 1};
    static constexpr int dy[4] = {-1, 1, 0, 0};
    for (int k = 0; k < 4; ++k) {
        const int mx = x + dx[k], my = y + dy[k];
        if (mx < 0 || my < 0 || mx >= mask.width || my >= mask.height || !isMarked(mask.at(mx, my)))
            continue;
        const int qx = x - dx[k], qy = y - dy[k];
        const int rx = qx - dx[k], ry = qy - dy[k];
        if (rx < 0 || ry < 0 || rx >= mask.width || ry >= mask.height || isMarked(mask.at(qx, qy)))
            continue;
        const Argb pixel = photo.at(x, y);
        const Argb m = photo.at(mx, my), q = photo.at(qx, qy), r = photo.at(rx, ry);
        float dot = 0.0f, contrast = 0.0f, own = 0.0f, beyond = 0.0f, darker = 0.0f;
        for (int c = 0; c < 3; ++c) {
            const float toWire = channel(m, c) - channel(q, c);
            darker -= toWire;
            const float toPixel = channel(pixel, c) - channel(q, c);
            const float step = channel(q, c) - channel(r, c);
            dot += toPixel * toWire;
            contrast += toWire * toWire;
            own += toPixel * toPixel;
            beyond += step * step;
        }
        if (darker <= 0.0f || contrast < fringeContrast * fringeContrast
            || dot < fringeShare * contrast || dot > fringeUpTo * contrast
            || own < fringeSharpness * beyond)
            continue;
        // Along the line: the part across it no larger than the part along it.
        const float along2 = dot * dot / contrast;
        if (own - along2 <= along2)
            return true;
    }
    return standsOut(photo, mask, x, y);
}

// Marked, or fringe of the marks.
bool isTaken(Plane<const Argb> photo, Plane<const Argb> mask, int x, int y)
{
    return isMarked(mask.at(x, y)) || isFringe(photo, mask, x, y);
}

MarkedPixels findMarked(Plane<const Argb> photo, Plane<const Argb> mask, bool parallel)
{
    const int width = mask.width;
    const int height = mask.height;
    const int bandCount = (height + bandHeight - 1) / bandHeight;
    std::vector<std::vector<int>> bandXs(bandCount);
    MarkedPixels marked;
    marked.rowStart.assign(std::size_t(height) + 1, 0);
    forEachTask(bandCount, parallel, [&](int band) {
        const int y1 = std::min(height, (band + 1) * bandHeight);
        for (int y = band * bandHeight; y < y1; ++y) {
            const Argb *row = mask.rowData(y);
            const Argb *above = y > 0 ? mask.rowData(y - 1) : row;
            const Argb *below = y + 1 < height ? mask.rowData(y + 1) : row;
            // Each block of 16 is looked at when it, or a pixel beside it, is marked.
            for (int x = 0; x < width; x += 16) {
                const int end = std::min(width, x + 16);
                Argb any = 0;
                for (int k = std::max(0, x - 1); k < std::min(width, end + 1); ++k)
                    any |= row[k];
                for (int k = x; k < end; ++k)
                    any |= above[k] | below[k];
                if (!isMarked(any))
                    continue;
                for (int k = x; k < end; ++k) {
                    if (isMarked(row[k])) {
                        bandXs[band].push_back(k);
                        continue;
                    }
                    const Argb beside = (k > 0 ? row[k - 1] : 0) | (k + 1 < width ? row[k + 1] : 0)
                        | (y > 0 ? above[k] : 0) | (y + 1 < height ? below[k] : 0);
                    if (isMarked(beside) && isFringe(photo, mask, k, y))
                        bandXs[band].push_back(k);
                }
            }
            marked.rowStart[y + 1] = int(bandXs[band].size());
        }
    });
    // Band-relative row ends to running offsets.
    int offset = 0;
    for (int band = 0; band < bandCount; ++band) {
        const int y1 = std::min(height, (band + 1) * bandHeight);
        for (int y = band * bandHeight; y < y1; ++y)
            marked.rowStart[y + 1] += offset;
        offset += int(bandXs[band].size());
    }
    marked.xs.resize(std::size_t(offset));
    marked.ys.resize(std::size_t(offset));
    marked.up.assign(std::size_t(offset), -1);
    marked.down.assign(std::size_t(offset), -1);
    forEachTask(bandCount, parallel, [&](int band) {
        const int y0 = band * bandHeight;
        const int y1 = std::min(height, y0 + bandHeight);
        std::copy(
            bandXs[band].begin(), bandXs[band].end(), marked.xs.begin() + marked.rowStart[y0]);
        std::vector<int>().swap(bandXs[band]);
        for (int y = y0; y < y1; ++y)
            std::fill(marked.ys.begin() + marked.rowStart[y],
                marked.ys.begin() + marked.rowStart[y + 1], y);
    });
    // Links between consecutive rows, row by row.
    forEachTask(bandCount, parallel, [&](int band) {
        const int y1 = std::min(height, (band + 1) * bandHeight);
        for (int y = std::max(1, band * bandHeight); y < y1; ++y) {
            int j = marked.rowStart[y - 1];
            const int jEnd = marked.rowStart[y];
            for (int i = marked.rowStart[y]; i < marked.rowStart[y + 1]; ++i) {
                while (j < jEnd && marked.xs[j] < marked.xs[i])
                    ++j;
                if (j < jEnd && marked.xs[j] == marked.xs[i]) {
                    marked.up[i] = j;
                    marked.down[j] = i;
                }
            }
        }
    });
    return marked;
}

} // namespace

void seamlessFill(Plane<const Argb> photo, Plane<const Argb> mask, Plane<Argb> result)
{
    assert(photo.width == mask.width && photo.height == mask.height);
    assert(result.width == mask.width && result.height == mask.height);
    const int width = photo.width;
    const int height = photo.height;
    const bool parallel = photo.pixelCount() >= (std::size_t(1) << 20);
    const int bandCount = (height + bandHeight - 1) / bandHeight;

    forEachTask(bandCount, parallel, [&](int band) {
        const int y1 = std::min(height, (band + 1) * bandHeight);
        for (int y = band * bandHeight; y < y1; ++y)
            std::copy(photo.rowData(y), photo.rowData(y) + width, result.rowData(y));
    });
    const MarkedPixels marked = findMarked(photo, mask, parallel);
    const int n = marked.size();
    if (n == 0)
        return;

    // The stretch of marks through each pixel across its row and down its column.
    std::vector<int> top(n), bottom(n), first(n), last(n);
    for (int i = 0; i < n; ++i)
        top[i] = marked.up[i] >= 0 ? top[marked.up[i]] : marked.ys[i];
    for (int i = n - 1; i >= 0; --i)
        bottom[i] = marked.down[i] >= 0 ? bottom[marked.down[i]] : marked.ys[i] + 1;
    for (int i = 0; i < n; ++i)
        first[i] = marked.left(i) >= 0 ? first[i - 1] : marked.xs[i];
    for (int i = n - 1; i >= 0; --i)
        last[i] = marked.right(i) >= 0 ? last[i + 1] : marked.xs[i] + 1;

    // Working values: four channels of every marked pixel, then those of the clean neighbours
    // (one entry for each time a marked pixel has one), then a zero for a neighbour outside
    // the photo. Each marked pixel lists its four neighbours as entries, up, down, left, right.
    std::vector<int> neighbours(std::size_t(n) * 4);
    std::vector<float> weight(n);
    const int chunk = 4096;
    const int chunkCount = (n + chunk - 1) / chunk;
    const bool parallelMarks = parallel && n >= 4 * chunk;
    auto cleanNeighbours = [&](int i) {
        const int x = marked.xs[i], y = marked.ys[i];
        return (y > 0 && marked.up[i] < 0) + (y + 1 < height && marked.down[i] < 0)
            + (x > 0 && marked.left(i) < 0) + (x + 1 < width && marked.right(i) < 0);
    };
    // Each chunk's clean entries follow those of the chunks before it.
    std::vector<int> cleanStart(std::size_t(chunkCount) + 1, 0);
    forEachTask(chunkCount, parallelMarks, [&](int part) {
        const int end = std::min(n, (part + 1) * chunk);
        int count = 0;
        for (int i = part * chunk; i < end; ++i)
            count += cleanNeighbours(i);
        cleanStart[part + 1] = count;
    });
    for (int part = 0; part < chunkCount; ++part)
        cleanStart[part + 1] += cleanStart[part];
    const int cleanCount = cleanStart[chunkCount];
    const int zero = n + cleanCount;
    std::vector<float> values((std::size_t(zero) + 1) * 4, 0.0f);
    const bool anyClean = cleanCount > 0;
    forEachTask(chunkCount, parallelMarks, [&](int part) {
        const int end = std::min(n, (part + 1) * chunk);
        int next = n + cleanStart[part];
        for (int i = part * chunk; i < end; ++i) {
            const int x = marked.xs[i], y = marked.ys[i];
            const int links[4] = {marked.up[i], marked.down[i], marked.left(i), marked.right(i)};
            const int dx[4] = {0, 0, -1, 1};
            const int dy[4] = {-1, 1, 0, 0};
            int count = 0;
            for (int k = 0; k < 4; ++k) {
                const int nx = x + dx[k], ny = y + dy[k];
                int entry = zero;
                if (nx >= 0 && nx < width && ny >= 0 && ny < height) {
                    ++count;
                    if (links[k] >= 0) {
                        entry = links[k];
                    } else {
                        entry = next++;
                        const Argb pixel = photo.at(nx, ny);
                        for (int c = 0; c < 4; ++c)
                            values[std::size_t(entry) * 4 + c] = channel(pixel, c);
                    }
                }
                neighbours[std::size_t(i) * 4 + k] = entry;
            }
            weight[i] = count > 0 ? 1.0f / float(count) : 0.0f;
        }
    });

    // The starting values: interpolation along the shorter stretch through the pixel, between
    // the clean pixels at its ends (the one end inside the photo when the other is not).
    auto startValue = [&](int i, float *value) {
        const int x = marked.xs[i], y = marked.ys[i];
        const int columnLength = bottom[i] - top[i];
        const int rowLength = last[i] - first[i];
        const bool columnEnds = top[i] > 0 || bottom[i] < height;
        const bool rowEnds = first[i] > 0 || last[i] < width;
        bool alongColumn = columnLength <= rowLength;
        if (alongColumn && !columnEnds)
            alongColumn = false;
        else if (!alongColumn && !rowEnds)
            alongColumn = true;
        Argb a = 0, b = 0;
        bool hasA = false, hasB = false;
        float t = 0.5f;
        if (alongColumn) {
            hasA = top[i] > 0;
            hasB = bottom[i] < height;
            if (hasA)
                a = photo.at(x, top[i] - 1);
            if (hasB)
                b = photo.at(x, bottom[i]);
            t = float(y - top[i] + 1) / float(columnLength + 1);
        } else {
            hasA = first[i] > 0;
            hasB = last[i] < width;
            if (hasA)
                a = photo.at(first[i] - 1, y);
            if (hasB)
                b = photo.at(last[i], y);
            t = float(x - first[i] + 1) / float(rowLength + 1);
        }
        if (!hasA && !hasB) {
            const Argb pixel = photo.at(x, y);
            for (int c = 0; c < 4; ++c)
                value[c] = channel(pixel, c);
            return;
        }
        if (!hasA)
            a = b;
        if (!hasB)
            b = a;
        for (int c = 0; c < 4; ++c)
            value[c] = channel(a, c) + t * (channel(b, c) - channel(a, c));
    };
    forEachTask(chunkCount, parallelMarks, [&](int part) {
        const int end = std::min(n, (part + 1) * chunk);
        for (int i = part * chunk; i < end; ++i)
            startValue(i, &values[std::size_t(i) * 4]);
    });

    // Red-black over-relaxation: each half-sweep reads only pixels of the other colour, so
    // the order within it, and the split over the cores, does not change the result.
    if (anyClean) {
        std::vector<int> byColour[2];
        for (int i = 0; i < n; ++i)
            byColour[(marked.xs[i] + marked.ys[i]) & 1].push_back(i);
        for (int sweep = 0; sweep < sweepCount; ++sweep) {
            for (const std::vector<int> &pixels : byColour) {
                const int count = int(pixels.size());
                forEachTask((count + chunk - 1) / chunk, parallelMarks, [&](int part) {
                    const int end = std::min(count, (part + 1) * chunk);
                    for (int p = part * chunk; p < end; ++p) {
                        const int i = pixels[p];
                        const int *nb = &neighbours[std::size_t(i) * 4];
                        float *u = &values[std::size_t(i) * 4];
                        const float *a = &values[std::size_t(nb[0]) * 4];
                        const float *b = &values[std::size_t(nb[1]) * 4];
                        const float *l = &values[std::size_t(nb[2]) * 4];
                        const float *r = &values[std::size_t(nb[3]) * 4];
                        for (int c = 0; c < 4; ++c) {
                            const float mean = (a[c] + b[c] + l[c] + r[c]) * weight[i];
                            u[c] += relaxation * (mean - u[c]);
                        }
                    }
                });
            }
        }
    }

    // The smooth fill goes into the result, where the texture's high-pass reads it.
    forEachTask(chunkCount, parallelMarks, [&](int part) {
        const int end = std::min(n, (part + 1) * chunk);
        for (int i = part * chunk; i < end; ++i)
            result.at(marked.xs[i], marked.ys[i]) = packRounded(&values[std::size_t(i) * 4]);
    });

    // The high-pass of the smooth picture at (x, y): the pixel minus a 5 x 5 binomial blur,
    // the border rows and columns repeated.
    auto highPass = [&](int x, int y, float *out) {
        static constexpr int taps[5] = {1, 4, 6, 4, 1};
        int sum[4] = {0, 0, 0, 0};
        const bool inside = x >= 2 && y >= 2 && x + 2 < width && y + 2 < height;
        for (int j = 0; j < 5; ++j) {
            const Argb *row
                = result.rowData(inside ? y + j - 2 : std::clamp(y + j - 2, 0, height - 1));
            int line[4] = {0, 0, 0, 0};
            for (int k = 0; k < 5; ++k) {
                const Argb pixel = row[inside ? x + k - 2 : std::clamp(x + k - 2, 0, width - 1)];
                for (int c = 0; c < 4; ++c)
                    line[c] += taps[k] * int((pixel >> (8 * c)) & 0xFFu);
            }
            for (int c = 0; c < 4; ++c)
                sum[c] += taps[j] * line[c];
        }
        // The sums are whole numbers below 2^24, so this equals summing in float.
        const Argb centre = result.at(x, y);
        for (int c = 0; c < 4; ++c)
            out[c] = channel(centre, c) - float(sum[c]) * (1.0f / 256.0f);
    };

    // Texture: the high-pass beyond either end of the shorter stretch, mirrored over it (the
    // pixel next to an end takes the one just outside), blended by the distance to each end
    // at a constant strength. Measured on the wired test photos, mirroring lost less than
    // moving the whole stretch across (0.24 dB at the same strength).
    std::vector<float> texture(std::size_t(n) * 4, 0.0f);
    forEachTask(chunkCount, parallelMarks, [&](int part) {
        const int end = std::min(n, (part + 1) * chunk);
        for (int i = part * chunk; i < end; ++i) {
            const int x = marked.xs[i], y = marked.ys[i];
            const int columnLength = bottom[i] - top[i];
            const int rowLength = last[i] - first[i];
            const bool alongColumn = columnLength <= rowLength;
            const int length = alongColumn ? columnLength : rowLength;
            const int offset = alongColumn ? y - top[i] : x - first[i];
            int ax = x, ay = y, bx = x, by = y;
            const int upShift = 2 * offset + 1;
            const int downShift = 2 * (length - 1 - offset) + 1;
            if (alongColumn) {
                ay -= upShift;
                by += downShift;
            } else {
                ax -= upShift;
                bx += downShift;
            }
            const bool hasA = ax >= 0 && ay >= 0 && !isTaken(photo, mask, ax, ay);
            const bool hasB = bx < width && by < height && !isTaken(photo, mask, bx, by);
            if (!hasA && !hasB)
                continue;
            float wb = (float(offset) + 0.5f) / float(length);
            float wa = 1.0f - wb;
            if (!hasA) {
                wa = 0.0f;
                wb = 1.0f;
            } else if (!hasB) {
                wa = 1.0f;
                wb = 0.0f;
            }
            const float norm = 1.0f / std::sqrt(wa * wa + wb * wb);
            float ha[4] = {0, 0, 0, 0}, hb[4] = {0, 0, 0, 0};
            if (hasA)
                highPass(ax, ay, ha);
            if (hasB)
                highPass(bx, by, hb);
            float *t = &texture[std::size_t(i) * 4];
            for (int c = 0; c < 4; ++c)
                t[c] = (wa * ha[c] + wb * hb[c]) * norm;
        }
    });

    // Unmixing the wire's edge. A marked pixel that the wire covers only in part holds
    // o = (1 - a) c + a w: the hidden colour c mixed with the wire's colour w. The wire's
    // colour is taken from the marked pixel nearby (7 x 7) that differs most from the
    // membrane on the side of it, darker or lighter, where more of the marked pixels nearby
    // lie (the darker on a tie): marks drawn wider than a dark wire over a dark lattice hold
    // pixels of its bright bars that lie farther from the membrane than the wire does, and
    // taken for the wire's colour they would leave the wire as it was. The coverage a comes
    // from how far o lies from the membrane towards it, then the median over the pixel and
    // its marked neighbours along the wire (as many on either side, up to three), which a
    // dark detail of the photo does not sway as it would one pixel's. Where a is well below
    // 1, (o - a w) / (1 - a) brings back the photo's own detail there.
    std::vector<float> wireColour(std::size_t(n) * 3);
    std::vector<float> rawCoverage(n);
    // Each pixel's squared distance from the membrane, negative where it is darker (the sum
    // of its channels no higher): the farthest on either side is then the least or the most.
    std::vector<float> distance(n);
    forEachTask(chunkCount, parallelMarks, [&](int part) {
        const int end = std::min(n, (part + 1) * chunk);
        for (int i = part * chunk; i < end; ++i) {
            const Argb seen = photo.at(marked.xs[i], marked.ys[i]);
            float d2 = 0.0f;
            float shade = 0.0f;
            for (int c = 0; c < 3; ++c) {
                const float d = channel(seen, c) - values[std::size_t(i) * 4 + c];
                d2 += d * d;
                shade += d;
            }
            distance[i] = shade > 0.0f ? d2 : -d2;
        }
    });
    forEachTask(chunkCount, parallelMarks, [&](int part) {
        const int end = std::min(n, (part + 1) * chunk);
        // Where the window's rows start in the list: found by search for a pixel that follows
        // no marked pixel in its row, moved on from the last pixel otherwise.
        int windowStart[2 * wireReach + 1] = {};
        for (int i = part * chunk; i < end; ++i) {
            const int x = marked.xs[i], y = marked.ys[i];
            const bool follows = i > part * chunk && marked.left(i) >= 0;
            float least = std::numeric_limits<float>::infinity();
            float most = -least;
            int farthestDarker = i, farthestLighter = i;
            int count = 0, lighter = 0;
            for (int k = 0; k <= 2 * wireReach; ++k) {
                const int wy = y + k - wireReach;
                if (wy < 0 || wy >= height)
                    continue;
                const int rowEnd = marked.rowStart[wy + 1];
                int j = windowStart[k];
                if (!follows) {
                    j = int(std::lower_bound(marked.xs.begin() + marked.rowStart[wy],
                                marked.xs.begin() + rowEnd, x - wireReach)
                        - marked.xs.begin());
                } else {
                    while (j < rowEnd && marked.xs[j] < x - wireReach)
                        ++j;
                }
                windowStart[k] = j;
                for (; j < rowEnd && marked.xs[j] <= x + wireReach; ++j) {
                    const float d = distance[j];
                    ++count;
                    lighter += d > 0.0f;
                    if (d < least) {
                        least = d;
                        farthestDarker = j;
                    }
                    if (d > most) {
                        most = d;
                        farthestLighter = j;
                    }
                }
            }
            const int source = 2 * lighter > count ? farthestLighter : farthestDarker;
            const Argb wire = photo.at(marked.xs[source], marked.ys[source]);
            const Argb seen = photo.at(x, y);
            float dot = 0.0f, norm = 0.0f;
            for (int c = 0; c < 3; ++c) {
                const float base = values[std::size_t(i) * 4 + c];
                const float v = channel(wire, c) - base;
                wireColour[std::size_t(i) * 3 + c] = channel(wire, c);
                dot += (channel(seen, c) - base) * v;
                norm += v * v;
            }
            rawCoverage[i] = std::clamp(dot / (norm + coverageFloor), 0.0f, 1.0f);
        }
    });
    std::vector<float> coverage(n);
    forEachTask(chunkCount, parallelMarks, [&](int part) {
        const int end = std::min(n, (part + 1) * chunk);
        for (int i = part * chunk; i < end; ++i) {
            // Along the wire: the row when the stretch across it is the column's, else the
            // column.
            const bool acrossColumn = bottom[i] - top[i] <= last[i] - first[i];
            float near[2 * medianReach + 1];
            int count = 0;
            near[count++] = rawCoverage[i];
            // As many on either side, so that a slanted wire's edge, where the marks end
            // sooner on one side than on the other, takes no more from its core than from the
            // outside.
            int before = 0, after = 0;
            if (acrossColumn) {
                while (before < medianReach && marked.left(i - before) >= 0)
                    ++before;
                while (after < medianReach && marked.right(i + after) >= 0)
                    ++after;
                const int reach = std::min(before, after);
                for (int k = 1; k <= reach; ++k) {
                    near[count++] = rawCoverage[i - k];
                    near[count++] = rawCoverage[i + k];
                }
            } else {
                for (int j = marked.up[i]; before < medianReach && j >= 0; j = marked.up[j])
                    ++before;
                for (int j = marked.down[i]; after < medianReach && j >= 0; j = marked.down[j])
                    ++after;
                const int reach = std::min(before, after);
                for (int k = 0, j = marked.up[i]; k < reach; ++k, j = marked.up[j])
                    near[count++] = rawCoverage[j];
                for (int k = 0, j = marked.down[i]; k < reach; ++k, j = marked.down[j])
                    near[count++] = rawCoverage[j];
            }
            for (int k = 1; k < count; ++k) { // sorted by insertion: at most seven
                for (int m = k; m > 0 && near[m] < near[m - 1]; --m)
                    std::swap(near[m], near[m - 1]);
            }
            coverage[i]
                = count % 2 ? near[count / 2] : 0.5f * (near[count / 2 - 1] + near[count / 2]);
        }
    });

    // The texture's mean over each tile of marks comes off; then the unmixed colour where the
    // coverage is low, the membrane with texture where it is high, and a blend between.
    const int tileRows = (height + tileSize - 1) / tileSize;
    const int tileColumns = (width + tileSize - 1) / tileSize;
    forEachTask(tileRows, parallelMarks, [&](int tileRow) {
        const int begin = marked.rowStart[tileRow * tileSize];
        const int end = marked.rowStart[std::min(height, (tileRow + 1) * tileSize)];
        // Per tile: the texture's sum in each channel, the count, then the sum of the three
        // colours' distances from their means.
        std::vector<double> sums(std::size_t(tileColumns) * 6, 0.0);
        for (int i = begin; i < end; ++i) {
            double *s = &sums[std::size_t(marked.xs[i] / tileSize) * 6];
            for (int c = 0; c < 4; ++c)
                s[c] += texture[std::size_t(i) * 4 + c];
            s[4] += 1.0;
        }
        for (int i = begin; i < end; ++i) {
            double *s = &sums[std::size_t(marked.xs[i] / tileSize) * 6];
            for (int c = 0; c < 3; ++c)
                s[5] += std::abs(double(texture[std::size_t(i) * 4 + c]) - s[c] / s[4]);
        }
        for (int i = begin; i < end; ++i) {
            const double *s = &sums[std::size_t(marked.xs[i] / tileSize) * 6];
            const Argb seen = photo.at(marked.xs[i], marked.ys[i]);
            const float a = coverage[i];
            const float spread = 1.0f / std::max(1.0f - a, 1e-3f);
            // The detail recovered, split along the wire's colour and across it: across, it is
            // the pixel's own; along, it rests on the coverage, whose error it multiplies by the
            // wire's contrast, so it is held to a few levels more than the texture's strength
            // over the tile (steadier than one pixel's mirrored texture): an
            // edge pixel that the median took for more covered than it is would otherwise come
            // out as a bright line beside the wire.
            float own[3], along = 0.0f, contrast = 0.0f;
            for (int c = 0; c < 3; ++c) {
                const float base = values[std::size_t(i) * 4 + c];
                const float v = wireColour[std::size_t(i) * 3 + c] - base;
                own[c] = (channel(seen, c) - base - a * v) * spread;
                along += own[c] * v;
                contrast += v * v;
            }
            // Whether to unmix goes by the coverage freed of the floor's pull towards 0 (see
            // coverageFloor): a fully covered pixel of a wire of low contrast against the
            // membrane would otherwise seem partly covered, and keep part of the wire.
            const float cover = std::min(
                1.0f, a * (contrast + coverageFloor) / std::max(contrast, coverageFloor));
            const float unmixed = std::clamp((unmixedUpTo - cover) / unmixedFade, 0.0f, 1.0f);
            // The texture's mean distance from its mean over the tile, per colour channel: a
            // few strong values (a wire beside the marks that they missed) sway it less than
            // they would the standard deviation.
            const float parallelLimit
                = parallelFloor + parallelPerTexture * float(s[5] / (3.0 * s[4]));
            if (contrast > 0.0f) {
                const float length = std::sqrt(contrast);
                const float projected = along / length;
                const float held = std::clamp(projected, -parallelLimit, parallelLimit);
                for (int c = 0; c < 3; ++c) {
                    const float v
                        = wireColour[std::size_t(i) * 3 + c] - values[std::size_t(i) * 4 + c];
                    own[c] += (held - projected) * v / length;
                }
            }
            // Across the wire's colour the detail is the pixel's own, times the same spread,
            // and JPEG's coarser colour planes smear a wire's colour beyond it: held to the
            // same limit, or a wire's soft edge comes out as a coloured line beside it.
            {
                float across[3], size = 0.0f, dot = 0.0f;
                for (int c = 0; c < 3; ++c)
                    dot += own[c]
                        * (wireColour[std::size_t(i) * 3 + c] - values[std::size_t(i) * 4 + c]);
                for (int c = 0; c < 3; ++c) {
                    const float v
                        = wireColour[std::size_t(i) * 3 + c] - values[std::size_t(i) * 4 + c];
                    across[c] = contrast > 0.0f ? own[c] - dot * v / contrast : own[c];
                    size += across[c] * across[c];
                }
                size = std::sqrt(size);
                if (size > parallelLimit) {
                    for (int c = 0; c < 3; ++c)
                        own[c] -= across[c] * (1.0f - parallelLimit / size);
                }
            }
            float value[4];
            for (int c = 0; c < 4; ++c) {
                const float base = values[std::size_t(i) * 4 + c];
                const float detail = texture[std::size_t(i) * 4 + c] - float(s[c] / s[4]);
                value[c] = base + (c < 3 ? unmixed * own[c] : 0.0f)
                    + (1.0f - unmixed) * textureGain * detail;
            }
            result.at(marked.xs[i], marked.ys[i]) = packRounded(value);
        }
    });
}

} // namespace tolvane
