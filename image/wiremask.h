#pragma once

#include <cstdint>
#include <span>

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

// The same for 64-bit RGBA images (RGBA64, RGBX64).
Plane<const Rgba64> rgba64Plane(const QImage &image);
Plane<Rgba64> mutableRgba64Plane(QImage &image);

// A traced route as an image of its search window: opaque yellow on the route's pixels,
// transparent elsewhere. A null image when there is no memory for it.
QImage routeImage(const WireRoute &route);

// Wire masks in the display format (ARGB32_Premultiplied), where a mask's pixmap shares its
// memory. Their memory comes zero from the system and only the pages that marks are written
// to are ever touched: for 24 megapixels a fresh filled mask costs about 50 ms, an untouched
// one nothing (2-core machine).

// A `size` image of `format` (a 32-bit one) with every byte zero; null when empty or out of
// memory.
QImage zeroImage(QSize size, QImage::Format format);

// A transparent mask of `size` with the traces' pixels set to the detection mark: the pixels
// of paintTraces(), premultiplied.
QImage traceMask(std::span<const WireTrace> traces, QSize size);

// A transparent mask of the plane's size with the detection mark on every pixel that is not 0
// in `marks`, premultiplied.
QImage markedPixelMask(Plane<const std::uint8_t> marks);

// A copy of `mask` (32-bit) in its format. Only the blocks of memory that hold a non-zero byte
// are copied onto a zeroImage().
QImage copyMask(const QImage &mask);

// The number of marked pixels (alpha not zero) of `mask` (32-bit), and whether there is any.
qint64 markedPixelCount(const QImage &mask);
bool hasMarks(const QImage &mask);

// Sets the route's pixels (see routeImage()) in `mask` (32-bit) to the opaque trace mark,
// where they fall inside it.
void markRoute(const WireRoute &route, QImage &mask);

} // namespace tolvane
