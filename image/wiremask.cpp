#include "image/wiremask.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace tolvane {

namespace {

bool isArgb32(const QImage &image)
{
    return image.depth() == 32 && image.bytesPerLine() % 4 == 0;
}

} // namespace

Plane<const Argb> argbPlane(const QImage &image)
{
    if (image.isNull())
        return {};
    Q_ASSERT(isArgb32(image));
    return Plane<const Argb>(reinterpret_cast<const Argb *>(image.constBits()), image.width(),
        image.height(), image.bytesPerLine() / 4);
}

Plane<Argb> mutableArgbPlane(QImage &image)
{
    if (image.isNull())
        return {};
    Q_ASSERT(isArgb32(image));
    return Plane<Argb>(reinterpret_cast<Argb *>(image.bits()), image.width(), image.height(),
        image.bytesPerLine() / 4);
}

Plane<const Rgba64> rgba64Plane(const QImage &image)
{
    if (image.isNull())
        return {};
    Q_ASSERT(image.depth() == 64 && image.bytesPerLine() % 8 == 0);
    return Plane<const Rgba64>(reinterpret_cast<const Rgba64 *>(image.constBits()), image.width(),
        image.height(), image.bytesPerLine() / 8);
}

Plane<Rgba64> mutableRgba64Plane(QImage &image)
{
    if (image.isNull())
        return {};
    Q_ASSERT(image.depth() == 64 && image.bytesPerLine() % 8 == 0);
    return Plane<Rgba64>(reinterpret_cast<Rgba64 *>(image.bits()), image.width(), image.height(),
        image.bytesPerLine() / 8);
}

QImage routeImage(const WireRoute &route)
{
    QImage image(route.width, route.height, QImage::Format_ARGB32);
    if (image.isNull())
        return image;
    image.fill(0);
    const Plane<Argb> pixels = mutableArgbPlane(image);
    for (int y = 0; y < route.height; ++y) {
        const std::uint8_t *onRoute = route.path.data() + std::size_t(y) * route.width;
        for (int x = 0; x < route.width; ++x) {
            if (onRoute[x])
                pixels.at(x, y) = traceMark;
        }
    }
    return image;
}

QImage zeroImage(QSize size, QImage::Format format)
{
    if (size.isEmpty())
        return {};
    const qsizetype bytesPerLine = qsizetype(size.width()) * 4;
    // calloc() takes large blocks straight from the system, already zero, and writes nothing.
    void *memory = std::calloc(std::size_t(bytesPerLine) * std::size_t(size.height()), 1);
    if (!memory)
        return {};
    return QImage(
        static_cast<uchar *>(memory), size.width(), size.height(), bytesPerLine, format,
        [](void *block) { std::free(block); }, memory);
}

QImage traceMask(std::span<const WireTrace> traces, QSize size)
{
    QImage mask = zeroImage(size, QImage::Format_ARGB32_Premultiplied);
    if (mask.isNull())
        return mask;
    const Argb mark = qPremultiply(detectionMark);
    const Plane<Argb> pixels = mutableArgbPlane(mask);
    for (const WireTrace &trace : traces) {
        for (const ColumnRun &run : trace) {
            for (int y = run.y; y < run.y + run.length; ++y)
                pixels.at(run.x, y) = mark;
        }
    }
    return mask;
}

QImage markedPixelMask(Plane<const std::uint8_t> marks)
{
    QImage mask = zeroImage(QSize(marks.width, marks.height), QImage::Format_ARGB32_Premultiplied);
    if (mask.isNull())
        return mask;
    const Argb mark = qPremultiply(detectionMark);
    const Plane<Argb> pixels = mutableArgbPlane(mask);
    for (int y = 0; y < marks.height; ++y) {
        const std::uint8_t *row = marks.rowData(y);
        for (int x = 0; x < marks.width; ++x) {
            if (row[x] != 0)
                pixels.at(x, y) = mark;
        }
    }
    return mask;
}

QImage copyMask(const QImage &mask)
{
    QImage copy = zeroImage(mask.size(), mask.format());
    if (copy.isNull() || copy.bytesPerLine() != mask.bytesPerLine())
        return mask.copy();
    constexpr std::size_t block = 4096; // a page of `copy`, when aligned to them
    const auto *from = mask.constBits();
    uchar *to = copy.bits();
    const std::size_t size = std::size_t(mask.sizeInBytes());
    std::size_t begin = 0;
    std::size_t end = std::min(size, block - reinterpret_cast<std::uintptr_t>(to) % block);
    while (begin < size) {
        std::uint64_t any = 0;
        std::size_t i = begin;
        for (; i + 8 <= end; i += 8) {
            std::uint64_t word;
            std::memcpy(&word, from + i, 8);
            any |= word;
        }
        for (; i < end; ++i)
            any |= from[i];
        if (any)
            std::memcpy(to + begin, from + begin, end - begin);
        begin = end;
        end = std::min(size, end + block);
    }
    return copy;
}

qint64 markedPixelCount(const QImage &mask)
{
    const Plane<const Argb> pixels = argbPlane(mask);
    qint64 count = 0;
    for (int y = 0; y < pixels.height; ++y) {
        for (Argb pixel : pixels.row(y))
            count += isMarked(pixel);
    }
    return count;
}

bool hasMarks(const QImage &mask)
{
    const Plane<const Argb> pixels = argbPlane(mask);
    for (int y = 0; y < pixels.height; ++y) {
        for (Argb pixel : pixels.row(y)) {
            if (isMarked(pixel))
                return true;
        }
    }
    return false;
}

void markRoute(const WireRoute &route, QImage &mask)
{
    const QRect window = QRect(route.x0, route.y0, route.width, route.height) & mask.rect();
    if (window.isEmpty() || route.path.empty())
        return;
    const Plane<Argb> pixels = mutableArgbPlane(mask);
    for (int y = window.top(); y <= window.bottom(); ++y) {
        const std::uint8_t *onRoute = route.path.data() + std::size_t(y - route.y0) * route.width;
        for (int x = window.left(); x <= window.right(); ++x) {
            if (onRoute[x - route.x0])
                pixels.at(x, y) = traceMark;
        }
    }
}

} // namespace tolvane
