#include "canvas/sceneitems.h"

#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QImage>
#include <QPixmap>

namespace {

bool isOpaque(const QImage &image)
{
    if (image.format() == QImage::Format_RGB32)
        return true;
    if (image.format() != QImage::Format_ARGB32
        && image.format() != QImage::Format_ARGB32_Premultiplied)
        return false;
    // Sizes held in locals: the compiler cannot keep the results of the library's accessors.
    const int width = image.width();
    const int height = image.height();
    for (int y = 0; y < height; ++y) {
        const auto *pixels = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        QRgb alphaOfAll = 0xFF000000;
        for (int x = 0; x < width; ++x)
            alphaOfAll &= pixels[x];
        if (alphaOfAll != 0xFF000000)
            return false;
    }
    return true;
}

} // namespace

void removeSceneItem(QGraphicsScene *scene, QGraphicsPixmapItem *&item)
{
    if (!item)
        return;
    scene->removeItem(item);
    delete item;
    item = nullptr;
}

void addSceneItem(QGraphicsScene *scene, QGraphicsPixmapItem *&item, const QPixmap &pixmap, qreal z)
{
    item = scene->addPixmap(pixmap);
    item->setTransformationMode(Qt::SmoothTransformation);
    item->setPos(10, 10);
    item->setZValue(z);
}

namespace {

// A pixmap of `image`'s pixels read as `format`, without a copy.
QPixmap sharedPixmap(const QImage &image, QImage::Format format)
{
    // A read-only view: the pixmap never writes through it, and it keeps the pixels alive.
    auto *owner = new QImage(image);
    QImage view(
        owner->constBits(), owner->width(), owner->height(), owner->bytesPerLine(), format,
        [](void *shared) { delete static_cast<QImage *>(shared); }, owner);
    return QPixmap::fromImage(std::move(view));
}

} // namespace

QPixmap photoPixmap(const QImage &photo)
{
    // The screen shows 8 bits per channel: a deeper photo's pixmap would only take twice the
    // memory and draw slower.
    if (photo.depth() == 64)
        return photoPixmap(photo.convertToFormat(QImage::Format_ARGB32));
    if (photo.isNull() || !isOpaque(photo))
        return QPixmap::fromImage(photo);
    return sharedPixmap(photo, QImage::Format_RGB32);
}

QPixmap maskPixmap(const QImage &mask)
{
    if (mask.format() != QImage::Format_ARGB32_Premultiplied)
        return QPixmap::fromImage(mask);
    return sharedPixmap(mask, mask.format());
}
