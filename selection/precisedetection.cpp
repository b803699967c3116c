#include "selection/precisedetection.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "selection/planes.h"
#include "selection/workers.h"

namespace tolvane {

namespace {

constexpr int bandRows = 32;

// Thresholds on brightness differences, in steps of 1/255.
constexpr int blackHatLow = 4; // a candidate is this much darker than its closing
constexpr int lineLow = 5; // both sides brighter by this much: a line pixel
constexpr int lineStrong = 14; // ... by this much: a pixel that can start a wire
constexpr int fringeLow = 3; // a fringe pixel is this much darker than its closing

// The line test's orientations, evenly spread over half a turn.
constexpr int orientations = 8;

// A line pixel: its strength in the low two bits (1 weak, 2 strong), the orientation it was
// found at in the next three, and the top bit once the piece search has reached it.
constexpr std::uint8_t strengthBits = 3;
constexpr std::uint8_t visitedBit = 0x80;

constexpr int orientationOf(std::uint8_t pixel)
{
    return (pixel >> 2) & 7;
}

// Two line pixels belong to one curve when their orientations differ by at most one step.
constexpr bool sameCurve(std::uint8_t a, std::uint8_t b)
{
    const int difference = (orientationOf(a) - orientationOf(b) + orientations) % orientations;
    return difference <= 1 || difference == orientations - 1;
}

template <typename Fn> void forRowBands(int height, bool threaded, Fn fn)
{
    const int bands = (height + bandRows - 1) / bandRows;
    forEachChunk(bands, threaded, [&](int band) {
        fn(band * bandRows, std::min(height, (band + 1) * bandRows));
    });
}

// Brightness, or 255 minus it for light wires.
void brightnessPlane(Plane<const Argb> photo, bool invert, bool threaded, Plane<std::uint8_t> out)
{
    forRowBands(photo.height, threaded, [&](int from, int to) {
        for (int y = from; y < to; ++y) {
            const Argb *in = photo.rowData(y);
            std::uint8_t *row = out.rowData(y);
            const std::uint8_t flip = invert ? 0xFF : 0;
            for (int x = 0; x < photo.width; ++x)
                row[x] = std::uint8_t(brightnessOf(in[x]) ^ flip);
        }
    });
}

// Max (Greatest) or min of each row's pixels over x - radius ... x + radius, the row's ends
// repeated beyond the plane.
template <bool Greatest>
void filterRows(Plane<const std::uint8_t> in, int radius, bool threaded, Plane<std::uint8_t> out)
{
    const int width = in.width;
    forRowBands(in.height, threaded, [&](int from, int to) {
        std::vector<std::uint8_t> padded(std::size_t(width + 2 * radius));
        for (int y = from; y < to; ++y) {
            const std::uint8_t *row = in.rowData(y);
            std::fill_n(padded.begin(), radius, row[0]);
            std::copy_n(row, width, padded.begin() + radius);
            std::fill_n(padded.begin() + radius + width, radius, row[width - 1]);
            std::uint8_t *result = out.rowData(y);
            std::copy_n(padded.begin(), width, result);
            for (int d = 1; d <= 2 * radius; ++d) {
                const std::uint8_t *shifted = padded.data() + d;
                for (int x = 0; x < width; ++x) {
                    result[x] = Greatest ? std::max(result[x], shifted[x])
                                         : std::min(result[x], shifted[x]);
                }
            }
        }
    });
}

// The same over the rows y - radius ... y + radius of each column.
template <bool Greatest>
void filterColumns(Plane<const std::uint8_t> in, int radius, bool threaded, Plane<std::uint8_t> out)
{
    const int width = in.width;
    const int last = in.height - 1;
    forRowBands(in.height, threaded, [&](int from, int to) {
        for (int y = from; y < to; ++y) {
            std::uint8_t *result = out.rowData(y);
            std::copy_n(in.rowData(std::clamp(y - radius, 0, last)), width, result);
            for (int d = -radius + 1; d <= radius; ++d) {
                const std::uint8_t *row = in.rowData(std::clamp(y + d, 0, last));
                for (int x = 0; x < width; ++x)
                    result[x] = Greatest ? std::max(result[x], row[x]) : std::min(result[x], row[x]);
            }
        }
    });
}

// 3 x 3 box sums of `brightness` into the middle of `sums`, which is `margin` entries larger on
// every side; the margin repeats the nearest sum.
void boxSums(Plane<const std::uint8_t> brightness, int margin, bool threaded, Plane<std::uint16_t> sums)
{
    const int width = brightness.width;
    const int last = brightness.height - 1;
    forRowBands(brightness.height, threaded, [&](int from, int to) {
        std::vector<std::uint16_t> column(static_cast<std::size_t>(width));
        for (int y = from; y < to; ++y) {
            const std::uint8_t *above = brightness.rowData(std::max(y - 1, 0));
            const std::uint8_t *middle = brightness.rowData(y);
            const std::uint8_t *below = brightness.rowData(std::min(y + 1, last));
            for (int x = 0; x < width; ++x)
                column[std::size_t(x)] = std::uint16_t(above[x] + middle[x] + below[x]);
            std::uint16_t *out = sums.rowData(y + margin) + margin;
            for (int x = 0; x < width; ++x) {
                const int left = column[std::size_t(std::max(x - 1, 0))];
                const int right = column[std::size_t(std::min(x + 1, width - 1))];
                out[x] = std::uint16_t(left + column[std::size_t(x)] + right);
            }
            std::fill_n(out - margin, margin, out[0]);
            std::fill_n(out + width, margin, out[width - 1]);
        }
    });
    for (int y = 0; y < margin; ++y) {
        std::copy_n(sums.rowData(margin), sums.width, sums.rowData(y));
        std::copy_n(sums.rowData(margin + last), sums.width, sums.rowData(margin + last + 1 + y));
    }
}

// One probe of the line test: the offsets, in entries of the sums plane, of the two side
// samples (across the orientation) and the two samples along it.
struct Probe
{
    std::ptrdiff_t across = 0;
    std::ptrdiff_t along = 0;
};

std::vector<Probe> lineProbes(int maxWidth, std::ptrdiff_t stride, int &reach)
{
    // Side samples just outside a wire of the largest width with its fringe, and nearer ones
    // for thin wires that run close to another.
    const int farthest = maxWidth / 2 + 3;
    std::vector<int> distances;
    for (int d = 2; d < farthest; d = std::max(d + 1, d * 3 / 2))
        distances.push_back(d);
    distances.push_back(farthest);
    std::vector<Probe> probes;
    reach = 0;
    constexpr double pi = 3.14159265358979323846;
    for (int d : distances) {
        for (int i = 0; i < orientations; ++i) {
            const double angle = pi * i / orientations;
            const double c = std::cos(angle);
            const double s = std::sin(angle);
            const int ax = int(std::lround(d * c));
            const int ay = int(std::lround(d * s));
            const int nx = int(std::lround(-d * s));
            const int ny = int(std::lround(d * c));
            reach = std::max({reach, std::abs(ax), std::abs(ay), std::abs(nx), std::abs(ny)});
            probes.push_back({ny * stride + nx, ay * stride + ax});
        }
    }
    return probes;
}

// Line pixels (see strengthBits), 0 elsewhere.
void classifyLinePixels(Plane<const std::uint8_t> blackHat, Plane<const std::uint16_t> sums,
    int margin, const std::vector<Probe> &probes, bool threaded, Plane<std::uint8_t> line)
{
    constexpr int low = lineLow * 9;
    constexpr int strong = lineStrong * 9;
    forRowBands(blackHat.height, threaded, [&](int from, int to) {
        for (int y = from; y < to; ++y) {
            const std::uint8_t *hat = blackHat.rowData(y);
            const std::uint16_t *sumRow = sums.rowData(y + margin) + margin;
            std::uint8_t *out = line.rowData(y);
            for (int x = 0; x < blackHat.width; ++x) {
                out[x] = 0;
                if (hat[x] < blackHatLow)
                    continue;
                const std::uint16_t *p = sumRow + x;
                const int centre = *p;
                int best = 0;
                int orientation = 0;
                for (std::size_t i = 0; i < probes.size(); ++i) {
                    const Probe &probe = probes[i];
                    const int sides = std::min(p[probe.across], p[-probe.across]) - centre;
                    if (sides <= best)
                        continue;
                    const int along = std::max(p[probe.along], p[-probe.along]) - centre;
                    const int score = sides - std::max(along, 0);
                    if (score > best) {
                        best = score;
                        orientation = int(i % orientations);
                    }
                    if (best >= strong)
                        break;
                }
                const int strength = best >= strong ? 2 : best >= low ? 1 : 0;
                out[x] = std::uint8_t(strength == 0 ? 0 : strength | orientation << 2);
            }
        }
    });
}

// Whether the piece of pixels looks like a wire: long, thin and without gaps along its main
// axis.
bool isWirePiece(const std::vector<PixelIndex> &piece, int width, const PreciseSettings &settings)
{
    const double n = double(piece.size());
    double mx = 0;
    double my = 0;
    for (PixelIndex i : piece) {
        mx += i % width;
        my += i / width;
    }
    mx /= n;
    my /= n;
    double cxx = 0;
    double cyy = 0;
    double cxy = 0;
    for (PixelIndex i : piece) {
        const double dx = i % width - mx;
        const double dy = i / width - my;
        cxx += dx * dx;
        cyy += dy * dy;
        cxy += dx * dy;
    }
    const double angle = 0.5 * std::atan2(2 * cxy, cxx - cyy);
    const double ux = std::cos(angle);
    const double uy = std::sin(angle);
    double low = 0;
    double high = 0;
    for (PixelIndex i : piece) {
        const double s = (i % width - mx) * ux + (i / width - my) * uy;
        low = std::min(low, s);
        high = std::max(high, s);
    }
    const double extent = high - low + 1;
    if (extent < settings.minLength)
        return false;
    if (n / extent > 2.0 * settings.maxWidth + 2)
        return false;
    constexpr int binLength = 4;
    const int binCount = int(extent / binLength) + 1;
    std::vector<std::uint8_t> occupied(std::size_t(binCount), 0);
    for (PixelIndex i : piece) {
        const double s = (i % width - mx) * ux + (i / width - my) * uy;
        occupied[std::size_t(std::min(binCount - 1, int((s - low) / binLength)))] = 1;
    }
    const int filled = int(std::count(occupied.begin(), occupied.end(), 1));
    return filled >= 0.8 * binCount;
}

// Keeps the 8-connected pieces of line pixels of like orientation (neighbours that are
// sameCurve()) that hold a strong pixel and pass isWirePiece(),
// setting their pixels in `marks` to 1. Returns their number. Pieces are searched in raster
// order of their first pixel.
int keepWirePieces(Plane<std::uint8_t> line, const PreciseSettings &settings, Plane<std::uint8_t> marks)
{
    const int width = line.width;
    const int height = line.height;
    constexpr std::uint8_t visited = visitedBit;
    std::vector<PixelIndex> piece;
    int kept = 0;
    for (int y = 0; y < height; ++y) {
        std::uint8_t *row = line.rowData(y);
        for (int x = 0; x < width; ++x) {
            if (row[x] == 0 || (row[x] & visited))
                continue;
            piece.clear();
            piece.push_back(PixelIndex(y) * width + x);
            row[x] |= visited;
            bool strong = false;
            for (std::size_t k = 0; k < piece.size(); ++k) {
                const int px = piece[k] % width;
                const int py = piece[k] / width;
                const std::uint8_t here = line.at(px, py);
                strong = strong || (here & strengthBits) == 2;
                for (int dy = -1; dy <= 1; ++dy) {
                    const int qy = py + dy;
                    if (qy < 0 || qy >= height)
                        continue;
                    std::uint8_t *neighbours = line.rowData(qy);
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int qx = px + dx;
                        if (qx < 0 || qx >= width || neighbours[qx] == 0
                            || (neighbours[qx] & visited) || !sameCurve(here, neighbours[qx]))
                            continue;
                        neighbours[qx] |= visited;
                        piece.push_back(PixelIndex(qy) * width + qx);
                    }
                }
            }
            if (!strong || !isWirePiece(piece, width, settings))
                continue;
            ++kept;
            for (PixelIndex i : piece)
                marks.at(i % width, i / width) = 1;
        }
    }
    return kept;
}

// Marks (2) the unmarked pixels next to a marked one (1) whose black-hat reaches the fringe
// threshold; the marks of 1 are read only, so the bands do not depend on each other.
void markFringe(Plane<const std::uint8_t> blackHat, bool threaded, Plane<std::uint8_t> marks)
{
    const int width = marks.width;
    const int last = marks.height - 1;
    forRowBands(marks.height, threaded, [&](int from, int to) {
        for (int y = from; y < to; ++y) {
            const std::uint8_t *above = marks.rowData(std::max(y - 1, 0));
            std::uint8_t *row = marks.rowData(y);
            const std::uint8_t *below = marks.rowData(std::min(y + 1, last));
            const std::uint8_t *hat = blackHat.rowData(y);
            for (int x = 0; x < width; ++x) {
                if (row[x] != 0 || hat[x] < fringeLow)
                    continue;
                const int l = std::max(x - 1, 0);
                const int r = std::min(x + 1, width - 1);
                bool near = false;
                for (int q = l; q <= r; ++q)
                    near = near || above[q] == 1 || row[q] == 1 || below[q] == 1;
                if (near)
                    row[x] = 2;
            }
        }
    });
}

int detectPolarity(Plane<const Argb> photo, const PreciseSettings &settings, bool invert,
    bool threaded, Plane<std::uint8_t> found)
{
    const int width = photo.width;
    const int height = photo.height;
    PlaneBuffer<std::uint8_t> brightness(width, height);
    PlaneBuffer<std::uint8_t> scratch(width, height);
    PlaneBuffer<std::uint8_t> blackHat(width, height);
    brightnessPlane(photo, invert, threaded, brightness.view());

    // Closing: max then min over a square that any wire of the largest width crosses, at any
    // angle, with its fringe.
    const int radius = std::max(2, settings.maxWidth);
    filterRows<true>(brightness.view(), radius, threaded, scratch.view());
    filterColumns<true>(scratch.view(), radius, threaded, blackHat.view());
    filterRows<false>(blackHat.view(), radius, threaded, scratch.view());
    filterColumns<false>(scratch.view(), radius, threaded, blackHat.view());
    forRowBands(height, threaded, [&](int from, int to) {
        for (int y = from; y < to; ++y) {
            const std::uint8_t *b = brightness.view().rowData(y);
            std::uint8_t *h = blackHat.view().rowData(y);
            for (int x = 0; x < width; ++x)
                h[x] = std::uint8_t(h[x] - b[x]);
        }
    });

    int reach = 0;
    const std::vector<Probe> probesAtUnitStride = lineProbes(settings.maxWidth, 1, reach);
    const int margin = reach + 1;
    PlaneBuffer<std::uint16_t> sums(width + 2 * margin, height + 2 * margin);
    boxSums(brightness.view(), margin, threaded, sums.view());
    const std::vector<Probe> probes = lineProbes(settings.maxWidth, sums.width(), reach);

    // The brightness plane is no longer needed: it holds the line pixels.
    Plane<std::uint8_t> line = brightness.view();
    classifyLinePixels(blackHat.view(), sums.view(), margin, probes, threaded, line);

    Plane<std::uint8_t> marks = scratch.view();
    forRowBands(height, threaded, [&](int from, int to) {
        for (int y = from; y < to; ++y)
            std::fill_n(marks.rowData(y), width, std::uint8_t(0));
    });
    const int kept = keepWirePieces(line, settings, marks);
    markFringe(blackHat.view(), threaded, marks);
    forRowBands(height, threaded, [&](int from, int to) {
        for (int y = from; y < to; ++y) {
            const std::uint8_t *m = marks.rowData(y);
            std::uint8_t *out = found.rowData(y);
            for (int x = 0; x < width; ++x)
                out[x] = std::uint8_t(out[x] | (m[x] != 0));
        }
    });
    return kept;
}

} // namespace

int detectWiresPrecise(Plane<const Argb> photo, const PreciseSettings &settings,
    Plane<std::uint8_t> marks, Progress *progress)
{
    assert(photo.width == marks.width && photo.height == marks.height);
    const bool threaded = photo.pixelCount() >= threadedPixelCount;
    if (progress)
        progress->start(settings.lightWires ? 2 : 1);
    forRowBands(marks.height, threaded, [&](int from, int to) {
        for (int y = from; y < to; ++y)
            std::fill_n(marks.rowData(y), marks.width, std::uint8_t(0));
    });
    if (photo.isEmpty()) {
        if (progress)
            progress->finish();
        return 0;
    }
    int kept = detectPolarity(photo, settings, false, threaded, marks);
    if (progress)
        progress->step();
    if (settings.lightWires)
        kept += detectPolarity(photo, settings, true, threaded, marks);
    if (progress)
        progress->finish();
    return kept;
}

} // namespace tolvane
