#include "selection/precisedetection.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "selection/planes.h"
#include "selection/workers.h"

namespace tolvane {

namespace {

constexpr int bandRows = 32;

// Thresholds on brightness differences, in steps of 1/255.
constexpr int blackHatLow = 6; // a candidate is this much darker than its closing
constexpr int lineLow = 10; // both sides brighter by this much: a line pixel
constexpr int lineStrong = 16; // ... by this much: a pixel that can start a wire

// The line test's orientations, evenly spread over half a turn.
constexpr int orientations = 8;

// A line pixel: its strength in the low two bits (1 weak, 2 strong), the orientation it was
// found at in the next three, and the top bit once the piece search has reached it.
constexpr std::uint8_t strengthBits = 3;
constexpr std::uint8_t asymmetricBit = 0x40; // one side much brighter than the other
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
    forEachChunk(bands, threaded,
        [&](int band) { fn(band * bandRows, std::min(height, (band + 1) * bandRows)); });
}

void brightnessRow(
    const Argb *__restrict photo, std::uint8_t flip, int count, std::uint8_t *__restrict out)
{
    for (int x = 0; x < count; ++x)
        out[x] = std::uint8_t(brightnessOf(photo[x]) ^ flip);
}

// hat = hat - brightness, entry by entry.
void subtractFrom(
    std::uint8_t *__restrict hat, const std::uint8_t *__restrict brightness, int count)
{
    for (int x = 0; x < count; ++x)
        hat[x] = std::uint8_t(hat[x] - brightness[x]);
}

// Brightness, or 255 minus it for light wires.
void brightnessPlane(Plane<const Argb> photo, bool invert, bool threaded, Plane<std::uint8_t> out)
{
    forRowBands(photo.height, threaded, [&](int from, int to) {
        for (int y = from; y < to; ++y)
            brightnessRow(photo.rowData(y), invert ? 0xFF : 0, photo.width, out.rowData(y));
    });
}

// result = max(result, other) (Greatest) or min, entry by entry.
template <bool Greatest>
inline void combineInto(
    std::uint8_t *__restrict result, const std::uint8_t *__restrict other, int count)
{
    for (int x = 0; x < count; ++x) {
        const std::uint8_t a = result[x];
        const std::uint8_t b = other[x];
        result[x] = Greatest ? (a > b ? a : b) : (a < b ? a : b);
    }
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
            for (int d = 1; d <= 2 * radius; ++d)
                combineInto<Greatest>(result, padded.data() + d, width);
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
            for (int d = -radius + 1; d <= radius; ++d)
                combineInto<Greatest>(result, in.rowData(std::clamp(y + d, 0, last)), width);
        }
    });
}

// 3 x 3 box sums of `brightness` into the middle of `sums`, which is `margin` entries larger on
// every side; the margin repeats the nearest sum.
void boxSums(
    Plane<const std::uint8_t> brightness, int margin, bool threaded, Plane<std::uint16_t> sums)
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

// The samples of the line test in one orientation, as offsets in entries of the sums plane:
// pairs of side samples across the orientation, nearest first, and one pair along it.
struct Probe
{
    std::vector<std::ptrdiff_t> across;
    std::ptrdiff_t along = 0;
};

std::vector<Probe> lineProbes(int maxWidth, std::ptrdiff_t stride, int &reach)
{
    // Side samples from next to a thin wire out to just beyond one of the largest width with
    // its fringe.
    const int farthest = maxWidth / 2 + 3;
    std::vector<int> distances;
    for (int d = 2; d < farthest; ++d)
        distances.push_back(d);
    distances.push_back(farthest);
    constexpr int alongDistance = 3;
    std::vector<Probe> probes;
    reach = alongDistance;
    constexpr double pi = 3.14159265358979323846;
    for (int i = 0; i < orientations; ++i) {
        const double angle = pi * i / orientations;
        const double c = std::cos(angle);
        const double s = std::sin(angle);
        Probe probe;
        for (int d : distances) {
            const int nx = int(std::lround(-d * s));
            const int ny = int(std::lround(d * c));
            reach = std::max({reach, std::abs(nx), std::abs(ny)});
            probe.across.push_back(ny * stride + nx);
        }
        probe.along = std::lround(alongDistance * s) * stride + std::lround(alongDistance * c);
        probes.push_back(std::move(probe));
    }
    return probes;
}

// Line pixels (see strengthBits), 0 elsewhere. In each orientation, each side's brightness is
// the brightest of its samples, so that a wire next to another still sees the gap between
// them; the pixel's score is the darker side's lead over it, less how much brighter the line
// gets along the orientation. The best orientation decides.
// One orientation of the line test over `count` pixels of a row: `sums` points at the row's
// first pixel in the sums plane, `centre` holds 9 times each pixel's brightness. Where the
// orientation scores higher than `best`, it replaces best, orientation and asymmetry.
struct RowScratch
{
    // The best orientation's index times 2, plus 1 when it found the sides uneven.
    std::vector<std::int16_t> centre, one, other, best, tag;
    void resize(int count)
    {
        for (auto *v : {&centre, &one, &other, &best, &tag})
            v->resize(std::size_t(count));
    }
};

void firstSidesOfRow(const std::uint16_t *__restrict sums, std::ptrdiff_t offset, int count,
    std::int16_t *__restrict one, std::int16_t *__restrict other)
{
    for (int x = 0; x < count; ++x) {
        one[x] = std::int16_t(sums[x + offset]);
        other[x] = std::int16_t(sums[x - offset]);
    }
}

void sidesOfRow(const std::uint16_t *__restrict sums, std::ptrdiff_t offset, int count,
    std::int16_t *__restrict one, std::int16_t *__restrict other)
{
    for (int x = 0; x < count; ++x) {
        const std::int16_t a = std::int16_t(sums[x + offset]);
        const std::int16_t b = std::int16_t(sums[x - offset]);
        one[x] = one[x] > a ? one[x] : a;
        other[x] = other[x] > b ? other[x] : b;
    }
}

void scoreRow(const std::uint16_t *__restrict sums, std::ptrdiff_t along, std::int16_t index,
    int count, const std::int16_t *__restrict centre, const std::int16_t *__restrict one,
    const std::int16_t *__restrict other, std::int16_t *__restrict best,
    std::int16_t *__restrict tag)
{
    for (int x = 0; x < count; ++x) {
        const std::int16_t c = centre[x];
        const std::int16_t low = one[x] < other[x] ? one[x] : other[x];
        const std::int16_t high = one[x] < other[x] ? other[x] : one[x];
        const std::int16_t sides = std::int16_t(low - c);
        const std::int16_t a = std::int16_t(sums[x + along]);
        const std::int16_t b = std::int16_t(sums[x - along]);
        std::int16_t ahead = std::int16_t((a > b ? a : b) - c);
        ahead = ahead > 0 ? ahead : 0;
        const std::int16_t score = std::int16_t(sides - ahead);
        // 10 * sides < 6 * (high - c), in 16 bits: sides and high - c stay below 2300.
        const std::int16_t uneven = std::int16_t(5 * sides) < std::int16_t(3 * (high - c))
            ? std::int16_t(1)
            : std::int16_t(0);
        const bool better = score > best[x];
        best[x] = better ? score : best[x];
        tag[x] = better ? std::int16_t(index * 2 + uneven) : tag[x];
    }
}

void classifyLinePixels(Plane<const std::uint8_t> brightness, Plane<const std::uint8_t> blackHat,
    Plane<const std::uint16_t> sums, int margin, const std::vector<Probe> &probes, bool threaded,
    Plane<std::uint8_t> line)
{
    constexpr int low = lineLow * 9;
    constexpr int strong = lineStrong * 9;
    const int width = blackHat.width;
    forRowBands(blackHat.height, threaded, [&](int from, int to) {
        RowScratch r;
        r.resize(width);
        for (int y = from; y < to; ++y) {
            const std::uint8_t *hat = blackHat.rowData(y);
            const std::uint16_t *sumRow = sums.rowData(y + margin) + margin;
            const std::uint8_t *in = brightness.rowData(y);
            for (int x = 0; x < width; ++x)
                r.centre[std::size_t(x)] = std::int16_t(9 * in[x]);
            std::uint8_t *out = line.rowData(y);
            std::fill(r.best.begin(), r.best.end(), std::int16_t(0));
            std::fill(r.tag.begin(), r.tag.end(), std::int16_t(0));
            for (int i = 0; i < orientations; ++i) {
                const Probe &probe = probes[std::size_t(i)];
                // The nearest side samples start the sides, the others raise them.
                firstSidesOfRow(sumRow, probe.across[0], width, r.one.data(), r.other.data());
                for (std::size_t k = 1; k < probe.across.size(); ++k)
                    sidesOfRow(sumRow, probe.across[k], width, r.one.data(), r.other.data());
                scoreRow(sumRow, probe.along, std::int16_t(i), width, r.centre.data(), r.one.data(),
                    r.other.data(), r.best.data(), r.tag.data());
            }
            for (int x = 0; x < width; ++x) {
                const int best = r.best[std::size_t(x)];
                const int strength = hat[x] < blackHatLow ? 0
                    : best >= strong                      ? 2
                    : best >= low                         ? 1
                                                          : 0;
                const int tag = r.tag[std::size_t(x)];
                out[x] = std::uint8_t(strength == 0
                        ? 0
                        : strength | (tag >> 1) << 2 | ((tag & 1) ? asymmetricBit : 0));
            }
        }
    });
}

