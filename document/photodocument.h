#pragma once

#include <cstdint>

#include <QImage>
#include <QObject>
#include <QPoint>
#include <QString>

#include "core/plane.h"
#include "image/imagefiles.h"

namespace tolvane {

// The last control point of smart selection when there is none.
inline constexpr QPoint noControlPoint(-100, -100);

// One open photo and the work on it: the photo image, the wire mask, the brightness map, the
// last control point of smart selection and whether the photo has been saved. The window
// shows it and the undo commands change it; nothing else holds image state.
//
// Images are never changed in place: every change puts a new image in, so that anyone holding
// an earlier one (a snapshot being written, a pixmap on screen) keeps what it had.
class PhotoDocument : public QObject
{
    Q_OBJECT
public:
    explicit PhotoDocument(QObject *parent = nullptr);

    // The photo, 32-bit ARGB or, for photos of 16 bits per channel, 64-bit RGBA (neither
    // premultiplied); null until a photo is opened.
    const QImage &photo() const { return m_photo; }
    // The photo as it was opened, for comparing before and after; it shares its memory with
    // photo() until the first removal.
    const QImage &openedPhoto() const { return m_openedPhoto; }
    // The wire mask, the photo's size, in the display format (premultiplied ARGB); a pixel is
    // marked when its alpha is not 0. Null while there is no mask.
    const QImage &mask() const { return m_mask; }
    bool hasMask() const { return !m_mask.isNull(); }
    // Max(red, green, blue) of every pixel of the photo as opened; removals leave it alone.
    const PlaneBuffer<std::uint8_t> &brightnessMap() const { return m_brightnessMap; }
    // In photo pixels; noControlPoint when there is none, (0, 0) before the first photo.
    QPoint lastControlPoint() const { return m_lastControlPoint; }
    const QString &filePath() const { return m_filePath; }
    const PhotoMetadata &metadata() const { return m_metadata; }

    // Which photo image this is: every removal makes a new one, and undo and redo bring back
    // the one they restore, so two states of the photo are equal when their revisions are.
    std::uint64_t photoRevision() const { return m_photoRevision; }
    static std::uint64_t newPhotoRevision();
    // Whether the photo differs from the one last opened or saved.
    bool isModified() const { return !m_photo.isNull() && m_photoRevision != m_savedRevision; }
    // Whether the photo is the one opened, whatever was saved since.
    bool isOpenedPhoto() const { return m_photoRevision == m_openedRevision; }
    // Whether the mask holds marks that were neither removed nor saved to a mask file since
    // they changed.
    bool hasUnsavedMarks() const { return m_marksUnsaved; }
    // Whether the photo or its marks hold work that no file holds.
    bool hasUnsavedWork() const { return isModified() || hasUnsavedMarks(); }

    // Makes `photo` (as photo() holds it) the open photo, read from `path`: no mask, no control
    // point, not modified. `brightness` must be its brightness map.
    void open(const QString &path, QImage photo, PlaneBuffer<std::uint8_t> brightness,
        PhotoMetadata metadata);
    // Records that the photo as it is now has been saved.
    void markSaved();
    // Records that the marks as they are now have been saved to a mask file.
    void markMarksSaved();

    // The changes the undo commands and the tools' callers make.
    void setPhoto(QImage photo, std::uint64_t revision);
    // `mask` (32-bit, the photo's size, or null for none) is kept in the display format.
    void setMask(QImage mask);
    void setLastControlPoint(QPoint point);

signals:
    // A new photo was opened: everything changed.
    void opened();
    void photoChanged();
    void maskChanged();
    void modifiedChanged(bool modified);
    // hasUnsavedWork() changed.
    void unsavedWorkChanged(bool unsaved);

private:
    void setRevisions(std::uint64_t photo, std::uint64_t saved);
    void setMarksUnsaved(bool unsaved);

    QImage m_photo;
    QImage m_openedPhoto;
    QImage m_mask;
    PlaneBuffer<std::uint8_t> m_brightnessMap;
    QPoint m_lastControlPoint {0, 0};
    QString m_filePath;
    PhotoMetadata m_metadata;
    std::uint64_t m_photoRevision = 0;
    std::uint64_t m_savedRevision = 0;
    std::uint64_t m_openedRevision = 0;
    bool m_marksUnsaved = false;
};

} // namespace tolvane
