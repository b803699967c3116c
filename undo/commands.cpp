#include "undo/commands.h"

#include <QGraphicsPixmapItem>

#include "undo/sceneitems.h"

namespace {

int lastRevision = 0;

// Saves the current mask, if any, and shows `newMask` in its place.
void replaceMask(Snapshot &snapshot, QGraphicsScene *scene, QGraphicsPixmapItem *&maskItem,
    const QPixmap &newMask)
{
    if (maskItem) {
        snapshot.store(maskItem->pixmap().toImage());
        removeSceneItem(scene, maskItem);
    }
    addSceneItem(scene, maskItem, newMask, SceneZ::mask);
}

// Puts back the mask saved by replaceMask(); false when there was none.
bool restoreMask(Snapshot &snapshot, QGraphicsScene *scene, QGraphicsPixmapItem *&maskItem)
{
    removeSceneItem(scene, maskItem);
    QImage saved = snapshot.load();
    if (saved.isNull())
        return false;
    const QPixmap pixmap = QPixmap::fromImage(std::move(saved));
    if (pixmap.isNull())
        return false;
    addSceneItem(scene, maskItem, pixmap, SceneZ::mask);
    return true;
}

} // namespace

ProcessCommand::ProcessCommand(QImage result, QGraphicsScene *scene,
    QGraphicsPixmapItem *&photoItem, QGraphicsPixmapItem *&maskItem, QImage &photo)
    : m_revision(++lastRevision)
    , m_scene(scene)
    , m_photoItem(photoItem)
    , m_maskItem(maskItem)
    , m_photo(photo)
    , m_result(std::move(result))
{ }

void ProcessCommand::redo()
{
    if (m_maskItem)
        m_maskSnapshot.store(m_maskItem->pixmap().toImage());
    removeSceneItem(m_scene, m_maskItem);
    removeSceneItem(m_scene, m_photoItem);
    addSceneItem(m_scene, m_photoItem, photoPixmap(m_result), SceneZ::photo);
    m_photoSnapshot.store(m_photo);
    // The computed image itself becomes the photo: a round trip through the premultiplied
    // display pixmap would change the colour of pixels that are not fully opaque.
    m_photo = m_result.convertToFormat(QImage::Format_ARGB32);
    m_result = QImage();
}

void ProcessCommand::undo()
{
    const QImage photo = m_photoSnapshot.load();
    const QPixmap pixmap = photoPixmap(photo);
    if (pixmap.isNull())
        return;
    removeSceneItem(m_scene, m_photoItem);
    addSceneItem(m_scene, m_photoItem, pixmap, SceneZ::photo);
    m_photo = photo.convertToFormat(QImage::Format_ARGB32);

    const QPixmap maskPixmap = QPixmap::fromImage(m_maskSnapshot.load());
    if (!maskPixmap.isNull()) {
        removeSceneItem(m_scene, m_maskItem);
        addSceneItem(m_scene, m_maskItem, maskPixmap, SceneZ::mask);
    }
}

SelectCommand::SelectCommand(QGraphicsPixmapItem *&maskItem, QPixmap newMask, QGraphicsScene *scene)
    : m_maskItem(maskItem)
    , m_newMask(std::move(newMask))
    , m_scene(scene)
{ }

void SelectCommand::redo()
{
    replaceMask(m_maskSnapshot, m_scene, m_maskItem, m_newMask);
    m_newMask = QPixmap();
}

void SelectCommand::undo()
{
    restoreMask(m_maskSnapshot, m_scene, m_maskItem);
}

SmartSelectCommand::SmartSelectCommand(QGraphicsPixmapItem *&maskItem, QPixmap newMask,
    QGraphicsScene *scene, QPoint &lastControlPoint, int x, int y)
    : m_maskItem(maskItem)
    , m_newMask(std::move(newMask))
    , m_scene(scene)
    , m_lastControlPoint(lastControlPoint)
    , m_newControlPoint(x, y)
    , m_previousControlPoint(lastControlPoint)
{ }

void SmartSelectCommand::redo()
{
    replaceMask(m_maskSnapshot, m_scene, m_maskItem, m_newMask);
    m_newMask = QPixmap();
    m_lastControlPoint = m_newControlPoint;
}

void SmartSelectCommand::undo()
{
    // Without an earlier mask there is no earlier segment whose end to go back to.
    if (restoreMask(m_maskSnapshot, m_scene, m_maskItem))
        m_lastControlPoint = m_previousControlPoint;
}