// A stretch of one piece across one bin of its main axis: pixels that lie together across
// the axis.
struct Cluster
{
    int bin = 0;
    float low = 0; // across the axis
    float high = 0;
    float mean = 0;
    int begin = 0; // its pixels in the piece's sorted order
    int end = 0;
    int asymmetric = 0; // pixels brighter on one side only
    int track = -1;
};

struct Track
{
    int firstBin = 0;
    int lastBin = 0;
    int last = 0; // its newest cluster
    float slope = 0; // across the axis per bin
    float wiggle = 0; // summed distance of each cluster from where the track led
    float widths = 0;
    int clusters = 0;
    int pixels = 0;
    int asymmetric = 0;
};

constexpr int binLength = 4;

// A smooth thin curve of line pixels: its pixels, its length along the main axis of its
// piece, and its two ends with the directions that lead out of them.
struct Curve
{
    std::vector<PixelIndex> pixels;
    float length = 0;
    std::array<float, 2> start {};
    std::array<float, 2> startOut {};
    std::array<float, 2> end {};
    std::array<float, 2> endOut {};
    // The middle of each of its clusters, a bin apart, from start to end.
    std::vector<std::array<float, 2>> path;
};

// Curves shorter than this are not followed; linked ones may be as far apart as the longest gap.
constexpr int shortestCurve = 16;
constexpr int longestGap = 60;
constexpr float coveredShare = 0.75f;
constexpr float longestShare = 0.5f;
constexpr float courseSeenShare = 0.65f;
// Curves across a piece's main axis are sought in what is left of it this many times over.
constexpr int crossingDepth = 2;

std::array<float, 2> unit(float x, float y)
{
    const float length = std::hypot(x, y);
    if (length < 1e-6f)
        return {0, 0};
    return {x / length, y / length};
}

// The 8-connected piece of line pixels not yet visited, of like orientation (neighbours that
// are sameCurve()), that holds `seed` into `piece`, each marked visited. Returns whether it holds
// a strong pixel.
bool growPiece(Plane<std::uint8_t> line, PixelIndex seed, std::vector<PixelIndex> &piece)
{
    const int width = line.width;
    const int height = line.height;
    piece.assign(1, seed);
    line.data[seed] |= visitedBit;
    bool strong = false;
    for (std::size_t k = 0; k < piece.size(); ++k) {
        const int px = int(piece[k] % width);
        const int py = int(piece[k] / width);
        const std::uint8_t here = line.at(px, py);
        strong = strong || (here & strengthBits) == 2;
        for (int dy = -1; dy <= 1; ++dy) {
            const int qy = py + dy;
            if (qy < 0 || qy >= height)
                continue;
            std::uint8_t *neighbours = line.rowData(qy);
            for (int dx = -1; dx <= 1; ++dx) {
                const int qx = px + dx;
                if (qx < 0 || qx >= width || neighbours[qx] == 0 || (neighbours[qx] & visitedBit)
                    || !sameCurve(here, neighbours[qx]))
                    continue;
                neighbours[qx] |= visitedBit;
                piece.push_back(PixelIndex(qy) * width + qx);
            }
        }
    }
    return strong;
}

// The curves in one piece of line pixels, followed bin by bin along its main axis: a piece is
// one wire, two that cross at a small angle or run side by side, or a tangle of branches. The
// curves that are smooth and thin and have both sides brighter go to `curves`; returns their
// number.
int collectCurves(const std::vector<PixelIndex> &piece, Plane<std::uint8_t> line,
    const PreciseSettings &settings, std::vector<Curve> &curves, int depth = 0)
{
    const int width = line.width;
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
    struct Projected
    {
        int bin;
        float across;
        PixelIndex index;
    };
    std::vector<Projected> points;
    points.reserve(piece.size());
    double low = 0;
    double high = 0;
    for (PixelIndex i : piece) {
        const double dx = i % width - mx;
        const double dy = i / width - my;
        low = std::min(low, dx * ux + dy * uy);
        high = std::max(high, dx * ux + dy * uy);
    }
    if (high - low + 1 < shortestCurve)
        return 0;
    for (PixelIndex i : piece) {
        const double dx = i % width - mx;
        const double dy = i / width - my;
        points.push_back({int((dx * ux + dy * uy - low) / binLength), float(dy * ux - dx * uy), i});
    }
    std::sort(points.begin(), points.end(), [](const Projected &a, const Projected &b) {
        return a.bin != b.bin      ? a.bin < b.bin
            : a.across != b.across ? a.across < b.across
                                   : a.index < b.index;
    });

    std::vector<Cluster> clusters;
    for (int k = 0; k < int(points.size()); ++k) {
        const Projected &p = points[std::size_t(k)];
        if (clusters.empty() || clusters.back().bin != p.bin
            || p.across - clusters.back().high > 1.5f) {
            clusters.push_back({p.bin, p.across, p.across, 0, k, k, 0, -1});
        }
        Cluster &c = clusters.back();
        c.high = p.across;
        c.mean += p.across;
        c.end = k + 1;
    }
    // A cluster is asymmetric when the line test found its middle pixel so.
    for (Cluster &c : clusters) {
        c.mean /= float(c.end - c.begin);
        const PixelIndex middle = points[std::size_t(c.begin + c.end) / 2].index;
        c.asymmetric = (line.data[middle] & asymmetricBit) != 0;
    }

    // Each cluster continues the track whose prediction it lies nearest, up to three bins
    // back. Clusters wider than a wire (where texture touches it) belong to no track; the
    // track goes on past them.
    std::vector<Track> tracks;
    const float reach = 2.0f;
    const float widest = 2.0f * float(settings.maxWidth) + 3;
    constexpr int binsBack = 3;
    std::size_t first = 0; // the first cluster of three bins back
    for (std::size_t k = 0; k < clusters.size(); ++k) {
        Cluster &c = clusters[k];
        while (clusters[first].bin < c.bin - binsBack)
            ++first;
        if (c.high - c.low + 1 > widest)
            continue;
        int best = -1;
        float bestDistance = reach;
        for (std::size_t j = first; j < k && clusters[j].bin < c.bin; ++j) {
            const Cluster &before = clusters[j];
            if (before.track < 0)
                continue;
            const Track &track = tracks[std::size_t(before.track)];
            if (track.last != int(j))
                continue;
            const int gap = c.bin - before.bin;
            const float distance = std::abs(before.mean + track.slope * gap - c.mean) / gap;
            if (distance < bestDistance) {
                bestDistance = distance;
                best = before.track;
            }
        }
        if (best < 0) {
            best = int(tracks.size());
            tracks.push_back({c.bin, c.bin, int(k), 0, 0, 0, 0, 0, 0});
        } else {
            Track &track = tracks[std::size_t(best)];
            const Cluster &before = clusters[std::size_t(track.last)];
            const int gap = c.bin - before.bin;
            const float step = (c.mean - before.mean) / gap;
            track.wiggle += std::abs(before.mean + track.slope * gap - c.mean);
            track.slope = track.clusters == 1 ? step : 0.8f * track.slope + 0.2f * step;
            track.lastBin = c.bin;
            track.last = int(k);
        }
        Track &track = tracks[std::size_t(best)];
        c.track = best;
        track.widths += c.high - c.low + 1;
        ++track.clusters;
        track.pixels += c.end - c.begin;
        track.asymmetric += c.asymmetric;
    }

    std::vector<std::vector<int>> members(tracks.size());
    for (int k = 0; k < int(clusters.size()); ++k) {
        if (clusters[std::size_t(k)].track >= 0)
            members[std::size_t(clusters[std::size_t(k)].track)].push_back(k);
    }
    const auto centre = [&](int k) {
        const Cluster &c = clusters[std::size_t(k)];
        const double along = low + (c.bin + 0.5) * binLength;
        return std::array<float, 2> {
            float(mx + along * ux - c.mean * uy), float(my + along * uy + c.mean * ux)};
    };
    // The direction at an end is taken over this many clusters.
    constexpr int endClusters = 6;
    int found = 0;
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        const Track &track = tracks[t];
        const int length = (track.lastBin - track.firstBin + 1) * binLength;
        if (length < shortestCurve || track.clusters < 2)
            continue;
        if (track.widths / float(track.clusters) > float(settings.maxWidth) + 3)
            continue;
        if (track.wiggle / float(track.clusters) > 0.75f)
            continue;
        if (2 * track.asymmetric > track.clusters)
            continue;
        const std::vector<int> &list = members[t];
        const int span = std::min(endClusters, int(list.size()) - 1);
        Curve curve;
        curve.length = float(length);
        curve.start = centre(list.front());
        curve.end = centre(list.back());
        const std::array<float, 2> inStart = centre(list[std::size_t(span)]);
        const std::array<float, 2> inEnd = centre(list[list.size() - 1 - std::size_t(span)]);
        curve.startOut = unit(curve.start[0] - inStart[0], curve.start[1] - inStart[1]);
        curve.endOut = unit(curve.end[0] - inEnd[0], curve.end[1] - inEnd[1]);
        for (int k : list) {
            const Cluster &c = clusters[std::size_t(k)];
            curve.path.push_back(centre(k));
            for (int q = c.begin; q < c.end; ++q)
                curve.pixels.push_back(points[std::size_t(q)].index);
        }
        curves.push_back(std::move(curve));
        ++found;
    }
    if (found == 0 || depth >= crossingDepth)
        return found;
    // Where wires cross, one piece holds them all, and a curve at a large angle to the piece's
    // main axis is not followed along it. What the curves found leave of the piece is searched
    // again, each 8-connected part of it along its own axis. The piece is all the line pixels
    // connected to it, so a part grown from the unvisited ones stays within it.
    for (PixelIndex i : piece)
        line.data[i] &= std::uint8_t(~visitedBit);
    for (std::size_t i = curves.size() - std::size_t(found); i < curves.size(); ++i) {
        for (PixelIndex p : curves[i].pixels)
            line.data[p] |= visitedBit;
    }
    std::vector<PixelIndex> part;
    for (PixelIndex i : piece) {
        if (!(line.data[i] & visitedBit) && growPiece(line, i, part)
            && part.size() >= std::size_t(shortestCurve))
            found += collectCurves(part, line, settings, curves, depth + 1);
    }
    return found;
}

