#include "selection/planes.h"

#include <algorithm>

namespace tolvane {

void computeBrightness(Plane<const Argb> photo, Plane<std::uint8_t> brightness)
{
    assert(photo.width == brightness.width && photo.height == brightness.height);
    for (int y = 0; y < photo.height; ++y) {
        const Argb *in = photo.rowData(y);
        std::uint8_t *out = brightness.rowData(y);
        for (int x = 0; x < photo.width; ++x) {
            const Argb p = in[x];
            out[x] = std::uint8_t(std::max({ (p >> 16) & 0xFFu, (p >> 8) & 0xFFu, p & 0xFFu }));
        }
    }
}

} // namespace tolvane
