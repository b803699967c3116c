#include "undo/commands.h"

#include "document/photodocument.h"
#include "image/snapshot.h"

using tolvane::PhotoDocument;

// One side of a command: an image is held in memory (the new state, before the first redo) or
// in a snapshot (a state that a redo or an undo replaced).
struct DocumentCommand::State
{
    struct Image
    {
        QImage inMemory;
        std::unique_ptr<Snapshot> saved;

        void save(const QImage &image)
        {
            saved = std::make_unique<Snapshot>();
            saved->store(image);
        }
        QImage load() { return saved ? saved->load() : inMemory; }
    };

    Image photo;
    std::uint64_t photoRevision = 0;
    Image mask; // null: no mask
    QPoint controlPoint;
};

DocumentCommand::DocumentCommand(PhotoDocument &document, int parts)
    : m_document(document)
    , m_parts(parts)
    , m_kept(std::make_unique<State>())
{ }

DocumentCommand::~DocumentCommand() = default;

void DocumentCommand::setNewPhoto(QImage photo, std::uint64_t revision)
{
    m_kept->photo.inMemory = std::move(photo);
    m_kept->photoRevision = revision;
}

void DocumentCommand::setNewMask(QImage mask)
{
    m_kept->mask.inMemory = std::move(mask);
}

void DocumentCommand::setNewControlPoint(QPoint point)
{
    m_kept->controlPoint = point;
}

void DocumentCommand::redo()
{
    swap();
}

void DocumentCommand::undo()
{
    swap();
}

void DocumentCommand::swap()
{
    std::unique_ptr<State> replaced = takeState();
    restore(*m_kept);
    m_kept = std::move(replaced);
}

std::unique_ptr<DocumentCommand::State> DocumentCommand::takeState() const
{
    auto state = std::make_unique<State>();
    if (m_parts & PhotoPart) {
        state->photo.save(m_document.photo());
        state->photoRevision = m_document.photoRevision();
    }
    if ((m_parts & MaskPart) && m_document.hasMask())
        state->mask.save(m_document.mask());
    state->controlPoint = m_document.lastControlPoint();
    return state;
}

void DocumentCommand::restore(State &state)
{
    if (m_parts & PhotoPart) {
        QImage photo = state.photo.load();
        // A snapshot that cannot be read back leaves the document as it is.
        if (photo.isNull())
            return;
        // Snapshots keep the photo's depth; 8-bit ones come back in the document's format.
        if (photo.format() != QImage::Format_RGBA64)
            photo = std::move(photo).convertToFormat(QImage::Format_ARGB32);
        m_document.setPhoto(std::move(photo), state.photoRevision);
    }
    if (m_parts & MaskPart) {
        QImage mask = state.mask.load();
        const bool restored = !mask.isNull();
        m_document.setMask(std::move(mask));
        // Without a mask there is no segment whose end to go back to.
        if ((m_parts & ControlPointPart) && restored)
            m_document.setLastControlPoint(state.controlPoint);
    }
}

ProcessCommand::ProcessCommand(PhotoDocument &document, QImage result)
    : DocumentCommand(document, PhotoPart | MaskPart)
{
    setNewPhoto(std::move(result), PhotoDocument::newPhotoRevision());
}

SelectCommand::SelectCommand(PhotoDocument &document, QImage newMask)
    : DocumentCommand(document, MaskPart)
{
    setNewMask(std::move(newMask));
}

EditMarksCommand::EditMarksCommand(PhotoDocument &document, QImage newMask, const QString &text)
    : DocumentCommand(document, MaskPart)
{
    setNewMask(std::move(newMask));
    setText(text);
}

SmartSelectCommand::SmartSelectCommand(
    PhotoDocument &document, QImage newMask, QPoint newControlPoint)
    : DocumentCommand(document, MaskPart | ControlPointPart)
{
    setNewMask(std::move(newMask));
    setNewControlPoint(newControlPoint);
}
