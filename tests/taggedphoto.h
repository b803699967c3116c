#pragma once

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QImage>
#include <QStringList>

#include <exiv2/exiv2.hpp>

// A camera JPEG as photographers' files come: Exif (camera, date, GPS, orientation 6 and a
// thumbnail), IPTC, XMP and an Adobe RGB colour profile. Shared by the window and CLI tests.

// Writes `landscape`, stored sideways with orientation 6 ("turn a quarter clockwise"), as such
// a JPEG at `path`.
inline void writeTaggedJpeg(const QImage &landscape, const QString &path)
{
    QImage stored = landscape.convertToFormat(QImage::Format_RGB32);
    stored.setColorSpace(QColorSpace(QColorSpace::AdobeRgb));
    QByteArray bytes, thumbnail;
    QBuffer buffer(&bytes), thumbnailBuffer(&thumbnail);
    if (!stored.save(&buffer, "JPG") || !stored.scaled(16, 8).save(&thumbnailBuffer, "JPG"))
        qFatal("cannot encode the tagged photo");

    const auto image = Exiv2::ImageFactory::open(
        reinterpret_cast<const Exiv2::byte *>(bytes.constData()), long(bytes.size()));
    image->readMetadata(); // the colour profile
    Exiv2::ExifData exif;
    exif["Exif.Image.Make"] = "Pellam";
    exif["Exif.Image.Model"] = "K-1";
    exif["Exif.Image.Orientation"] = std::uint16_t(6);
    exif["Exif.Photo.DateTimeOriginal"] = "2024:05:17 18:42:07";
    exif["Exif.Photo.PixelXDimension"] = std::uint32_t(landscape.width());
    exif["Exif.Photo.PixelYDimension"] = std::uint32_t(landscape.height());
    exif["Exif.GPSInfo.GPSLatitudeRef"] = "N";
    exif["Exif.GPSInfo.GPSLatitude"] = Exiv2::Rational(52, 1);
    Exiv2::ExifThumb(exif).setJpegThumbnail(
        reinterpret_cast<const Exiv2::byte *>(thumbnail.constData()), long(thumbnail.size()));
    image->setExifData(exif);
    image->iptcData()["Iptc.Application2.Copyright"] = "Pellam 2024";
    image->xmpData()["Xmp.dc.subject"] = "street";
    image->xmpData()["Xmp.tiff.Orientation"] = "6";
    image->writeMetadata();

    Exiv2::BasicIo &io = image->io();
    io.open();
    const Exiv2::DataBuf written = io.read(io.size());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)
        || file.write(reinterpret_cast<const char *>(written.pData_), written.size_)
            != written.size_)
        qFatal("cannot write %s", qPrintable(path));
}

template <typename Key, typename Data> QString tagText(const Data &data, const char *key)
{
    const auto found = data.findKey(Key(key));
    return found == data.end() ? QStringLiteral("-") : QString::fromStdString(found->toString());
}

// What the file at `path` says of the tags above, in their order, then whether it holds a
// thumbnail and its colour space.
inline QStringList taggedPhotoSummary(const QString &path)
{
    const auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString(), false);
    image->readMetadata();
    const Exiv2::ExifData &exif = image->exifData();
    QStringList summary;
    for (const char *key : {"Exif.Image.Make", "Exif.Image.Model", "Exif.Image.Orientation",
             "Exif.Photo.DateTimeOriginal", "Exif.Photo.PixelXDimension",
             "Exif.Photo.PixelYDimension", "Exif.GPSInfo.GPSLatitudeRef",
             "Exif.GPSInfo.GPSLatitude"})
        summary << tagText<Exiv2::ExifKey>(exif, key);
    summary << tagText<Exiv2::IptcKey>(image->iptcData(), "Iptc.Application2.Copyright")
            << tagText<Exiv2::XmpKey>(image->xmpData(), "Xmp.dc.subject")
            << tagText<Exiv2::XmpKey>(image->xmpData(), "Xmp.tiff.Orientation");
    summary << (Exiv2::ExifThumbC(exif).copy().size_ ? "thumbnail" : "no thumbnail");
    const bool adobe = QImage(path).colorSpace() == QColorSpace(QColorSpace::AdobeRgb);
    summary << (adobe ? "Adobe RGB" : "other colours");
    return summary;
}