// Joins curves whose ends face each other across a gap, each end to at most one other, nearest
// first: `next` pairs of (curve, end) indices, end 0 the start and 1 the end.
struct EndPoint
{
    std::array<float, 2> at;
    std::array<float, 2> out;
};

std::vector<int> linkCurves(
    const std::vector<Curve> &curves, int maxWidth, std::vector<float> &gaps)
{
    // Union-find over the curves.
    std::vector<int> parent(curves.size());
    for (std::size_t i = 0; i < curves.size(); ++i)
        parent[i] = int(i);
    const auto root = [&](int i) {
        while (parent[std::size_t(i)] != i)
            i = parent[std::size_t(i)] = parent[std::size_t(parent[std::size_t(i)])];
        return i;
    };
    std::vector<EndPoint> ends;
    ends.reserve(2 * curves.size());
    for (const Curve &curve : curves) {
        ends.push_back({curve.start, curve.startOut});
        ends.push_back({curve.end, curve.endOut});
    }
    // Ends into cells of a grid as large as the longest gap.
    const float gapLimit = float(longestGap);
    struct Candidate
    {
        float cost;
        float gap;
        int a;
        int b;
    };
    std::vector<Candidate> candidates;
    std::vector<int> order(ends.size());
    for (std::size_t i = 0; i < ends.size(); ++i)
        order[i] = int(i);
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        return ends[std::size_t(a)].at[0] != ends[std::size_t(b)].at[0]
            ? ends[std::size_t(a)].at[0] < ends[std::size_t(b)].at[0]
            : a < b;
    });
    const float slack = 1.0f + 0.5f * float(maxWidth);
    for (std::size_t i = 0; i < order.size(); ++i) {
        const int a = order[i];
        const EndPoint &ea = ends[std::size_t(a)];
        for (std::size_t j = i + 1; j < order.size(); ++j) {
            const int b = order[j];
            const EndPoint &eb = ends[std::size_t(b)];
            if (eb.at[0] - ea.at[0] > gapLimit)
                break;
            if (a / 2 == b / 2)
                continue;
            const float gx = eb.at[0] - ea.at[0];
            const float gy = eb.at[1] - ea.at[1];
            const float gap = std::hypot(gx, gy);
            if (gap > gapLimit)
                continue;
            // The ends point at each other, and each lies near the other's line.
            if (ea.out[0] * eb.out[0] + ea.out[1] * eb.out[1] > -0.97f)
                continue;
            const float aheadA = gx * ea.out[0] + gy * ea.out[1];
            const float aheadB = -(gx * eb.out[0] + gy * eb.out[1]);
            if (aheadA < -slack || aheadB < -slack)
                continue;
            const float sideA = std::abs(gx * ea.out[1] - gy * ea.out[0]);
            const float sideB = std::abs(gx * eb.out[1] - gy * eb.out[0]);
            const float allowed = slack + 0.06f * gap;
            if (sideA > allowed || sideB > allowed)
                continue;
            candidates.push_back({gap + 4 * (sideA + sideB), gap, a, b});
        }
    }
    std::sort(candidates.begin(), candidates.end(), [](const Candidate &x, const Candidate &y) {
        return x.cost != y.cost ? x.cost < y.cost : x.a != y.a ? x.a < y.a : x.b < y.b;
    });
    std::vector<std::uint8_t> used(ends.size(), 0);
    for (const Candidate &c : candidates) {
        if (used[std::size_t(c.a)] || used[std::size_t(c.b)])
            continue;
        const int ra = root(c.a / 2);
        const int rb = root(c.b / 2);
        if (ra == rb)
            continue;
        used[std::size_t(c.a)] = used[std::size_t(c.b)] = 1;
        parent[std::size_t(std::max(ra, rb))] = std::min(ra, rb);
        gaps[std::size_t(std::min(ra, rb))] += gaps[std::size_t(std::max(ra, rb))] + c.gap;
    }
    for (std::size_t i = 0; i < curves.size(); ++i)
        parent[i] = root(int(i));
    return parent;
}

// Brightness at a point between pixels, by bilinear interpolation; points beyond the plane take
// its nearest edge.
float brightnessAt(Plane<const std::uint8_t> b, float x, float y)
{
    x = std::clamp(x, 0.0f, float(b.width - 1));
    y = std::clamp(y, 0.0f, float(b.height - 1));
    const int x0 = int(x);
    const int y0 = int(y);
    const int x1 = std::min(x0 + 1, b.width - 1);
    const int y1 = std::min(y0 + 1, b.height - 1);
    const float fx = x - float(x0);
    const float fy = y - float(y0);
    const float top = float(b.at(x0, y0)) + fx * float(b.at(x1, y0) - b.at(x0, y0));
    const float bottom = float(b.at(x0, y1)) + fx * float(b.at(x1, y1) - b.at(x0, y1));
    return top + fy * (bottom - top);
}

// A wire's course, in a frame of its own: across = a + b along + c along^2, with `along`
// measured from (ox, oy) in the direction (ux, uy) and `across` at right angles to it (a quarter
// turn clockwise in image coordinates).
struct Course
{
    double ox = 0;
    double oy = 0;
    double ux = 1;
    double uy = 0;
    double a = 0;
    double b = 0;
    double c = 0;
    // Where the course's curves lie along it.
    double low = 0;
    double high = 0;

    double along(std::array<float, 2> p) const { return (p[0] - ox) * ux + (p[1] - oy) * uy; }
    double across(std::array<float, 2> p) const { return (p[1] - oy) * ux - (p[0] - ox) * uy; }
    double offset(std::array<float, 2> p) const
    {
        const double u = along(p);
        return across(p) - (a + b * u + c * u * u);
    }
    // The point of the photo at `u` along the course.
    std::array<double, 2> point(double u) const
    {
        const double v = a + b * u + c * u * u;
        return {ox + u * ux - v * uy, oy + u * uy + v * ux};
    }
    // The point at `u`, and the unit vector across the course there.
    struct Frame
    {
        float x = 0;
        float y = 0;
        float nx = 0;
        float ny = 0;
    };
    Frame frame(double u) const
    {
        const double slope = b + 2 * c * u;
        const std::array<float, 2> along = unit(float(ux - slope * uy), float(uy + slope * ux));
        const std::array<double, 2> at = point(u);
        return {float(at[0]), float(at[1]), -along[1], along[0]};
    }
};

// The course is fitted through the middles of a wire's clusters, which lie within about half a
// pixel of it, with its curvature held towards 0: a hanging wire bends by up to about 3e-4 per
// pixel (a sag of 75 pixels over 1000).
constexpr double courseNoise = 0.5;
constexpr double curvaturePrior = 3e-4;
// A curve joins a wire's course when no middle of it lies further off than this.
constexpr double courseTolerance = 2.0;
// The walk along a course: the darkest point across it is sought this far either side, and the
// wire is there when that point lies this much below both sides.
constexpr float walkSearch = 1.0f;
constexpr float walkContrast = 5.0f;
// How many times a course may be fitted again through what its walk saw.
constexpr int courseRefits = 3;

