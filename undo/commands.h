#pragma once

#include <cstdint>
#include <memory>

#include <QImage>
#include <QPoint>
#include <QString>
#include <QUndoCommand>

namespace tolvane {
class PhotoDocument;
}

// The undo commands change the photo document and nothing else; the window follows the
// document's signals. Each command swaps its part of the document's state (photo, mask, control
// point) with the state it keeps: before the first redo that is the new state, in memory; after
// each redo or undo it is the state that step replaced, kept in snapshot files. So undo and redo
// can follow each other any number of times.
class DocumentCommand : public QUndoCommand
{
public:
    ~DocumentCommand() override;

    void undo() override;
    void redo() override;

protected:
    enum Part { PhotoPart = 1, MaskPart = 2, ControlPointPart = 4 };

    // `parts`: the Part flags of what the command changes; the set*() calls of the constructor
    // give their new values.
    DocumentCommand(tolvane::PhotoDocument &document, int parts);
    void setNewPhoto(QImage photo, std::uint64_t revision);
    void setNewMask(QImage mask);
    void setNewControlPoint(QPoint point);

private:
    struct State;
    void swap();
    std::unique_ptr<State> takeState() const;
    void restore(State &state);

    tolvane::PhotoDocument &m_document;
    int m_parts;
    std::unique_ptr<State> m_kept;
};

// The removal: the cleaned photo replaces the photo, and the wire mask goes away.
class ProcessCommand : public DocumentCommand
{
public:
    ProcessCommand(tolvane::PhotoDocument &document, QImage result);
};

// Automatic detection: a complete new wire mask replaces the current one (or none).
class SelectCommand : public DocumentCommand
{
public:
    SelectCommand(tolvane::PhotoDocument &document, QImage newMask);
};

// A hand edit of the marks (a brush or eraser stroke, a dropped piece, a loaded mask file): the
// new wire mask replaces the current one.
class EditMarksCommand : public DocumentCommand
{
public:
    EditMarksCommand(tolvane::PhotoDocument &document, QImage newMask, const QString &text);
};

// A committed smart-selection segment: the new wire mask and the control point it ends at.
// Undo goes back to the previous control point only together with an earlier mask.
class SmartSelectCommand : public DocumentCommand
{
public:
    SmartSelectCommand(tolvane::PhotoDocument &document, QImage newMask, QPoint newControlPoint);
};
