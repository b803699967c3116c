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

} // namespace tolvane