// The axis of the points (their mean and main direction) into `course`.
void placeCourse(const std::vector<std::array<float, 2>> &points, Course &course)
{
    double mx = 0;
    double my = 0;
    for (const std::array<float, 2> &p : points) {
        mx += p[0];
        my += p[1];
    }
    mx /= double(points.size());
    my /= double(points.size());
    double cxx = 0;
    double cyy = 0;
    double cxy = 0;
    for (const std::array<float, 2> &p : points) {
        cxx += (p[0] - mx) * (p[0] - mx);
        cyy += (p[1] - my) * (p[1] - my);
        cxy += (p[0] - mx) * (p[1] - my);
    }
    const double angle = 0.5 * std::atan2(2 * cxy, cxx - cyy);
    course.ox = mx;
    course.oy = my;
    course.ux = std::cos(angle);
    course.uy = std::sin(angle);
}

// Least squares of a, b and c through the points in the course's frame, the curvature's prior
// added as one more equation; and the span of the points along it.
void fitCourse(const std::vector<std::array<float, 2>> &points, Course &course)
{
    double m[3][3] = {};
    double r[3] = {};
    course.low = std::numeric_limits<double>::max();
    course.high = std::numeric_limits<double>::lowest();
    for (const std::array<float, 2> &p : points) {
        const double u = course.along(p);
        const double v = course.across(p);
        course.low = std::min(course.low, u);
        course.high = std::max(course.high, u);
        const double f[3] = {1, u, u * u};
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j)
                m[i][j] += f[i] * f[j];
            r[i] += f[i] * v;
        }
    }
    m[2][2] += courseNoise * courseNoise / (curvaturePrior * curvaturePrior);
    // Gaussian elimination with partial pivoting; the points span more than a few pixels, so the
    // system is well posed.
    for (int col = 0; col < 3; ++col) {
        int pivot = col;
        for (int row = col + 1; row < 3; ++row) {
            if (std::abs(m[row][col]) > std::abs(m[pivot][col]))
                pivot = row;
        }
        std::swap(m[col], m[pivot]);
        std::swap(r[col], r[pivot]);
        for (int row = col + 1; row < 3; ++row) {
            const double k = m[row][col] / m[col][col];
            for (int j = col; j < 3; ++j)
                m[row][j] -= k * m[col][j];
            r[row] -= k * r[col];
        }
    }
    double x[3];
    for (int i = 2; i >= 0; --i) {
        double sum = r[i];
        for (int j = i + 1; j < 3; ++j)
            sum -= m[i][j] * x[j];
        x[i] = sum / m[i][i];
    }
    course.a = x[0];
    course.b = x[1];
    course.c = x[2];
}

// The curves that lie on a wire's course join it: the course is fitted through the wire's
// curves; every curve not yet `taken` that reaches to within half the wire's span (or the longest
// gap) beyond its ends and keeps within courseTolerance of it joins; and the course is fitted
// again with them, until none joins. Returns the last course; `taken` is set for the curves that
// joined. Curves of a wire lost among texture, or hidden behind a tree, join so.
Course gatherAlongCourse(const std::vector<Curve> &curves, const std::vector<int> &wire,
    std::vector<std::uint8_t> &taken, std::vector<std::array<float, 2>> &points)
{
    points.clear();
    for (int i : wire)
        points.insert(
            points.end(), curves[std::size_t(i)].path.begin(), curves[std::size_t(i)].path.end());
    Course course;
    placeCourse(points, course);
    for (;;) {
        fitCourse(points, course);
        const double reach = std::max(double(longestGap), 0.5 * (course.high - course.low));
        bool grew = false;
        for (std::size_t j = 0; j < curves.size(); ++j) {
            const std::vector<std::array<float, 2>> &path = curves[j].path;
            if (taken[j] || path.empty())
                continue;
            const double u0 = course.along(path.front());
            const double u1 = course.along(path.back());
            if (std::max(u0, u1) < course.low - reach || std::min(u0, u1) > course.high + reach)
                continue;
            if (!std::all_of(path.begin(), path.end(), [&](const std::array<float, 2> &p) {
                    return std::abs(course.offset(p)) <= courseTolerance;
                }))
                continue;
            taken[j] = 1;
            points.insert(points.end(), path.begin(), path.end());
            grew = true;
        }
        if (!grew)
            return course;
    }
}

// Walks a wire's course a pixel at a time and adds to `pixels` the wire's pixels wherever the
// brightness across the course shows it: the darkest point within walkSearch of the course lies
// walkContrast below the mean of either side (2 to maxWidth / 2 + 3 pixels from it; only the
// other side where one reaches beyond the photo); its pixels are those of the photo next to it
// that stay darker than the darker side by a fifth of that contrast (at least 3), up to
// maxWidth / 2 + 1 either way. That is all along the span of its curves, and beyond each end on
// to maxWidth / 2 pixels beyond the photo's edge, as far as the wire was seen over at least half
// of the steps and never missed over more than the longest gap. Returns the steps where the wire
// was seen with both sides in the photo (beside the photo's edge, a line seen on one side only
// is as much an edge of something), and adds the darkest point of each step where it was seen to
// `middles`.
//
// With `owners` given (a wire's number at each of its pixels, 0 elsewhere), a side's samples on
// the pixels of a wire other than `self` do not count: next to another wire, the background is
// what lies between the two. A side counts where at least two of its samples do.
int walkCourse(Plane<const std::uint8_t> brightness, const Course &k, int maxWidth,
    std::vector<PixelIndex> &pixels, std::vector<std::array<float, 2>> &middles,
    const std::uint16_t *owners = nullptr, std::uint16_t self = 0)
{
    const int width = brightness.width;
    const int height = brightness.height;
    const float farthest = float(maxWidth / 2 + 3);
    const int sideSamples = int(2 * (farthest - 2)) + 1;
    // The wire's pixels at `u` along the course into `out`: 2 when seen with both sides, 1 with
    // one, 0 when not, -1 beyond the photo (or nowhere, were the course not finite).
    const auto wireAt = [&](double u, std::vector<PixelIndex> &out,
                            std::vector<std::array<float, 2>> &centres) {
        const Course::Frame f = k.frame(u);
        const float cx = f.x;
        const float cy = f.y;
        const float nx = f.nx;
        const float ny = f.ny;
        // Up to half a wire beyond the photo, the wire still covers its edge pixels.
        const float margin = float(maxWidth / 2);
        if (!(cx >= -margin && cy >= -margin && cx <= float(width - 1) + margin
                && cy <= float(height - 1) + margin))
            return -1;
        const auto across
            = [&](float d) { return brightnessAt(brightness, cx + d * nx, cy + d * ny); };
        float darkest = across(0);
        float middle = 0;
        for (float d = 0.5f; d <= walkSearch; d += 0.5f) {
            for (float signed_ : {-d, d}) {
                const float value = across(signed_);
                if (value < darkest) {
                    darkest = value;
                    middle = signed_;
                }
            }
        }
        // A side that reaches beyond the photo would take the edge's pixels, the wire's
        // own where it meets the edge at a shallow angle: only the other side counts then.
        const auto inside = [&](float d) {
            const float x = cx + d * nx;
            const float y = cy + d * ny;
            return x >= 0 && y >= 0 && x <= float(width - 1) && y <= float(height - 1);
        };
        const float last = 2 + 0.5f * float(sideSamples - 1);
        const bool oneInside = inside(middle + last);
        const bool otherInside = inside(middle - last);
        const auto free = [&](float d) {
            if (!owners)
                return true;
            const int qx = int(std::lround(cx + d * nx));
            const int qy = int(std::lround(cy + d * ny));
            const std::uint16_t owner = owners[PixelIndex(std::clamp(qy, 0, height - 1)) * width
                + std::clamp(qx, 0, width - 1)];
            return owner == 0 || owner == self;
        };
        float one = 0;
        float other = 0;
        int ones = 0;
        int others = 0;
        for (int i = 0; i < sideSamples; ++i) {
            const float d = 2 + 0.5f * float(i);
            if (free(middle + d)) {
                one += across(middle + d);
                ++ones;
            }
            if (free(middle - d)) {
                other += across(middle - d);
                ++others;
            }
        }
        const bool oneCounts = oneInside && ones >= 2;
        const bool otherCounts = otherInside && others >= 2;
        if (!oneCounts && !otherCounts)
            return 0;
        float background = 0;
        if (!oneCounts)
            background = other / float(others);
        else if (!otherCounts)
            background = one / float(ones);
        else
            background = std::min(one / float(ones), other / float(others));
        const float contrast = background - darkest;
        if (contrast < walkContrast)
            return 0;
        centres.push_back({cx + middle * nx, cy + middle * ny});
        const float limit = background - std::max(3.0f, 0.2f * contrast);
        for (int sign : {1, -1}) {
            for (int i = sign > 0 ? 0 : 1; i <= maxWidth / 2 + 1; ++i) {
                const float d = middle + float(sign * i);
                const int qx = int(std::lround(cx + d * nx));
                const int qy = int(std::lround(cy + d * ny));
                if (qx < 0 || qy < 0 || qx >= width || qy >= height)
                    continue;
                if (float(brightness.at(qx, qy)) > limit)
                    break;
                out.push_back(PixelIndex(qy) * width + qx);
            }
        }
        return oneCounts && otherCounts ? 2 : 1;
    };
    int seenSteps = 0;
    for (double u = k.low; u <= k.high; u += 1)
        seenSteps += wireAt(u, pixels, middles) == 2;
    for (const double direction : {-1.0, 1.0}) {
        std::vector<PixelIndex> beyond;
        std::vector<std::array<float, 2>> beyondMiddles;
        std::size_t kept = 0;
        std::size_t keptMiddles = 0;
        int lead = 0;
        int best = 0;
        int misses = 0;
        int seen = 0;
        int seenAtBest = 0;
        for (double step = 1;; step += 1) {
            const int here = wireAt(
                (direction < 0 ? k.low : k.high) + direction * step, beyond, beyondMiddles);
            if (here < 0)
                break;
            if (here == 0) {
                --lead;
                if (++misses > longestGap)
                    break;
                continue;
            }
            misses = 0;
            ++lead;
            seen += here == 2;
            if (lead >= best) {
                best = lead;
                kept = beyond.size();
                keptMiddles = beyondMiddles.size();
                seenAtBest = seen;
            }
        }
        pixels.insert(pixels.end(), beyond.begin(), beyond.begin() + std::ptrdiff_t(kept));
        middles.insert(middles.end(), beyondMiddles.begin(),
            beyondMiddles.begin() + std::ptrdiff_t(keptMiddles));
        seenSteps += seenAtBest;
    }
    return seenSteps;
}

