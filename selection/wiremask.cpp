#include "selection/wiremask.h"

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

} // namespace tolvane
