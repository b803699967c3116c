#pragma once

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QImage>
#include <QStringList>

#include <exiv2/exiv2.hpp>

// The tags of a camera JPEG as photographers' files come: Exif (camera, date, GPS, orientation 6
// and a thumbnail), IPTC and XMP. Shared by the window and CLI tests.

// Adds those tags to the photo file at `path`; without orientation and thumbnail unless
// `sideways`.
inline void tagPhoto(const QString &path, bool sideways)
{
    const QImage stored(path);
    QByteArray thumbnail;
    QBuffer thumbnailBuffer(&thumbnail);
    if (stored.isNull() || !stored.scaled(16, 8).save(&thumbnailBuffer, "JPG"))
        qFatal("cannot tag the photo %s", qPrintable(path));
    const auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    image->readMetadata(); // the colour profile
    Exiv2::ExifData exif;
    exif["Exif.Image.Make"] = "Pellam";
    exif["Exif.Image.Model"] = "K-1";
    exif["Exif.Photo.DateTimeOriginal"] = "2024:05:17 18:42:07";
    exif["Exif.Photo.PixelXDimension"] = std::uint32_t(stored.width());
    exif["Exif.Photo.PixelYDimension"] = std::uint32_t(stored.height());
    exif["Exif.GPSInfo.GPSLatitudeRef"] = "N";
    exif["Exif.GPSInfo.GPSLatitude"] = Exiv2::Rational(52, 1);
    if (sideways) {
        exif["Exif.Image.Orientation"] = std::uint16_t(6);
        Exiv2::ExifThumb(exif).setJpegThumbnail(
            reinterpret_cast<const Exiv2::byte *>(thumbnail.constData()), long(thumbnail.size()));
        image->xmpData()["Xmp.tiff.Orientation"] = "6";
    }
    image->setExifData(exif);
    image->iptcData()["Iptc.Application2.Copyright"] = "Pellam 2024";
    image->xmpData()["Xmp.dc.subject"] = "street";
    image->writeMetadata();
}

// Writes `landscape`, stored sideways with orientation 6 ("turn a quarter clockwise"), as such
// a JPEG at `path`, with an Adobe RGB colour profile.
inline void writeTaggedJpeg(const QImage &landscape, const QString &path)
{
    QImage stored = landscape.convertToFormat(QImage::Format_RGB32);
    stored.setColorSpace(QColorSpace(QColorSpace::AdobeRgb));
    if (!stored.save(path, "JPG"))
        qFatal("cannot write the tagged photo %s", qPrintable(path));
    tagPhoto(path, true);
}

// What the file at `path` says of the tags above, in their order, then whether it holds a
// thumbnail and its colour space.
inline QStringList taggedPhotoSummary(const QString &path)
{
    const auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString(), false);
    image->readMetadata();
    auto text = [](const auto &data, const auto &key) {
        const auto found = data.findKey(key);
        return found == data.end() ? QString("-") : QString::fromStdString(found->toString());
    };
    QStringList summary;
    for (const char *key : {"Image.Make", "Image.Model", "Image.Orientation",
             "Photo.DateTimeOriginal", "Photo.PixelXDimension", "Photo.PixelYDimension",
             "GPSInfo.GPSLatitudeRef", "GPSInfo.GPSLatitude"})
        summary << text(image->exifData(), Exiv2::ExifKey(std::string("Exif.") + key));
    summary << text(image->iptcData(), Exiv2::IptcKey("Iptc.Application2.Copyright"))
            << text(image->xmpData(), Exiv2::XmpKey("Xmp.dc.subject"))
            << text(image->xmpData(), Exiv2::XmpKey("Xmp.tiff.Orientation"))
            << (Exiv2::ExifThumbC(image->exifData()).copy().size_ ? "thumbnail" : "no thumbnail")
            << (QImage(path).colorSpace() == QColorSpace::AdobeRgb ? "Adobe RGB" : "other");
    return summary;
}
