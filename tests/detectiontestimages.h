#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/plane.h"
#include "core/wiretypes.h"

namespace tolvane::test {

// A photo drawn from text rows: '.' white, '#' black, other characters grey levels
// ('1' ... '9' are 10 ... 90 % of white). Alpha is random so that tests see it ignored.
PlaneBuffer<Argb> photoFromRows(std::initializer_list<std::string> rows);

// A photo of `columns` identical columns whose row y has brightness brightness[y] and minimum
// minimum[y] <= brightness[y] (red = brightness, green = blue = minimum); grey when `minimum`
// is empty.
PlaneBuffer<Argb> columnPhoto(
    const std::vector<int> &brightness, const std::vector<int> &minimum = {}, int columns = 1);

// A white photo of the given size.
PlaneBuffer<Argb> whitePhoto(int width, int height);

// Sets rows first ... last of columns x0 ... x1 to `colour`.
void fillBlock(Plane<Argb> photo, int x0, int x1, int first, int last, Argb colour);

// A 0/255 plane from text rows: '#' is 255, anything else 0.
PlaneBuffer<std::uint8_t> maskFromRows(std::initializer_list<std::string> rows);

// Photos for comparison with the reference: dark wires (straight, sloped, sagging, 1 to 4
// pixels thick, anti-aliased or not, some crossing, forking or touching the top and bottom
// rows) over backgrounds from plain white to noisy skies and textured ground. The same seed
// always gives the same photo.
PlaneBuffer<Argb> wirePhoto(std::uint32_t seed, int width, int height);

// A 0/255 plane with random candidate stretches and random lines of them.
PlaneBuffer<std::uint8_t> randomMask(std::uint32_t seed, int width, int height);

std::vector<std::uint8_t> toVector(Plane<const std::uint8_t> plane);
std::vector<Argb> toVector(Plane<const Argb> plane);

} // namespace tolvane::test
