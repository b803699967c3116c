#pragma once

#include "core/plane.h"
#include "core/wiretypes.h"

namespace tolvane {

// The fill's settings, shared with its plainly written version in the tests.
namespace seamless {

// Relaxation sweeps of the membrane, and their over-relaxation factor. The marks are thin, so
// the interpolation across them that it starts from is already close: on the wired test photos
// 10 sweeps gave the same result as 300 (to 0.01 dB); 12 leave room for wider marks.
inline constexpr int sweepCount = 12;
inline constexpr float relaxation = 1.7f;
// Unmixing (see below) takes over from the membrane where the wire covers a pixel by less than
// unmixedUpTo, fully below unmixedUpTo - unmixedFade. Even at a coverage near 0.9 the pixel's
// own colour tells more of the hidden one than the membrane does: on the wired test photos,
// with masks that hold every wire pixel, 0.95 gained 0.2 dB (PSNR over the wires) on 0.7, and
// brought more of the photo's own detail.
inline constexpr float unmixedUpTo = 0.95f;
inline constexpr float unmixedFade = 0.2f;
// How much of the neighbouring high-pass goes onto the membrane. It is detail of another place,
// so it adds to the error wherever it does not match the hidden detail; with the unmixed detail
// (held along and across the wire's colour, see below), this much brought the filled pixels of
// the wired test photos to about 0.9 of the fine detail the photo had there; more of it cost
// 0.15 dB (PSNR over the wires) at full strength.
inline constexpr float textureGain = 0.7f;
// The unmixed detail along the wire's colour, and apart from that the detail across it, are
// each held to parallelFloor levels plus parallelPerTexture times the strength (mean distance
// from the mean, per channel) of the texture over the pixel's 8 x 8 tile of marks (see the
// unmixing below).
inline constexpr float parallelFloor = 1.0f;
inline constexpr float parallelPerTexture = 5.0f;
// Added to the squared distance between the wire's colour and the membrane before the coverage
// is measured against it: a wire colour within about 10 levels of the membrane cannot tell a
// coverage, so marks with no wire under them keep their pixels.
inline constexpr float coverageFloor = 100.0f;
// The wire's colour is sought within wireReach pixels (a 7 x 7 window); the coverage's median
// takes medianReach pixels along the wire on either side.
inline constexpr int wireReach = 3;
inline constexpr int medianReach = 3;
// The texture's mean comes off, and its strength is measured, over tiles of tileSize x tileSize
// pixels. The strength sets how far an unmixed pixel may stray from the membrane, and where a
// slanted wire's coverage came out low its core is left that far darker: tiles of 32 let the
// lattice of a tower beside a wire over the sky leave part of the wire there. On the wired test
// photos, with masks that hold every wire pixel, 8 gained 0.06 dB (PSNR over the wires) on 32,
// 16 0.04 dB, and 4 no more than 8.
inline constexpr int tileSize = 8;
// The fringe of the marks (see seamlessFill): a clean pixel p next to a marked pixel m, with the
// clean pixels q and then r beyond p on the other side, joins the marks where m is darker than q
// (the sum of its channels lower) by fringeContrast levels or more (colour distance), and p's
// colour lies fringeShare to fringeUpTo of the way from q towards m, no farther off that line
// than along it, with a step from q to p at least fringeSharpness times (in squared levels) the
// step from r to q. A missed wire edge is a sharp, small step towards a much darker mark, where
// a real edge next to the marks is mostly a gentler or a fuller one. On the wired test photos
// with the precise detector's masks this took in 1.1 dB of the missed soft edges (region
// PSNR), at a cost of 0.05 dB with masks that already held every wire pixel.
// A clean pixel next to the marks (one of its four neighbours marked) is fringe too where it
// stands out from the clean pixels around it that are not next to the marks (those within
// fringeReach of it: a 5 x 5 window): one of its channels lies more than fringeStandOut levels,
// and more than fringeTextures times their mean distance from their mean, from that mean, and a
// marked neighbour lies on the same side of it, at least fringeBeyond times as far out. A wire's
// blurred outer edge is often too faint for the mask, yet changes the pixels next to it by a
// few levels, which strong texture would hide; where the texture is that strong its own pixels
// stay as they are. A mask drawn generously (its own outer pixels barely changed by the wire)
// takes no fringe, since every pixel it took in would be a clean one replaced. On the wired
// test photos with the precise detector's masks this rule took in 0.65 dB more of the region
// (PSNR) and brought the filled pixels' fine detail from 1.56 to 1.32 of the photo's; with
// masks that already hold every wire pixel and more, it costs 0.04 dB, against 0.44 dB without
// the marked neighbour's test. That test costs 0.5 dB with the detector's masks where they
// leave part of a wire's core unmarked beside them.
inline constexpr int fringeReach = 2;
inline constexpr int fringeStandOut = 4;
inline constexpr int fringeTextures = 3;
inline constexpr int fringeBeyond = 2;
inline constexpr float fringeShare = 0.08f;
inline constexpr float fringeUpTo = 0.6f;
inline constexpr float fringeContrast = 50.0f;
inline constexpr float fringeSharpness = 9.0f;

} // namespace seamless

// How the removal fills the marked pixels.
enum class FillMode {
    Mirror, // clearWires: clean rows of the same column mirrored over the (widened) runs
    Seamless, // seamlessFill: a smooth membrane over the marks and their fringe, texture added
};

// The seamless fill: `result` (photo-sized) receives the photo with every marked pixel (alpha
// != 0 in `mask`) replaced, and every other pixel copied, except the marks' fringe: a mask
// often misses the faint outer edge of a wire, so this fill (only this one; the mirror fill
// takes the marks as they are) also takes in each clean pixel right next to the marks whose
// colour steps from the clean pixels beyond it towards the darker marked pixel, or stands out
// from the clean pixels around it towards a marked neighbour that stands out twice as much, one
// pixel wide (see the fringe settings above). Each connected piece of these pixels is filled in two
// layers:
// - the low frequencies: the membrane (Laplace equation) over the piece, its edge values the
//   clean pixels around it, so that gradients run on without a step; it starts from the
//   interpolation across the piece (along the shorter of row and column) and relaxes from
//   there;
// - the fine texture: the high-pass of the photo just beyond the marks on either side, across
//   the shorter direction, mirrored over them (nearest detail first) and blended by the
//   distance to each side, its mean over every 8 x 8 tile of marks removed so that it
//   shifts no colour.
// Where a wire covers a marked pixel by less than about 0.95 (its soft edge, and marks drawn wider
// than the wire), the pixel is unmixed instead: the wire's colour taken from the most distinct
// marked pixel nearby on the side of the membrane (darker or lighter) where most of them lie,
// its coverage from the pixel's colour and smoothed along the wire, the
// photo's own colour recovered from the mix (its departure from the membrane held, along the
// wire's colour and across it, to a few levels more than the texture nearby). Marked pixels that no
// wire changed come out as they were. The alpha channel takes the membrane and texture only. Pixels
// of the photo's border take only the neighbours that exist. A piece without any clean pixel around
// it (the whole photo marked) keeps the photo's values. The result does not depend on the number of
// cores. `result` must not share memory with `photo` or `mask`. Throws std::bad_alloc.
void seamlessFill(Plane<const Argb> photo, Plane<const Argb> mask, Plane<Argb> result);

} // namespace tolvane
