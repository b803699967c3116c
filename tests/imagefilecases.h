#pragma once

#include <utility>

#include <QImage>
#include <QList>
#include <QMetaType>

// Files a photo tool meets besides ordinary photos, for Open and every tolvane-cli command.
struct ImageFileCase
{
    QString fileName;
    QByteArray bytes;
    QImage photo; // as it must open, 32-bit ARGB; null when it must be refused
    int tolerance = 0; // largest colour difference allowed (lossy files); -1: the size only
    bool unreadable = false; // to be written, then made unreadable
};
Q_DECLARE_METATYPE(ImageFileCase)

// The cases as the rows of a data table with one column, "file". Built in code, except the
// CMYK JPEG, which comes from data/.
void addImageFileRows();

// Writes the case into `folder` and returns its path; an empty string when the file cannot be
// made unreadable (as root, permissions do not stop reading).
QString writeImageFileCase(const ImageFileCase &file, const QString &folder);

// Whether `opened` is the photo the case must open as.
bool opensAsExpected(const QImage &opened, const ImageFileCase &file);

// Address-checked builds reserve terabytes of address space; no limit on it leaves them room.
#if defined(__SANITIZE_ADDRESS__)
#define TOLVANE_ADDRESS_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TOLVANE_ADDRESS_CHECKED 1
#endif
#endif