// A wire does not end in open sky: it goes on to the photo's edge, or into something that hides
// it (a pole, a building, a tree). A branch's tip, or the end of a shore, does end there.
// Whether the course beyond `end` (its last step where the walk saw the line), going on in
// `direction`, runs over open ground for openSteps steps from the second on (the first may
// still hold the line's fading tip): no line within openSearch of the course there (the walk's
// test), ground beside it no more than openShift from the ground openFar to openFar + 5 pixels
// either side of the course a step before `end` (the ground the line ran over, clear of its
// own blur), and where the line, as dark as it is at `end`, would show by openShown.
constexpr int openSteps = 8;
constexpr float openSearch = 2.0f;
constexpr float openFar = 10.0f;
constexpr float openShift = 20.0f;
constexpr float openShown = 2 * walkContrast;

bool endsInOpenGround(Plane<const std::uint8_t> brightness, const Course &k, double end,
    double direction, int maxWidth)
{
    const float farthest = float(maxWidth / 2 + 3);
    const int width = brightness.width;
    const int height = brightness.height;
    // At `u` along the course: the ground's mean beside it (2 to farthest pixels off), farther
    // off (openFar to openFar + 5), the darkest within openSearch and the strongest line there;
    // nothing when a sample lies beyond the photo.
    struct Ground
    {
        float near = 0;
        float far = 0;
        float darkest = 0;
        float contrast = 0;
    };
    const auto groundAt = [&](double u) -> std::optional<Ground> {
        const Course::Frame f = k.frame(u);
        const float cx = f.x;
        const float cy = f.y;
        const float nx = f.nx;
        const float ny = f.ny;
        const float reach = std::max(openSearch + farthest, openFar + 5);
        for (float d : {-reach, reach}) {
            const float x = cx + d * nx;
            const float y = cy + d * ny;
            if (!(x >= 0 && y >= 0 && x <= float(width - 1) && y <= float(height - 1)))
                return std::nullopt;
        }
        const auto across
            = [&](float d) { return brightnessAt(brightness, cx + d * nx, cy + d * ny); };
        const auto meanOver = [&](float from, float to) {
            float sum = 0;
            int count = 0;
            for (float d = from; d <= to; d += 0.5f) {
                sum += across(d) + across(-d);
                count += 2;
            }
            return sum / float(count);
        };
        Ground ground;
        ground.near = meanOver(2, farthest);
        ground.far = meanOver(openFar, openFar + 5);
        ground.darkest = across(-openSearch);
        for (float m = -openSearch; m <= openSearch; m += 0.5f) {
            float one = 0;
            float other = 0;
            for (float d = 2; d <= farthest; d += 0.5f) {
                one += across(m + d);
                other += across(m - d);
            }
            const float sides = std::min(one, other) / (2 * (farthest - 2) + 1);
            ground.contrast = std::max(ground.contrast, sides - across(m));
            ground.darkest = std::min(ground.darkest, across(m));
        }
        return ground;
    };
    const std::optional<Ground> atEnd = groundAt(end);
    const std::optional<Ground> before = groundAt(end - direction);
    if (!atEnd || !before)
        return false;
    for (int step = 2; step <= 1 + openSteps; ++step) {
        const std::optional<Ground> ground = groundAt(end + direction * step);
        if (!ground || ground->contrast >= walkContrast || ground->near - atEnd->darkest < openShown
            || std::abs(ground->near - before->far) > openShift)
            return false;
    }
    return true;
}

// The steps of the course that lie inside a photo of `width` x `height`: those along its curves,
// and on from either end to the photo's edge.
int stepsInside(const Course &k, int width, int height)
{
    const auto within = [&](double u) {
        const std::array<double, 2> at = k.point(u);
        return at[0] >= 0 && at[1] >= 0 && at[0] <= width - 1 && at[1] <= height - 1;
    };
    int inside = 0;
    for (double u = k.low; u <= k.high; u += 1)
        inside += within(u);
    for (double u = k.low - 1; within(u); u -= 1)
        ++inside;
    for (double u = k.high + 1; within(u); u += 1)
        ++inside;
    return inside;
}

// A wire kept: its course, the pixels its walk marked, and its curves.
struct Followed
{
    Course course;
    std::vector<PixelIndex> pixels;
    std::vector<int> curves;
};

// Whether a walk that saw the line over `seen` steps of `course` saw a wire: over `needed`
// steps, or over `least` and courseSeenShare of the course's steps inside the photo.
bool seenEnough(float seen, const Course &course, int width, int height, float needed, float least)
{
    return seen >= needed
        || (seen >= least && seen / float(stepsInside(course, width, height)) >= courseSeenShare);
}

// Wires strung together run side by side, and a thin one close beside another can fail the
// line test where that side falls on the other: no curve of it is found. Each kept wire's
// course is walked again at companionOffsets pixels either side of it, with the wires' pixels
// left out of the background. Where the line the walk finds there lies on no wire's pixels,
// companionDepth below the ground on its far side, and half that below the ground companionGap
// pixels towards the wire (ground between the two, not the wire's own edge, nor another wire
// already kept), it is seen; seen enough (seenEnough()), it is a wire too. Returns the wires
// added to `wires`.
constexpr std::array<int, 2> companionOffsets = {4, 6};
constexpr float companionDepth = 20.0f;
constexpr float companionGap = 1.5f;
constexpr double companionProbe = 8;
constexpr float companionProbed = 0.25f;

// Each wire's number at its pixels (walk and curves), 0 elsewhere: wire n is n + 1.
std::uint16_t wireNumber(std::size_t n)
{
    return std::uint16_t(std::min<std::size_t>(n + 1, 0xFFFF));
}

void ownPixels(const std::vector<Curve> &curves, const Followed &wire, std::uint16_t number,
    std::vector<std::uint16_t> &owners)
{
    for (PixelIndex p : wire.pixels)
        owners[p] = number;
    for (int i : wire.curves) {
        for (PixelIndex p : curves[std::size_t(i)].pixels)
            owners[p] = number;
    }
}

int findCompanions(Plane<const std::uint8_t> brightness, Plane<const std::uint8_t> line,
    int maxWidth, const std::vector<Curve> &curves, float needed, float least,
    std::vector<Followed> &wires, std::vector<std::uint16_t> &owners)
{
    const int width = brightness.width;
    const int height = brightness.height;
    const std::size_t kept = wires.size();
    int added = 0;
    for (std::size_t n = 0; n < kept; ++n) {
        for (const int offset : companionOffsets) {
            for (const int side : {-1, 1}) {
                Course course = wires[n].course;
                course.a += side * offset;
                // Only where line pixels lie along the course, every companionProbe steps
                // within a pixel of it, at least companionProbed of the time, is it walked.
                int probes = 0;
                int hits = 0;
                for (double u = course.low; u <= course.high; u += companionProbe) {
                    const Course::Frame at = course.frame(u);
                    ++probes;
                    for (const float d : {-1.0f, 0.0f, 1.0f}) {
                        const int x = int(std::lround(at.x + d * at.nx));
                        const int y = int(std::lround(at.y + d * at.ny));
                        if (x >= 0 && y >= 0 && x < width && y < height
                            && (line.at(x, y) & strengthBits) != 0) {
                            ++hits;
                            break;
                        }
                    }
                }
                if (float(hits) < companionProbed * float(probes))
                    continue;
                std::vector<PixelIndex> pixels;
                std::vector<std::array<float, 2>> middles;
                walkCourse(brightness, course, maxWidth, pixels, middles, owners.data());
                float seen = 0;
                for (const std::array<float, 2> &m : middles) {
                    const int x = std::clamp(int(std::lround(m[0])), 0, width - 1);
                    const int y = std::clamp(int(std::lround(m[1])), 0, height - 1);
                    if (owners[PixelIndex(y) * width + x] != 0)
                        continue;
                    const Course::Frame frame = course.frame(course.along(m));
                    float ground = 0;
                    int samples = 0;
                    for (float d = 2; d <= 4; d += 0.5f, ++samples)
                        ground += brightnessAt(brightness, m[0] + float(side) * d * frame.nx,
                            m[1] + float(side) * d * frame.ny);
                    const float middle = brightnessAt(brightness, m[0], m[1]);
                    const float between
                        = brightnessAt(brightness, m[0] - float(side) * companionGap * frame.nx,
                            m[1] - float(side) * companionGap * frame.ny);
                    seen += ground / float(samples) - middle >= companionDepth
                        && between - middle >= companionDepth / 2;
                }
                if (!seenEnough(seen, course, width, height, needed, least))
                    continue;
                Followed &companion = wires.emplace_back();
                companion.course = course;
                for (PixelIndex p : pixels) {
                    if (owners[p] == 0)
                        companion.pixels.push_back(p);
                }
                ownPixels(curves, companion, wireNumber(wires.size() - 1), owners);
                ++added;
            }
        }
    }
    return added;
}

