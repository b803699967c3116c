#pragma once

#include <QImage>

#include "core/plane.h"
#include "core/wiretypes.h"
#include "selection/smarttrace.h"

namespace tolvane {

// Views of a 32-bit image's pixels as a plane of ARGB values. The image must be in one of the
// 32-bit ARGB/RGB formats; the view follows its scan lines (bytesPerLine), and the image must
// outlive it. The mutable view detaches the image first.
Plane<const Argb> argbPlane(const QImage &image);
Plane<Argb> mutableArgbPlane(QImage &image);

// A traced route as an image of its search window: opaque yellow on the route's pixels,
// transparent elsewhere. A null image when there is no memory for it.
QImage routeImage(const WireRoute &route);

} // namespace tolvane
