#include "canvas/sceneitems.h"

#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QImage>
#include <QPixmap>

#include "image/imagefiles.h"

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
    if (photo.isNull() || !tolvane::isOpaque(photo))
        return QPixmap::fromImage(photo);
    return sharedPixmap(photo, QImage::Format_RGB32);
}

QPixmap maskPixmap(const QImage &mask)
{
    if (mask.format() != QImage::Format_ARGB32_Premultiplied)
        return QPixmap::fromImage(mask);
    return sharedPixmap(mask, mask.format());
}
