#pragma once

#include <cstdint>
#include <new>
#include <span>

#include <QImage>
#include <QSize>

#include "core/parameters.h"
#include "core/plane.h"
#include "core/progress.h"
#include "core/wiretypes.h"
#include "removal/seamlessfill.h"
#include "selection/markedit.h"
#include "selection/smarttrace.h"

// The tools as the window and tolvane-cli both run them: each takes images and parameters and
// returns the new image, which the caller puts in place (the window through an undo command).
// They throw std::bad_alloc when memory runs short, and change none of their inputs.
namespace tolvane::tools {

// Images report a failed allocation with a null result rather than an exception; this turns it
// into one. Expecting an empty size lets the null image of an empty photo through.
template <typename Image> void checkAllocated(const Image &image, QSize size)
{
    if (image.size() != size)
        throw std::bad_alloc();
}

// `photo` as the 32-bit ARGB image that detection and tracing read: itself when it is one, else
// converted (a photo of 16 bits per channel, rounded to 8).
QImage eightBitPhoto(const QImage &photo);

// The brightness map of `photo` (32-bit, or 64-bit read as eightBitPhoto()): max(red, green,
// blue) of every pixel.
PlaneBuffer<std::uint8_t> brightnessMap(const QImage &photo);

struct Detection
{
    QImage mask; // the photo's size, display format: the detection mark on every trace
    int traceCount = 0;
};

// The automatic detection modes: the band scan with its traces (the default), or the line
// search at any angle that marks wires with their fringe (selection/precisedetection.h).
enum class Detector { Classic, Precise };

// Automatic detection over `photo` (32-bit ARGB or 64-bit RGBA, read as eightBitPhoto(); not
// empty); `progress` follows it while it runs, from any thread. The precise detector takes the
// width threshold as the widest wire, in pixels across it, and `wireLength` as the shortest
// wire instead of the length threshold; traceCount is then its number of wires.
Detection detect(const QImage &photo, int widthThreshold, int lengthThreshold,
    Progress *progress = nullptr, Detector detector = Detector::Classic,
    int wireLength = parameters::wireLength.defaultValue);

// The smart-selection route from `from` to `to` over the brightness map.
WireRoute traceRoute(Plane<const std::uint8_t> brightness, Point from, Point to);

// `detected` (display format) with the marks of `current` (display format, the same size) that
// were made by hand (traced or painted: any but the detection mark) on top.
QImage withHandMarks(const QImage &detected, const QImage &current);

// A transparent mask of `size` in the display format.
QImage emptyMask(QSize size);

// `mask` (display format) with a found route's pixels set to the opaque trace mark.
QImage commitRoute(const QImage &mask, const WireRoute &route);

// `mask` (display format) with every pixel within `radius` of the stroke set to the brush
// mark (`mark`) or cleared; `changed` receives the number of pixels that changed.
QImage paintMarks(const QImage &mask, std::span<const StrokePoint> stroke, double radius, bool mark,
    std::int64_t *changed = nullptr);

// `mask` (display format) without the connected piece of marks nearest to `at` within
// `reach`; `cleared` receives its number of pixels, 0 when there is none in reach.
QImage dropMarkedPiece(const QImage &mask, Point at, int reach, std::int64_t *cleared = nullptr);

// `photo` (32-bit ARGB or 64-bit RGBA, the result in its format) with every pixel that `mask`
// marks filled. The mirror fill widens the marks by `wirePadding` and fills from the clean rows
// of each column; the seamless fill takes the marked pixels and the faint fringe right beside
// them, whatever `wirePadding` says.
QImage removeWires(
    const QImage &photo, const QImage &mask, int wirePadding, FillMode fill = FillMode::Mirror);

} // namespace tolvane::tools