// Next to another wire, a walk's background on that side fell on the other wire, and the wire
// was not seen there. Each of the wires is walked once more along its course, with the other
// wires' pixels left out of its background, and adds to `walked` what it sees; whether it is a
// wire stays as decided.
void walkBesideOthers(Plane<const std::uint8_t> brightness, int maxWidth,
    const std::vector<Followed> &wires, const std::vector<std::uint16_t> &owners,
    std::vector<PixelIndex> &walked)
{
    if (wires.size() < 2)
        return;
    std::vector<std::array<float, 2>> middles;
    for (std::size_t n = 0; n < wires.size(); ++n)
        walkCourse(
            brightness, wires[n].course, maxWidth, walked, middles, owners.data(), wireNumber(n));
}

// Finds the wires among the line pixels, setting their pixels in `marks` to 1, and returns
// their number: the curves of the 8-connected pieces of line pixels of like orientation
// (neighbours that are sameCurve()) that hold a strong pixel, linked across gaps. Pieces are
// searched in raster order of their first pixel. Curves with more than a fifth of their pixels
// in `excluded` (when not empty) are left out. With `spanning`, a wire is kept only where its
// walk sees it over courseSeenShare of its way through the photo.
int keepWirePieces(Plane<std::uint8_t> line, Plane<const std::uint8_t> brightness,
    const PreciseSettings &settings, Plane<const std::uint8_t> excluded, bool spanning,
    Plane<std::uint8_t> marks)
{
    const int width = line.width;
    const int height = line.height;
    std::vector<PixelIndex> piece;
    std::vector<Curve> curves;
    for (int y = 0; y < height; ++y) {
        std::uint8_t *row = line.rowData(y);
        for (int x = 0; x < width; ++x) {
            if (row[x] == 0 || (row[x] & visitedBit))
                continue;
            if (growPiece(line, PixelIndex(y) * width + x, piece))
                collectCurves(piece, line, settings, curves);
        }
    }
    // Wires are the linked curves that are long enough together.
    if (!excluded.isEmpty()) {
        std::erase_if(curves, [&](const Curve &curve) {
            std::size_t inside = 0;
            for (PixelIndex p : curve.pixels)
                inside += excluded.at(p % width, p / width) != 0;
            return 5 * inside > curve.pixels.size();
        });
    }
    std::vector<float> gaps(curves.size(), 0);
    const std::vector<int> group = linkCurves(curves, settings.maxWidth, gaps);
    std::vector<float> lengths(curves.size(), 0);
    std::vector<float> longest(curves.size(), 0);
    for (std::size_t i = 0; i < curves.size(); ++i) {
        lengths[std::size_t(group[i])] += curves[i].length;
        longest[std::size_t(group[i])] = std::max(longest[std::size_t(group[i])], curves[i].length);
    }
    // A chain at least `share` of the wire length long, seen over most of its length; a wire
    // is one as long as the wire length, seen in one stretch over a good part of it.
    const auto isChain = [&](int g, float share, float covered = coveredShare) {
        const float length = lengths[std::size_t(g)];
        return length >= share * float(settings.minLength)
            && length >= covered * (length + gaps[std::size_t(g)]);
    };
    const auto isWire = [&](int g) {
        return isChain(g, 1.0f)
            && longest[std::size_t(g)] >= longestShare * float(settings.minLength);
    };
    std::vector<std::uint8_t> wire(curves.size(), 0);
    for (std::size_t i = 0; i < curves.size(); ++i)
        wire[i] = isWire(group[i]);

    // Each wire gathers the curves along its course, and its pixels are sought all along it.
    // follow() does both for the curves of `list`, leaving the curves of `skip` to others, and
    // keeps what it found when the walk saw the wire over `needed` steps or more, or over
    // `least` steps and courseSeenShare of the course's steps inside the photo (and, with
    // `spanning`, only then). The curves of a chain it does not keep are not marked.
    std::vector<std::uint8_t> gathered = wire;
    std::vector<Followed> followed;
    const auto follow = [&](const std::vector<int> &list, const std::vector<std::uint8_t> &skip,
                            float needed, float least) {
        std::vector<std::uint8_t> taken = skip;
        for (int i : list)
            taken[std::size_t(i)] = 1;
        std::vector<std::array<float, 2>> points;
        Course course = gatherAlongCourse(curves, list, taken, points);
        std::vector<PixelIndex> pixels;
        std::vector<std::array<float, 2>> middles;
        float seen = float(walkCourse(brightness, course, settings.maxWidth, pixels, middles));
        const auto seenShare
            = [&](const Course &k) { return seen / float(stepsInside(k, width, height)); };
        bool kept = seenEnough(seen, course, width, height, needed, least);
        // A course fitted through one part of a hanging wire parts from it some way beyond
        // that part. Fitted again through the curves and the middles of the line the walk saw,
        // and walked again, it follows the wire further, for as long as it sees more. A chain
        // the first walk did not keep is kept when the walk now sees the line over `needed`
        // steps and courseSeenShare of its way through the photo.
        for (int round = 0; round < courseRefits; ++round) {
            std::vector<std::array<float, 2>> through = points;
            through.insert(through.end(), middles.begin(), middles.end());
            Course refitted = course;
            fitCourse(through, refitted);
            std::vector<PixelIndex> morePixels;
            std::vector<std::array<float, 2>> moreMiddles;
            const float more = float(
                walkCourse(brightness, refitted, settings.maxWidth, morePixels, moreMiddles));
            if (more <= seen)
                break;
            course = refitted;
            seen = more;
            pixels.swap(morePixels);
            middles.swap(moreMiddles);
            kept = kept || (seen >= needed && seenShare(course) >= courseSeenShare);
        }
        // The line's last steps that the walk saw, either way along the course.
        double first = std::numeric_limits<double>::max();
        double last = std::numeric_limits<double>::lowest();
        for (const std::array<float, 2> &m : middles) {
            first = std::min(first, course.along(m));
            last = std::max(last, course.along(m));
        }
        if (kept && !middles.empty()
            && (endsInOpenGround(brightness, course, first, -1, settings.maxWidth)
                || endsInOpenGround(brightness, course, last, 1, settings.maxWidth)))
            kept = false;
        if (!kept || (spanning && seenShare(course) < courseSeenShare)) {
            for (int i : list)
                gathered[std::size_t(i)] = 0;
            return;
        }
        Followed &done = followed.emplace_back();
        done.course = course;
        done.pixels = std::move(pixels);
        done.curves = list; // and those that joined it (a seed's own come twice: no matter)
        for (std::size_t i = 0; i < curves.size(); ++i) {
            if (taken[i] && !skip[i])
                done.curves.push_back(int(i));
            gathered[i] = gathered[i] || (taken[i] && !skip[i]);
        }
    };
    std::vector<std::vector<int>> wires(curves.size());
    for (std::size_t i = 0; i < curves.size(); ++i) {
        if (wire[i])
            wires[std::size_t(group[i])].push_back(int(i));
    }
    for (const std::vector<int> &list : wires) {
        if (!list.empty())
            follow(list, wire, 0, 0);
    }
    // A chain a third as long as a wire (half, for light lines, which are more often something
    // else) is a wire too when a thin dark line shows along its course over three wire lengths:
    // a wire whose pieces were too short for a chain of their own, where it crossed texture or
    // was hidden. Where the course's way through the photo is too short for that (a steep wire
    // across a wide photo), two wire lengths will do when they are courseSeenShare of that way.
    // So is a chain of curves as long as a wire together, seen over half its length.
    constexpr float seedCovered = 0.5f;
    const float seedShare = spanning ? 0.5f : 0.35f;
    std::vector<std::vector<int>> seeds(curves.size());
    for (std::size_t i = 0; i < curves.size(); ++i) {
        if (!gathered[i] && (isChain(group[i], seedShare) || isChain(group[i], 1.0f, seedCovered)))
            seeds[std::size_t(group[i])].push_back(int(i));
    }
    for (const std::vector<int> &list : seeds) {
        if (!list.empty() && !gathered[std::size_t(list.front())])
            follow(
                list, gathered, 3.0f * float(settings.minLength), 2.0f * float(settings.minLength));
    }
    std::vector<PixelIndex> besideOthers;
    if (!followed.empty()) {
        std::vector<std::uint16_t> owners(brightness.pixelCount(), 0);
        for (std::size_t n = 0; n < followed.size(); ++n)
            ownPixels(curves, followed[n], wireNumber(n), owners);
        findCompanions(brightness, line, settings.maxWidth, curves,
            3.0f * float(settings.minLength), 2.0f * float(settings.minLength), followed, owners);
        walkBesideOthers(brightness, settings.maxWidth, followed, owners, besideOthers);
    }
    const auto markWalked = [&](const std::vector<PixelIndex> &walked) {
        for (PixelIndex p : walked) {
            if (excluded.isEmpty() || excluded.at(p % width, p / width) == 0)
                marks.at(p % width, p / width) = 1;
        }
    };
    for (const Followed &done : followed)
        markWalked(done.pixels);
    markWalked(besideOthers);
    for (std::size_t i = 0; i < curves.size(); ++i) {
        if (!gathered[i])
            continue;
        for (PixelIndex p : curves[i].pixels)
            marks.at(p % width, p / width) = 1;
    }
    return int(followed.size());
}

