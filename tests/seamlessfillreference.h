#pragma once

#include <vector>

#include "core/wiretypes.h"

// The seamless fill written plainly, pixel by pixel over whole planes on one thread, kept apart
// from the fast code (which links the marked pixels into lists and shares them out over the
// cores) so that the two can be compared. Images are width x height vectors of 32-bit values,
// row by row; a pixel is marked when its alpha is not 0.
namespace reference {

using tolvane::Argb;

std::vector<Argb> seamlessFill(
    const std::vector<Argb> &photo, const std::vector<Argb> &mask, int width, int height);

} // namespace reference
