#pragma once

#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QUndoCommand>

#include "undo/snapshot.h"

class QGraphicsPixmapItem;
class QGraphicsScene;

// The commands own none of the state they change: they write through references to the main
// window's item pointers, photo image and control point, and save what undo needs as
// snapshots inside redo. Each redo runs once, inside the push.

// The removal: the cleaned photo replaces the photo, and the wire mask goes away.
class ProcessCommand : public QUndoCommand
{
public:
    ProcessCommand(QImage result, QGraphicsScene *scene, QGraphicsPixmapItem *&photoItem,
        QGraphicsPixmapItem *&maskItem, QImage &photo);

    void undo() override;
    void redo() override;

    // Tells removals apart: each command gets a number no other command of this run has.
    int revision() const { return m_revision; }

private:
    int m_revision;
    Snapshot m_photoSnapshot;
    Snapshot m_maskSnapshot;
    QGraphicsScene *m_scene;
    QGraphicsPixmapItem *&m_photoItem;
    QGraphicsPixmapItem *&m_maskItem;
    QImage &m_photo;
    QImage m_result;
};

// Automatic detection: a complete new wire mask replaces the current one (or none).
class SelectCommand : public QUndoCommand
{
public:
    SelectCommand(QGraphicsPixmapItem *&maskItem, QPixmap newMask, QGraphicsScene *scene);

    void undo() override;
    void redo() override;

private:
    Snapshot m_maskSnapshot;
    QGraphicsPixmapItem *&m_maskItem;
    QPixmap m_newMask;
    QGraphicsScene *m_scene;
};

// A committed smart-selection segment: the new wire mask and the control point it ends at.
class SmartSelectCommand : public QUndoCommand
{
public:
    SmartSelectCommand(QGraphicsPixmapItem *&maskItem, QPixmap newMask, QGraphicsScene *scene,
        QPoint &lastControlPoint, int x, int y);

    void undo() override;
    void redo() override;

private:
    Snapshot m_maskSnapshot;
    QGraphicsPixmapItem *&m_maskItem;
    QPixmap m_newMask;
    QGraphicsScene *m_scene;
    QPoint &m_lastControlPoint;
    QPoint m_newControlPoint;
    QPoint m_previousControlPoint;
};