// The closing covers a square that any wire of the largest width crosses, at any angle, with
// its fringe.
int blackHatRadius(int maxWidth)
{
    return std::max(2, maxWidth);
}

void computeBlackHat(Plane<const std::uint8_t> brightness, int radius, bool threaded,
    Plane<std::uint8_t> scratch, Plane<std::uint8_t> hat)
{
    filterRows<true>(brightness, radius, threaded, scratch);
    filterColumns<true>(scratch, radius, threaded, hat);
    filterRows<false>(hat, radius, threaded, scratch);
    filterColumns<false>(scratch, radius, threaded, hat);
    forRowBands(brightness.height, threaded, [&](int from, int to) {
        for (int y = from; y < to; ++y)
            subtractFrom(hat.rowData(y), brightness.rowData(y), brightness.width);
    });
}

void findLinePixels(Plane<const std::uint8_t> brightness, Plane<const std::uint8_t> hat,
    int maxWidth, bool threaded, Plane<std::uint8_t> line)
{
    int reach = 0;
    lineProbes(maxWidth, 1, reach);
    const int margin = reach + 1;
    PlaneBuffer<std::uint16_t> sums(brightness.width + 2 * margin, brightness.height + 2 * margin);
    boxSums(brightness, margin, threaded, sums.view());
    const std::vector<Probe> probes = lineProbes(maxWidth, sums.width(), reach);
    classifyLinePixels(brightness, hat, sums.view(), margin, probes, threaded, line);
}

// The outer edge of the fringe (see precisestages::fringeEdges): how deep the marks must be
// below the background, what share of that depth a pixel must reach, and how smooth the
// surroundings must be.
constexpr int fringeDepth = 20;
constexpr int fringeShare = 5; // a pixel lies 1 / fringeShare of the depth below the background
constexpr int fringeRoughness = 3;
constexpr int fringeWindow = 7; // the square's half side
constexpr int fringeClear = 3; // farther than this from every mark: background
// Where every pixel of the square lies near the marks (between wires close together), the
// surroundings tell nothing, and a pixel must lie 1 / fringeDeepShare of the depth below.
constexpr int fringeDeepShare = 2;

// Whether the pixels around (x, y) away from the marks vary by less than fringeRoughness on
// average: |9 B - S| / 9, with S the 3 x 3 box sums of brightness B. Nothing when there are none
// (between wires close together).
std::optional<bool> smoothAround(Plane<const std::uint8_t> brightness,
    Plane<const std::uint16_t> sums, Plane<const std::uint8_t> nearMarks, int x, int y)
{
    int count = 0;
    int sum = 0;
    for (int v = std::max(0, y - fringeWindow);
         v <= std::min(brightness.height - 1, y + fringeWindow); ++v) {
        const std::uint8_t *bright = brightness.rowData(v);
        const std::uint16_t *box = sums.rowData(v);
        const std::uint8_t *near = nearMarks.rowData(v);
        for (int u = std::max(0, x - fringeWindow);
             u <= std::min(brightness.width - 1, x + fringeWindow); ++u) {
            if (!near[u]) {
                ++count;
                sum += std::abs(9 * bright[u] - box[u]) / 9;
            }
        }
    }
    if (count == 0)
        return std::nullopt;
    return sum < fringeRoughness * count;
}

