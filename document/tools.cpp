#include "document/tools.h"

#include "image/wiremask.h"
#include "removal/columnfill.h"
#include "selection/detection.h"
#include "selection/planes.h"
#include "selection/precisedetection.h"

namespace tolvane::tools {

QImage eightBitPhoto(const QImage &photo)
{
    if (photo.depth() == 32)
        return photo;
    QImage converted = photo.convertToFormat(QImage::Format_ARGB32);
    checkAllocated(converted, photo.size());
    return converted;
}

PlaneBuffer<std::uint8_t> brightnessMap(const QImage &anyPhoto)
{
    const QImage photo = eightBitPhoto(anyPhoto);
    PlaneBuffer<std::uint8_t> brightness(photo.width(), photo.height());
    computeBrightness(argbPlane(photo), brightness.view());
    return brightness;
}

Detection detect(const QImage &anyPhoto, int widthThreshold, int lengthThreshold,
    Progress *progress, Detector detector, int wireLength)
{
    const QImage photo = eightBitPhoto(anyPhoto);
    if (detector == Detector::Precise) {
        PlaneBuffer<std::uint8_t> marks(photo.width(), photo.height());
        PreciseSettings settings;
        settings.maxWidth = widthThreshold;
        settings.minLength = wireLength;
        Detection detection;
        detection.traceCount
            = detectWiresPrecise(argbPlane(photo), settings, marks.view(), progress);
        detection.mask = markedPixelMask(marks.view());
        checkAllocated(detection.mask, photo.size());
        return detection;
    }
    // Detection runs its stages fused over tiles of columns on every core, never holding a
    // photo-sized plane: 125 ms against over 500 ms stage by stage for a textured 24-megapixel
    // photo (2-core machine).
    const std::vector<WireTrace> traces
        = detectWires(argbPlane(photo), widthThreshold, lengthThreshold, progress);
    Detection detection;
    detection.mask = traceMask(traces, photo.size());
    checkAllocated(detection.mask, photo.size());
    detection.traceCount = int(traces.size());
    return detection;
}

WireRoute traceRoute(Plane<const std::uint8_t> brightness, Point from, Point to)
{
    return traceWire(brightness, from, to);
}

QImage withHandMarks(const QImage &detected, const QImage &current)
{
    QImage marks = copyMask(detected);
    checkAllocated(marks, detected.size());
    const Plane<const Argb> hand = argbPlane(current);
    const Plane<Argb> result = mutableArgbPlane(marks);
    const Argb detection = qPremultiply(detectionMark);
    for (int y = 0; y < hand.height; ++y) {
        const Argb *from = hand.rowData(y);
        for (int x = 0; x < hand.width; ++x) {
            if (isMarked(from[x]) && from[x] != detection)
                result.at(x, y) = from[x];
        }
    }
    return marks;
}

QImage emptyMask(QSize size)
{
    QImage mask = zeroImage(size, QImage::Format_ARGB32_Premultiplied);
    checkAllocated(mask, size);
    return mask;
}

QImage commitRoute(const QImage &mask, const WireRoute &route)
{
    // Only the blocks of memory that hold marks are copied; the route is written straight in.
    QImage marks = copyMask(mask);
    checkAllocated(marks, mask.size());
    markRoute(route, marks);
    return marks;
}

QImage paintMarks(const QImage &mask, std::span<const StrokePoint> stroke, double radius, bool mark,
    std::int64_t *changed)
{
    QImage marks = copyMask(mask);
    checkAllocated(marks, mask.size());
    // The mask is premultiplied.
    const std::int64_t count
        = paintStroke(mutableArgbPlane(marks), stroke, radius, mark ? qPremultiply(brushMark) : 0);
    if (changed)
        *changed = count;
    return marks;
}

QImage dropMarkedPiece(const QImage &mask, Point at, int reach, std::int64_t *cleared)
{
    QImage marks = copyMask(mask);
    checkAllocated(marks, mask.size());
    const std::int64_t count = dropPiece(mutableArgbPlane(marks), at, reach);
    if (cleared)
        *cleared = count;
    return marks;
}

QImage removeWires(const QImage &photo, const QImage &mask, int wirePadding, FillMode fill)
{
    const bool deep = photo.depth() == 64;
    QImage cleaned(photo.size(), deep ? photo.format() : QImage::Format_ARGB32);
    checkAllocated(cleaned, photo.size());
    if (fill == FillMode::Seamless && deep) {
        // The seamless fill works on 8-bit pixels: the marked pixels take its values, widened
        // back to 16 bits; every other pixel keeps all of its bits.
        const QImage eight = eightBitPhoto(photo);
        QImage filled(photo.size(), QImage::Format_ARGB32);
        checkAllocated(filled, photo.size());
        seamlessFill(argbPlane(eight), argbPlane(mask), mutableArgbPlane(filled));
        const Plane<const Rgba64> from = rgba64Plane(photo);
        const Plane<const Argb> marks = argbPlane(mask);
        const Plane<const Argb> values = argbPlane(filled);
        const Plane<Rgba64> to = mutableRgba64Plane(cleaned);
        for (int y = 0; y < to.height; ++y) {
            for (int x = 0; x < to.width; ++x) {
                to.at(x, y) = isMarked(marks.at(x, y))
                    ? Rgba64(QRgba64::fromArgb32(values.at(x, y)))
                    : from.at(x, y);
            }
        }
    } else if (fill == FillMode::Seamless) {
        seamlessFill(argbPlane(photo), argbPlane(mask), mutableArgbPlane(cleaned));
    } else if (deep) {
        clearWires(rgba64Plane(photo), argbPlane(mask), wirePadding, mutableRgba64Plane(cleaned));
    } else {
        clearWires(argbPlane(photo), argbPlane(mask), wirePadding, mutableArgbPlane(cleaned));
    }
    return cleaned;
}

} // namespace tolvane::tools
