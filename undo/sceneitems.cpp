#include "undo/sceneitems.h"

#include <QGraphicsPixmapItem>
#include <QGraphicsScene>

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