// precisestages::fringeEdges, in bands of rows, with its planes given.
void markFringeEdges(Plane<const std::uint8_t> brightness, Plane<const std::uint8_t> marks,
    bool threaded, Plane<std::uint8_t> scratch, Plane<std::uint8_t> nearMarks,
    Plane<std::uint8_t> found)
{
    const int width = brightness.width;
    const int height = brightness.height;
    filterRows<true>(marks, fringeClear, threaded, scratch);
    filterColumns<true>(scratch, fringeClear, threaded, nearMarks);
    PlaneBuffer<std::uint16_t> sums(width, height);
    boxSums(brightness, 0, threaded, sums.view());
    constexpr int steps[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
    forRowBands(height, threaded, [&](int from, int to) {
        for (int y = from; y < to; ++y) {
            const std::uint8_t *mark = marks.rowData(y);
            const std::uint8_t *bright = brightness.rowData(y);
            const std::uint8_t *near = nearMarks.rowData(y);
            std::uint8_t *out = found.rowData(y);
            for (int x = 0; x < width; ++x) {
                if (mark[x] || !near[x])
                    continue;
                bool take = false;
                bool deep = false;
                for (const auto &step : steps) {
                    const int bx = x + step[0];
                    const int by = y + step[1];
                    if (bx < 0 || bx >= width || by < 0 || by >= height || marks.at(bx, by))
                        continue;
                    const int background = brightness.at(bx, by);
                    int deepest = 0;
                    for (int k = 1; k <= 4; ++k) {
                        const int mx = x - k * step[0];
                        const int my = y - k * step[1];
                        if (mx < 0 || mx >= width || my < 0 || my >= height || !marks.at(mx, my))
                            break;
                        deepest = std::max(deepest, background - brightness.at(mx, my));
                    }
                    if (deepest >= fringeDepth) {
                        take = take || fringeShare * (background - bright[x]) >= deepest;
                        deep = deep || fringeDeepShare * (background - bright[x]) >= deepest;
                    }
                }
                if (!take)
                    continue;
                const std::optional<bool> smooth
                    = smoothAround(brightness, sums.view(), nearMarks, x, y);
                if (smooth ? *smooth : deep)
                    out[x] = 1;
            }
        }
    });
}

// The longest gap across the marks that closeGaps() closes.
constexpr int closedGap = 2;
// A gap lighter than its ends is closed where it lies gapBelowBackdrop below the backdrop on
// both sides: the brightest of the first gapBackdropPixels unmarked entries past the marks,
// which it crosses for up to gapBackdropReach entries.
constexpr int gapBelowBackdrop = 5;
constexpr int gapBackdropPixels = 3;
constexpr int gapBackdropReach = 8;

// Whether entry i of a line of n entries lies on a run of at most closedGap unmarked entries
// with a marked one at each end, and either none of the run is brighter than the brighter end
// (a hole in a wire's marks), or all of it lies gapBelowBackdrop below the backdrop beyond the
// marks on either side: between two wires close together, a strip that both darkened (their
// blur, or JPEG's smearing of their colour), which would keep their shade between two fills.
template <typename Marked, typename Bright>
bool inShortGap(int i, int n, Marked marked, Bright bright)
{
    int first = i;
    int last = i;
    while (last - first + 1 <= closedGap && first > 0 && !marked(first - 1))
        --first;
    while (last - first + 1 <= closedGap && last + 1 < n && !marked(last + 1))
        ++last;
    if (last - first + 1 > closedGap || first == 0 || last + 1 == n || !marked(first - 1)
        || !marked(last + 1))
        return false;
    const int top = std::max(bright(first - 1), bright(last + 1));
    int brightest = 0;
    for (int k = first; k <= last; ++k)
        brightest = std::max(brightest, bright(k));
    if (brightest <= top)
        return true;
    // The backdrop from entry `from` on, a step at a time; -1 where there is none.
    const auto backdrop = [&](int from, int step) {
        int k = from;
        for (int crossed = 0; crossed < gapBackdropReach && k >= 0 && k < n && marked(k); ++crossed)
            k += step;
        if (k < 0 || k >= n || marked(k))
            return -1;
        int value = bright(k);
        for (int j = 1; j < gapBackdropPixels; ++j) {
            const int q = k + j * step;
            if (q < 0 || q >= n || marked(q))
                break;
            value = std::max(value, bright(q));
        }
        return value;
    };
    const int before = backdrop(first - 1, -1);
    const int after = backdrop(last + 1, 1);
    return before >= 0 && after >= 0 && brightest <= std::min(before, after) - gapBelowBackdrop;
}

// precisestages::closeGaps, in bands of rows.
void markGaps(Plane<const std::uint8_t> brightness, Plane<const std::uint8_t> marks, bool threaded,
    Plane<std::uint8_t> found)
{
    const int width = brightness.width;
    const int height = brightness.height;
    forRowBands(height, threaded, [&](int from, int to) {
        for (int y = from; y < to; ++y) {
            const std::uint8_t *mark = marks.rowData(y);
            const std::uint8_t *above = y > 0 ? marks.rowData(y - 1) : nullptr;
            const std::uint8_t *below = y + 1 < height ? marks.rowData(y + 1) : nullptr;
            const std::uint8_t *bright = brightness.rowData(y);
            std::uint8_t *out = found.rowData(y);
            for (int x = 0; x < width; ++x) {
                if (mark[x])
                    continue;
                // Each pixel of a short gap is next to one of its ends.
                const bool besideInRow = (x > 0 && mark[x - 1]) || (x + 1 < width && mark[x + 1]);
                const bool besideInColumn = (above && above[x]) || (below && below[x]);
                const bool acrossRow = besideInRow
                    && inShortGap(
                        x, width, [&](int u) { return mark[u] != 0; },
                        [&](int u) { return int(bright[u]); });
                const bool acrossColumn = !acrossRow && besideInColumn
                    && inShortGap(
                        y, height, [&](int v) { return marks.at(x, v) != 0; },
                        [&](int v) { return int(brightness.at(x, v)); });
                if (acrossRow || acrossColumn)
                    out[x] = 1;
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

    computeBlackHat(brightness.view(), blackHatRadius(settings.maxWidth), threaded, scratch.view(),
        blackHat.view());
    PlaneBuffer<std::uint8_t> linePlane(width, height);
    Plane<std::uint8_t> line = linePlane.view();
    findLinePixels(brightness.view(), blackHat.view(), settings.maxWidth, threaded, line);

    // Light wires are not looked for next to dark ones, where the gap between two dark wires
    // would pass for one: the dark marks so far, widened, in place of the black-hat.
    Plane<const std::uint8_t> excluded;
    if (invert) {
        const int reach = settings.maxWidth / 2 + 2;
        filterRows<true>(found, reach, threaded, scratch.view());
        filterColumns<true>(scratch.view(), reach, threaded, blackHat.view());
        excluded = blackHat.view();
    }
    Plane<std::uint8_t> marks = scratch.view();
    forRowBands(height, threaded, [&](int from, int to) {
        for (int y = from; y < to; ++y)
            std::fill_n(marks.rowData(y), width, std::uint8_t(0));
    });
    // A light line that ends inside the photo is more often a pole or a lit edge than a wire.
    const int kept = keepWirePieces(line, brightness.view(), settings, excluded, invert, marks);
    // This pass's marks, the fringe's outer edge beside them, then the short gaps across both,
    // into `found`; a pass that kept no wire has none.
    if (kept > 0) {
        PlaneBuffer<std::uint8_t> own(width, height);
        forRowBands(height, threaded, [&](int from, int to) {
            for (int y = from; y < to; ++y)
                std::copy_n(marks.rowData(y), width, own.view().rowData(y));
        });
        markFringeEdges(brightness.view(), marks, threaded, line, blackHat.view(), own.view());
        markGaps(brightness.view(), own.view(), threaded, marks);
        forRowBands(height, threaded, [&](int from, int to) {
            for (int y = from; y < to; ++y) {
                combineInto<true>(found.rowData(y), own.view().rowData(y), width);
                combineInto<true>(found.rowData(y), marks.rowData(y), width);
            }
        });
    }
    return kept;
}

// The photo averaged over blocks of factor x factor pixels (fewer at the right and bottom).
void reducePhoto(Plane<const Argb> photo, int factor, bool threaded, Plane<Argb> small)
{
    forRowBands(small.height, threaded, [&](int from, int to) {
        for (int y = from; y < to; ++y) {
            const int top = y * factor;
            const int bottom = std::min(photo.height, top + factor);
            Argb *out = small.rowData(y);
            for (int sx = 0; sx < small.width; ++sx) {
                const int left = sx * factor;
                const int right = std::min(photo.width, left + factor);
                std::uint32_t r = 0;
                std::uint32_t g = 0;
                std::uint32_t b = 0;
                for (int py = top; py < bottom; ++py) {
                    const Argb *row = photo.rowData(py);
                    for (int px = left; px < right; ++px) {
                        r += (row[px] >> 16) & 0xFFu;
                        g += (row[px] >> 8) & 0xFFu;
                        b += row[px] & 0xFFu;
                    }
                }
                const std::uint32_t n = std::uint32_t((bottom - top) * (right - left));
                out[sx]
                    = 0xFF000000u | (r + n / 2) / n << 16 | (g + n / 2) / n << 8 | (b + n / 2) / n;
            }
        }
    });
}

// Each small mark over its block of factor x factor pixels of `marks`.
void enlargeMarks(
    Plane<const std::uint8_t> small, int factor, bool threaded, Plane<std::uint8_t> marks)
{
    forRowBands(marks.height, threaded, [&](int from, int to) {
        for (int y = from; y < to; ++y) {
            const std::uint8_t *in = small.rowData(y / factor);
            std::uint8_t *out = marks.rowData(y);
            for (int sx = 0; sx < small.width; ++sx) {
                const int left = sx * factor;
                std::fill(out + left, out + std::min(marks.width, left + factor), in[sx]);
            }
        }
    });
}

int detectAtScale(Plane<const Argb> photo, const PreciseSettings &settings, bool threaded,
    Plane<std::uint8_t> marks, Progress *progress)
{
    int kept = detectPolarity(photo, settings, false, threaded, marks);
    if (progress)
        progress->step();
    if (settings.lightWires)
        kept += detectPolarity(photo, settings, true, threaded, marks);
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
    int kept = 0;
    int factor = 1;
    while (photo.pixelCount() / (std::size_t(factor) * std::size_t(factor))
        > std::max<std::size_t>(settings.fullScalePixels, 1))
        ++factor;
    if (photo.isEmpty() || factor == 1) {
        forRowBands(marks.height, threaded, [&](int from, int to) {
            for (int y = from; y < to; ++y)
                std::fill_n(marks.rowData(y), marks.width, std::uint8_t(0));
        });
        if (!photo.isEmpty())
            kept = detectAtScale(photo, settings, threaded, marks, progress);
    } else {
        const int width = (photo.width + factor - 1) / factor;
        const int height = (photo.height + factor - 1) / factor;
        PlaneBuffer<Argb> small(width, height);
        reducePhoto(photo, factor, threaded, small.view());
        PlaneBuffer<std::uint8_t> smallMarks(width, height);
        std::fill_n(smallMarks.data(), smallMarks.pixelCount(), std::uint8_t(0));
        PreciseSettings reduced = settings;
        reduced.maxWidth = std::max(1, (settings.maxWidth + factor - 1) / factor);
        reduced.minLength = std::max(1, settings.minLength / factor);
        kept = detectAtScale(small.view(), reduced, threaded, smallMarks.view(), progress);
        enlargeMarks(smallMarks.view(), factor, threaded, marks);
    }
    if (progress)
        progress->finish();
    return kept;
}

void precisestages::blackHat(
    Plane<const std::uint8_t> brightness, int maxWidth, Plane<std::uint8_t> hat)
{
    PlaneBuffer<std::uint8_t> scratch(brightness.width, brightness.height);
    computeBlackHat(brightness, blackHatRadius(maxWidth),
        brightness.pixelCount() >= threadedPixelCount, scratch.view(), hat);
}

void precisestages::fringeEdges(Plane<const std::uint8_t> brightness,
    Plane<const std::uint8_t> marks, Plane<std::uint8_t> found)
{
    const bool threaded = brightness.pixelCount() >= threadedPixelCount;
    PlaneBuffer<std::uint8_t> scratch(brightness.width, brightness.height);
    PlaneBuffer<std::uint8_t> nearMarks(brightness.width, brightness.height);
    markFringeEdges(brightness, marks, threaded, scratch.view(), nearMarks.view(), found);
}

void precisestages::closeGaps(Plane<const std::uint8_t> brightness, Plane<const std::uint8_t> marks,
    Plane<std::uint8_t> found)
{
    markGaps(brightness, marks, brightness.pixelCount() >= threadedPixelCount, found);
}

void precisestages::linePixels(Plane<const std::uint8_t> brightness, Plane<const std::uint8_t> hat,
    int maxWidth, Plane<std::uint8_t> line)
{
    findLinePixels(brightness, hat, maxWidth, brightness.pixelCount() >= threadedPixelCount, line);
}

} // namespace tolvane
