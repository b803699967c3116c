#pragma once

#include <cstddef>
#include <cstdint>

#include "core/plane.h"
#include "core/progress.h"
#include "core/wiretypes.h"

namespace tolvane {

// The second detection mode: thin wires at any angle, dark on a lighter background or light on
// a darker one, marked over their full width with the anti-aliased fringe.
//
// 1. The brightness plane and its 3 x 3 box sums.
// 2. A black-hat (closing minus photo) over a square a little wider than a wire: how much
//    darker each pixel is than its surroundings. Edges and broad dark areas give nothing here.
// 3. Every pixel that the black-hat lets through is tried as a line in eight orientations:
//    the pixel itself against the brightest box sum on each side within a wire's width and
//    fringe, less how much brighter the line gets along the orientation (a dot or a corner
//    does not go on). Weak and strong line pixels; the fringe of a wire is weak, texture,
//    corners and plain edges fail.
// 4. Line pixels of like orientation form 8-connected pieces. Each piece holding a strong
//    pixel is followed bin by bin along its main axis as clusters across it, and clusters
//    chain into curves (two wires side by side or crossing at a small angle give two). A curve
//    is kept when it is thin, smooth (each cluster near where the curve led), and bright on
//    both sides rather than on one (the dark rim of an edge). What the curves leave of a piece
//    is followed again, each connected part along its own axis: a wire that crosses others
//    at a large angle to theirs.
// 5. Curves whose ends face each other across a gap (a wire behind a tree) are linked; a
//    wire is a chain as long as the wire length, seen over three quarters of it and with one
//    curve half that long.
// 6. Each wire's course (a gently bending curve) is fitted through its curves, and the curves
//    that lie on it, however far beyond a gap, join it. Then the course is walked pixel by
//    pixel, to the photo's edges, and wherever the brightness across it shows a thin dark line
//    there, that line's pixels are marked too: the wire where texture hid its pieces. Beyond
//    the wire's curves the walk goes on only as far as the line is seen over half the way.
//    Each course is fitted again through the line its walk saw, and walked again, to follow a
//    hanging wire further than the course through its curves leads. A chain a third of a wire
//    long (half, for light lines), or of curves a wire long together over half their span, is a
//    wire too where its walk sees the line over three wire lengths, or over two and most of
//    its course's way through the photo where that is shorter; only steps where the line
//    shows against both its sides count for that. No line that ends in open ground is a
//    wire: where the course goes on beyond the line the walk saw, over ground like the ground
//    the line ran over, against which it would still show, and with no line there, it is a
//    branch's tip or the end of a shore. A wire goes on to the photo's edge, or into something
//    that hides it.
//    Then each wire's course is walked again 4 and 6 pixels to either side, where line pixels
//    lie along it, with the wires' pixels left out of the background: a thin wire close beside
//    another fails the line test on that side, and no curve of it is found. A line seen there
//    at a wire's depth, below the ground between the two, over as much of the way as a chain
//    a third of a wire long needs, is a wire too.
//    Last, each wire's course is walked once more with the other wires' pixels left out of the
//    background beside it: a wire close beside another, where that side fell on the other.
//    The curves' pixels and the walks', fringe included, are the marks.
// 7. Where the photo around is smooth, the outer edge of the fringe that those marks leave
//    (see precisestages::fringeEdges) is marked too: on a plain sky it would remain as a faint
//    line once the wire is gone. Between wires so close that nothing around is clear of the
//    marks, only a deeper edge is.
// 8. Short gaps across the marks, along a row or a column, where the photo is no brighter than
//    the marks at their ends, are closed (see precisestages::closeGaps): wire the walk's
//    rounding or a dark speck of texture left out, which would stay as a dark dot. So are those
//    darker than the photo beyond the marks on both sides: between two wires close together.
// Light wires are found the same way on the inverted brightness, but only those seen over most
// of their way through the photo: a light line that ends inside it is more often a pole or a
// lit edge.
//
// Every stage is a function of its input planes alone, run in bands of rows on the free cores,
// so the result does not depend on the number of threads.
struct PreciseSettings
{
    // A wire is at most this wide, in pixels across it.
    int maxWidth = 4;
    // A wire's linked curves span at least this many pixels.
    int minLength = 200;
    bool lightWires = true;
    // Photos of more pixels than this are searched on a copy reduced by the smallest whole
    // factor that brings it within, and the marks enlarged back: each mark covers a block of
    // factor x factor pixels.
    std::size_t fullScalePixels = std::size_t(8) << 20;
};

// Writes every pixel of `marks` (the photo's size): 1 on a found wire, 0 elsewhere, and returns
// the number of wires (chains of curves) kept. `progress`, when given, counts the stages.
int detectWiresPrecise(Plane<const Argb> photo, const PreciseSettings &settings,
    Plane<std::uint8_t> marks, Progress *progress = nullptr);

// The first stages on their own, for the tests: `brightness` is max(red, green, blue) (or 255
// minus it, for light wires), and every plane has its size.
namespace precisestages {

// The black-hat: the closing of `brightness` (its max, then the min of that, over squares of
// 2 r + 1 pixels, r = max(2, maxWidth), the plane's edges repeated beyond it) minus itself.
void blackHat(Plane<const std::uint8_t> brightness, int maxWidth, Plane<std::uint8_t> hat);

// The line test of every pixel whose black-hat is at least 6. S is the 3 x 3 box sum of
// brightness (its edges repeated), taken at the nearest pixel of the plane for samples beyond
// it, and C 9 times the pixel's own brightness. In each of 8
// orientations a = i * 22.5 degrees, with the samples at the offsets round(d * (-sin a, cos a))
// across for d = 2 ... maxWidth / 2 + 3, and round(3 * (cos a, sin a)) along: each side's
// value is its greatest S, the score is min(sides) - C - max(0, greatest S along - C), and the
// sides are uneven when 5 (min(sides) - C) < 3 (max(sides) - C). The first orientation with
// the highest positive score counts. `line` gets 0 below a score of 90, else 1 (weak) or 2
// (strong, 144 and up), plus its orientation index times 4, plus 64 when uneven. `line` may
// be `brightness` itself.
void linePixels(Plane<const std::uint8_t> brightness, Plane<const std::uint8_t> hat, int maxWidth,
    Plane<std::uint8_t> line);

// The outer edge of the fringe beside `marks` (not 0: marked): sets `found` to 1 at every
// unmarked pixel p where, in one of the four axis directions d, p - d is marked and p + d is not
// (both inside the plane), the background B(p + d) lies at least 20 above the darkest of the
// marked run p - d, ..., p - 4 d (as far as it stays marked and inside), p lies at least a fifth
// of that depth below the background, and the pixels of the 15 x 15 square around p (inside the
// plane) with no mark within 3 pixels (Chebyshev distance) vary by less than 3 on average:
// |9 B - S| / 9 rounded down, S the 3 x 3 box sum of B, the plane's edges repeated. Where the
// square holds no such pixel, p must lie half that depth below the background instead (in one
// of the directions with a depth of 20). Leaves `found` as it is elsewhere; `found` must not be
// `marks`.
void fringeEdges(Plane<const std::uint8_t> brightness, Plane<const std::uint8_t> marks,
    Plane<std::uint8_t> found);

// The short gaps across `marks` (not 0: marked): sets `found` to 1 at every unmarked pixel of a
// run of at most 2 unmarked pixels along a row or a column that has a marked pixel at each end
// (both inside the plane), where no pixel of the run is brighter than the brighter of those two,
// or where every pixel of it lies at least 5 below the backdrop on both sides. A side's backdrop
// is the brightest of the first 3 unmarked pixels along the line past its marks, which must be
// at most 8 pixels long and end inside the plane. Leaves `found` as it is elsewhere; `found`
// must not be `marks`.
void closeGaps(Plane<const std::uint8_t> brightness, Plane<const std::uint8_t> marks,
    Plane<std::uint8_t> found);

} // namespace precisestages

} // namespace tolvane
