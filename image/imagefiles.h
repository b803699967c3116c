#pragma once

#include <memory>

#include <QImage>
#include <QString>

namespace tolvane {

struct MetadataRecord;

// What a photo file carries besides its pixels: Exif, IPTC and XMP metadata and a colour
// profile. Kept apart from the image, so that a photo rebuilt pixel by pixel still saves with
// them. Cheap to copy.
struct PhotoMetadata
{
    std::shared_ptr<const MetadataRecord> record; // null when the file carries none

    bool isEmpty() const { return !record; }
};

// Lets the image reader decode photos of up to about 250 megapixels (the toolkit's default
// refuses anything above 128 MB decoded, about 33 megapixels), while a header that claims
// absurd dimensions is still refused. Call once before reading.
void allowLargePhotos();

// Whether every pixel of `image` is opaque: RGB32 and RGBX64 images always, ARGB32 (also
// premultiplied) and RGBA64 ones when every alpha is full; images of other formats never.
bool isOpaque(const QImage &image);

// Whether images of `format` hold more than 8 bits per channel.
bool isDeepFormat(QImage::Format format);

// Reads a photo as Open does: format from content and name, the recorded (Exif) orientation
// applied, converted to 32-bit ARGB, or to 64-bit RGBA (straight alpha) when the file holds
// more than 8 bits per channel. A null image when the file cannot be read. When the file is
// damaged but its picture could be read in part (a JPEG cut short: the toolkit shows the rest
// grey), the image is returned and `damage`, if given, receives what is wrong; else it is
// cleared.
QImage readPhoto(const QString &path, QString *damage = nullptr);

// Whether `bytes`, which start as a JPEG file does, end before the picture does: the walk
// from marker to marker and through the coded data reaches no end-of-image marker.
bool isCutShortJpeg(QByteArrayView bytes);

// Reads the metadata and colour profile of the photo file at `path`; empty when it has none or
// the file cannot be parsed. Thread-safe.
PhotoMetadata readMetadata(const QString &path);

// Reads a wire mask: any readable image, converted to 32-bit ARGB, orientation as stored.
QImage readMask(const QString &path);

// Writes `image` in the format its suffix names (quality 100; PNG compressed at zlib level 6). The
// file is written to a temporary file beside it and renamed, so a failed write leaves whatever was
// there before; a name that is not a regular file (a FIFO, a device, a folder) is not written.
// An opaque image is written without an alpha channel; a 64-bit image keeps its 16
// bits per channel where the format holds them (PNG, TIFF) and is written at 8 bits elsewhere. On
// failure returns false and, if `error` is given, a short reason.
bool writeImage(const QImage &image, const QString &path, QString *error = nullptr);

// As above, and the file also carries `metadata` when its format can hold it (JPEG and PNG among
// others): the orientation tag says upright when the reader turned the pixels, the embedded Exif
// thumbnail is dropped (it shows the photo as it was), the pixel size tags follow the image.
bool writeImage(const QImage &image, const QString &path, const PhotoMetadata &metadata,
    QString *error = nullptr);

// Whether a file with this name's suffix keeps 16 bits per channel.
bool keepsDeepPixels(const QString &path);

// Whether the image writer can write a file with this name's suffix.
bool isWritableImageName(const QString &path);

} // namespace tolvane
