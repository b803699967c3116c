#include "document/photodocument.h"

#include <atomic>

#include "image/wiremask.h"

namespace tolvane {

PhotoDocument::PhotoDocument(QObject *parent)
    : QObject(parent)
{ }

std::uint64_t PhotoDocument::newPhotoRevision()
{
    static std::atomic<std::uint64_t> last = 0;
    return ++last;
}

void PhotoDocument::open(
    const QString &path, QImage photo, PlaneBuffer<std::uint8_t> brightness, PhotoMetadata metadata)
{
    m_filePath = path;
    m_photo = std::move(photo);
    m_openedPhoto = m_photo;
    m_mask = QImage();
    m_brightnessMap = std::move(brightness);
    m_metadata = std::move(metadata);
    m_lastControlPoint = noControlPoint;
    const std::uint64_t revision = newPhotoRevision();
    m_openedRevision = revision;
    const bool hadWork = hasUnsavedWork();
    m_marksUnsaved = false;
    setRevisions(revision, revision);
    if (hadWork && !hasUnsavedWork())
        emit unsavedWorkChanged(false);
    emit opened();
}

void PhotoDocument::markSaved()
{
    setRevisions(m_photoRevision, m_photoRevision);
}

void PhotoDocument::markMarksSaved()
{
    setMarksUnsaved(false);
}

void PhotoDocument::setPhoto(QImage photo, std::uint64_t revision)
{
    m_photo = std::move(photo);
    setRevisions(revision, m_savedRevision);
    emit photoChanged();
}

void PhotoDocument::setMask(QImage mask)
{
    if (!mask.isNull())
        mask = std::move(mask).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    m_mask = std::move(mask);
    setMarksUnsaved(!m_mask.isNull() && hasMarks(m_mask));
    emit maskChanged();
}

void PhotoDocument::setLastControlPoint(QPoint point)
{
    m_lastControlPoint = point;
}

void PhotoDocument::setRevisions(std::uint64_t photo, std::uint64_t saved)
{
    const bool wasModified = isModified();
    const bool hadWork = hasUnsavedWork();
    m_photoRevision = photo;
    m_savedRevision = saved;
    if (isModified() != wasModified)
        emit modifiedChanged(isModified());
    if (hasUnsavedWork() != hadWork)
        emit unsavedWorkChanged(hasUnsavedWork());
}

void PhotoDocument::setMarksUnsaved(bool unsaved)
{
    const bool hadWork = hasUnsavedWork();
    m_marksUnsaved = unsaved;
    if (hasUnsavedWork() != hadWork)
        emit unsavedWorkChanged(hasUnsavedWork());
}

} // namespace tolvane
