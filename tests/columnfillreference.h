#pragma once

#include <vector>

#include "core/wiretypes.h"

// A plain, pixel by pixel rendition of the removal rules, kept apart from the fast code so that
// the two can be compared. Images are width x height vectors of 32-bit values, row by row; a
// pixel is marked when its alpha is not 0.
namespace reference {

using tolvane::Argb;

// Pass 1: paints the widening into `mask` (0x96FF0000), column by column.
void widen(std::vector<Argb> &mask, int width, int height, int wirePadding);

// Pass 2: fills every run of `widened` into `result`, reading sources from `photo` only.
void fill(const std::vector<Argb> &photo, const std::vector<Argb> &widened, int width, int height,
    std::vector<Argb> &result);

} // namespace reference
