#pragma once

#include <QImage>
#include <QString>

namespace tolvane {

// Lets the image reader decode photos of up to about 250 megapixels (the toolkit's default
// refuses anything above 128 MB decoded, about 33 megapixels), while a header that claims
// absurd dimensions is still refused. Call once before reading.
void allowLargePhotos();

// Reads a photo as Open does: format from content and name, the recorded (Exif) orientation
// applied, converted to 32-bit ARGB. A null image when the file cannot be read.
QImage readPhoto(const QString &path);

// Reads a wire mask: any readable image, converted to 32-bit ARGB, orientation as stored.
QImage readMask(const QString &path);

// Writes `image` in the format its suffix names (quality 100). The file is written to a
// temporary file beside it and renamed, so a failed write leaves whatever was there before.
// On failure returns false and, if `error` is given, a short reason.
bool writeImage(const QImage &image, const QString &path, QString *error = nullptr);

// Whether the image writer can write a file with this name's suffix.
bool isWritableImageName(const QString &path);

} // namespace tolvane
