#pragma once

#include "core/plane.h"
#include "core/wiretypes.h"

namespace tolvane {

// How the removal fills the marked pixels.
enum class FillMode {
    Mirror, // clearWires: clean rows of the same column mirrored over the (widened) runs
    Seamless, // seamlessFill: a smooth membrane over exactly the marks, with texture added
};

// The seamless fill: `result` (photo-sized) receives the photo with every marked pixel (alpha
// != 0 in `mask`) replaced, and every other pixel copied. Marks are taken as they are, never
// widened. Each connected piece of marks is filled in two layers:
// - the low frequencies: the membrane (Laplace equation) over the piece, its edge values the
//   clean pixels around it, so that gradients run on without a step; it starts from the
//   interpolation across the piece (along the shorter of row and column) and relaxes from
//   there;
// - the fine texture: the high-pass of the photo just beyond the marks on either side, across
//   the shorter direction, mirrored over them (nearest detail first) and blended by the
//   distance to each side, its mean over every 32 x 32 tile of marks removed so that it
//   shifts no colour.
// Where a wire covers a marked pixel by less than about 0.7 (its soft edge, and marks drawn wider
// than the wire), the pixel is unmixed instead: the wire's colour taken from the most distinct
// marked pixel nearby, its coverage from the pixel's colour and smoothed along the wire, the
// photo's own colour recovered from the mix (the part of it along the wire's colour held to a
// few levels more than the texture there). Marked pixels that no wire changed come out as they
// were.
// The alpha channel takes the membrane and texture only. Pixels of the photo's border take only
// the neighbours that exist. A piece without any clean pixel around it (the whole photo marked)
// keeps the photo's values. The result does not depend on the number of cores. `result` must
// not share memory with `photo` or `mask`. Throws std::bad_alloc.
void seamlessFill(Plane<const Argb> photo, Plane<const Argb> mask, Plane<Argb> result);

} // namespace tolvane
