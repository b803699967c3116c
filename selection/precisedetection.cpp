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
};

// Curves shorter than this are not followed; linked ones may be as far apart as the longest gap.
constexpr int shortestCurve = 16;
constexpr int longestGap = 60;
constexpr float coveredShare = 0.75f;
constexpr float longestShare = 0.5f;

std::array<float, 2> unit(float x, float y)
{
    const float length = std::hypot(x, y);
    if (length < 1e-6f)
        return {0, 0};
    return {x / length, y / length};
}

// The curves in one piece of line pixels, followed bin by bin along its main axis: a piece is
// one wire, two that cross at a small angle or run side by side, or a tangle of branches. The
// curves that are smooth and thin and have both sides brighter go to `curves`; returns their
// number.
int collectCurves(const std::vector<PixelIndex> &piece, const Plane<const std::uint8_t> line,
    const PreciseSettings &settings, std::vector<Curve> &curves)
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
            for (int q = c.begin; q < c.end; ++q)
                curve.pixels.push_back(points[std::size_t(q)].index);
        }
        curves.push_back(std::move(curve));
        ++found;
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

// Finds the wires among the line pixels, setting their pixels in `marks` to 1, and returns
// their number: the curves of the 8-connected pieces of line pixels of like orientation
// (neighbours that are sameCurve()) that hold a strong pixel, linked across gaps. Pieces are
// searched in raster order of their first pixel. Curves with more than a fifth of their pixels
// in `excluded` (when not empty) are left out.
int keepWirePieces(Plane<std::uint8_t> line, const PreciseSettings &settings,
    Plane<const std::uint8_t> excluded, Plane<std::uint8_t> marks)
{
    const int width = line.width;
    const int height = line.height;
    constexpr std::uint8_t visited = visitedBit;
    std::vector<PixelIndex> piece;
    std::vector<Curve> curves;
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
            if (strong)
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
    // A wire is seen over most of its length, and in one stretch over a good part of it.
    const auto isWire = [&](int g) {
        const float length = lengths[std::size_t(g)];
        return length >= float(settings.minLength)
            && length >= coveredShare * (length + gaps[std::size_t(g)])
            && longest[std::size_t(g)] >= longestShare * float(settings.minLength);
    };
    int kept = 0;
    for (std::size_t i = 0; i < curves.size(); ++i) {
        if (!isWire(group[i]))
            continue;
        kept += group[i] == int(i);
        for (PixelIndex p : curves[i].pixels)
            marks.at(p % width, p / width) = 1;
    }
    return kept;
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
    // The brightness plane is no longer needed: it holds the line pixels.
    Plane<std::uint8_t> line = brightness.view();
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
    const int kept = keepWirePieces(line, settings, excluded, marks);
    forRowBands(height, threaded, [&](int from, int to) {
        for (int y = from; y < to; ++y)
            combineInto<true>(found.rowData(y), marks.rowData(y), width);
    });
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

void precisestages::linePixels(Plane<const std::uint8_t> brightness, Plane<const std::uint8_t> hat,
    int maxWidth, Plane<std::uint8_t> line)
{
    findLinePixels(brightness, hat, maxWidth, brightness.pixelCount() >= threadedPixelCount, line);
}

} // namespace tolvane
