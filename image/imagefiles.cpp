#include "image/imagefiles.h"

#include <cstring>
#include <mutex>

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>

#include <exiv2/exiv2.hpp>

namespace tolvane {

struct MetadataRecord
{
    Exiv2::ExifData exif;
    Exiv2::IptcData iptc;
    Exiv2::XmpData xmp;
    QColorSpace colorSpace; // invalid when the file has no profile the toolkit understands
    // Whether the reader applied a recorded orientation, so the pixels are stored upright.
    bool turnedUpright = false;
};

namespace {

// 250 megapixels at 8 bytes per pixel (16-bit PNG or TIFF) is 2000 MB.
constexpr int decodeLimitMB = 2048;

QImage readArgb(const QString &path, bool applyOrientation, bool keepDepth)
{
    // Only regular files: opening a FIFO waits for a writer that may never come, and a
    // device such as /dev/zero never ends.
    if (!QFileInfo(path).isFile())
        return {};
    QImageReader reader(path);
    reader.setAutoTransform(applyOrientation);
    QImage image = reader.read();
    if (image.isNull())
        return {};
    // In place where it can be (from RGB32 it is, and from RGBX64): no second photo-sized
    // buffer.
    const bool deep = keepDepth && isDeepFormat(image.format());
    return std::move(image).convertToFormat(deep ? QImage::Format_RGBA64 : QImage::Format_ARGB32);
}

QByteArray formatForName(const QString &path)
{
    return QFileInfo(path).suffix().toLower().toLatin1();
}

// A view of `image`'s pixels read as `format` (of the same depth) with `colorSpace`, without a
// copy: the encoder only reads them, and `image` must outlive the view.
QImage borrowedPixels(const QImage &image, QImage::Format format, const QColorSpace &colorSpace)
{
    QImage view(image.constBits(), image.width(), image.height(), image.bytesPerLine(), format);
    view.setColorTable(image.colorTable());
    view.setDotsPerMeterX(image.dotsPerMeterX());
    view.setDotsPerMeterY(image.dotsPerMeterY());
    view.setColorSpace(colorSpace);
    return view;
}

// The pixels of `image` as the file named `path` is to hold them, sharing memory where the
// bits stay as they are: an opaque ARGB32 or RGBA64 image as RGB32 or RGBX64 (the same bits,
// so that the encoder writes no alpha channel), a 64-bit one as 32-bit where the format has no
// deeper pixels.
QImage pixelsToWrite(const QImage &image, const QString &path)
{
    const QImage::Format format = image.format();
    if (format != QImage::Format_ARGB32 && format != QImage::Format_RGBA64)
        return image;
    const bool opaque = isOpaque(image);
    if (format == QImage::Format_RGBA64 && !keepsDeepPixels(path)) {
        QImage rounded = image.convertToFormat(QImage::Format_ARGB32);
        if (opaque)
            rounded.reinterpretAsFormat(QImage::Format_RGB32); // its own pixels: no copy
        return rounded;
    }
    if (!opaque)
        return image;
    // Reinterpreting `image` itself would copy the pixels it shares with the caller.
    return borrowedPixels(image,
        format == QImage::Format_ARGB32 ? QImage::Format_RGB32 : QImage::Format_RGBX64,
        image.colorSpace());
}

// Readies the metadata library once per process: silent (tolvane-cli owns standard error), and
// with its XMP toolkit set up before threads may use it.
void prepareMetadataLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] {
        static std::mutex xmpMutex;
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize(
            [](void *mutex, bool lock) {
                if (lock)
                    static_cast<std::mutex *>(mutex)->lock();
                else
                    static_cast<std::mutex *>(mutex)->unlock();
            },
            &xmpMutex);
    });
}

template <typename Data, typename Key, typename Value>
void replaceIfPresent(Data &data, const Key &key, const Value &value)
{
    const auto found = data.findKey(key);
    if (found != data.end())
        *found = value;
}

// The record's metadata adjusted to the pixels being written.
Exiv2::ExifData exifForImage(const MetadataRecord &record, QSize size)
{
    Exiv2::ExifData exif = record.exif;
    Exiv2::ExifThumb(exif).erase();
    if (record.turnedUpright)
        replaceIfPresent(exif, Exiv2::ExifKey("Exif.Image.Orientation"), std::uint16_t(1));
    replaceIfPresent(
        exif, Exiv2::ExifKey("Exif.Photo.PixelXDimension"), std::uint32_t(size.width()));
    replaceIfPresent(
        exif, Exiv2::ExifKey("Exif.Photo.PixelYDimension"), std::uint32_t(size.height()));
    return exif;
}

Exiv2::XmpData xmpForImage(const MetadataRecord &record, QSize size)
{
    Exiv2::XmpData xmp = record.xmp;
    if (record.turnedUpright)
        replaceIfPresent(xmp, Exiv2::XmpKey("Xmp.tiff.Orientation"), std::string("1"));
    replaceIfPresent(xmp, Exiv2::XmpKey("Xmp.exif.PixelXDimension"), std::to_string(size.width()));
    replaceIfPresent(xmp, Exiv2::XmpKey("Xmp.exif.PixelYDimension"), std::to_string(size.height()));
    return xmp;
}

// `image`, sharing its pixels, with the colour space that the encoder is to write as its
// profile. The encoder writes the profile itself: the metadata library would write a PNG
// profile chunk without the name the format requires.
QImage withColorSpace(const QImage &image, const QColorSpace &colorSpace)
{
    if (!colorSpace.isValid() || image.colorSpace() == colorSpace)
        return image;
    // Setting the colour space of a shared image would copy it whole.
    return borrowedPixels(image, image.format(), colorSpace);
}

// Writes the encoded image file `bytes` to `out` with the record added. Returns false when the
// metadata library cannot write that format or fails (nothing is written then), or when
// writing to `out` fails.
bool writeWithMetadata(
    const QByteArray &bytes, const MetadataRecord &record, QSize size, QIODevice &out)
{
    prepareMetadataLibrary();
    try {
        // Reads `bytes` in place; the edited file is the library's own copy.
        const auto image = Exiv2::ImageFactory::open(
            reinterpret_cast<const Exiv2::byte *>(bytes.constData()), long(bytes.size()));
        // Keeps the colour profile that the encoder wrote.
        image->readMetadata();
        image->setExifData(exifForImage(record, size));
        image->setIptcData(record.iptc);
        image->setXmpData(xmpForImage(record, size));
        image->writeMetadata();
        Exiv2::BasicIo &io = image->io();
        const qint64 length = qint64(io.size());
        return out.write(reinterpret_cast<const char *>(io.mmap()), length) == length;
    } catch (const std::exception &) { // the library's errors, and bad sizes read from a file
        return false;
    }
}

} // namespace

PhotoMetadata readMetadata(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return {};
    prepareMetadataLibrary();
    auto record = std::make_shared<MetadataRecord>();
    try {
        // Never a URL: the name is a file's.
        const auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString(), false);
        image->readMetadata();
        record->exif = image->exifData();
        record->iptc = image->iptcData();
        record->xmp = image->xmpData();
        if (image->iccProfileDefined()) {
            const Exiv2::DataBuf *profile = image->iccProfile();
            record->colorSpace = QColorSpace::fromIccProfile(
                QByteArray(reinterpret_cast<const char *>(profile->pData_), profile->size_));
        }
    } catch (const std::exception &) {
        return {};
    }
    if (record->exif.empty() && record->iptc.empty() && record->xmp.empty()
        && !record->colorSpace.isValid())
        return {};
    QImageReader reader(path);
    record->turnedUpright = reader.transformation() != QImageIOHandler::TransformationNone;
    return {std::move(record)};
}

void allowLargePhotos()
{
    QImageReader::setAllocationLimit(decodeLimitMB);
}

bool isOpaque(const QImage &image)
{
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_RGBX64:
        return true;
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGBA64:
        break;
    default:
        return false;
    }
    const bool deep = image.depth() == 64;
    // Sizes held in locals: the compiler cannot keep the results of the library's accessors.
    const int width = image.width();
    const int height = image.height();
    for (int y = 0; y < height; ++y) {
        if (deep) {
            const auto *pixels = reinterpret_cast<const quint64 *>(image.constScanLine(y));
            quint64 all = ~quint64(0);
            for (int x = 0; x < width; ++x)
                all &= pixels[x];
            if (all >> 48 != 0xFFFF)
                return false;
        } else {
            const auto *pixels = reinterpret_cast<const QRgb *>(image.constScanLine(y));
            QRgb all = ~QRgb(0);
            for (int x = 0; x < width; ++x)
                all &= pixels[x];
            if (all >> 24 != 0xFF)
                return false;
        }
    }
    return true;
}

bool isDeepFormat(QImage::Format format)
{
    switch (format) {
    case QImage::Format_BGR30:
    case QImage::Format_A2BGR30_Premultiplied:
    case QImage::Format_RGB30:
    case QImage::Format_A2RGB30_Premultiplied:
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64:
    case QImage::Format_RGBA64_Premultiplied:
    case QImage::Format_Grayscale16:
    case QImage::Format_RGBX16FPx4:
    case QImage::Format_RGBA16FPx4:
    case QImage::Format_RGBA16FPx4_Premultiplied:
    case QImage::Format_RGBX32FPx4:
    case QImage::Format_RGBA32FPx4:
    case QImage::Format_RGBA32FPx4_Premultiplied:
        return true;
    default:
        return false;
    }
}

bool isCutShortJpeg(QByteArrayView bytes)
{
    const auto at = [&](qsizetype i) { return quint8(bytes[i]); };
    if (bytes.size() < 2 || at(0) != 0xFF || at(1) != 0xD8)
        return false;
    qsizetype i = 2;
    while (true) {
        // A marker: 0xFF fill bytes, then its code.
        while (i < bytes.size() && at(i) == 0xFF)
            ++i;
        if (i >= bytes.size())
            return true;
        const quint8 code = at(i++);
        if (code == 0xD9) // end of image
            return false;
        if (code == 0x01 || (code >= 0xD0 && code <= 0xD7)) // no length, no data
            continue;
        if (i + 2 > bytes.size())
            return true;
        const qsizetype length = at(i) << 8 | at(i + 1);
        if (length < 2)
            return false; // not what a writer makes: nothing more to say of it
        i += length;
        if (code != 0xDA) // not the start of a scan
            continue;
        // The scan's coded data runs to the next marker other than a stuffed 0xFF00 or a
        // restart marker.
        while (true) {
            const auto *from = bytes.data() + std::min(i, bytes.size());
            const auto *ff = static_cast<const char *>(
                std::memchr(from, 0xFF, std::size_t(bytes.data() + bytes.size() - from)));
            if (!ff || ff + 1 >= bytes.data() + bytes.size())
                return true;
            i = ff - bytes.data() + 1;
            const quint8 next = at(i);
            if (next != 0x00 && next != 0xFF && !(next >= 0xD0 && next <= 0xD7))
                break;
            if (next == 0x00 || (next >= 0xD0 && next <= 0xD7))
                ++i;
        }
    }
}

QImage readPhoto(const QString &path, QString *damage)
{
    if (damage)
        damage->clear();
    QImage photo = readArgb(path, true, true);
    if (damage && !photo.isNull()) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            // Mapped, not read: only the pages the walk touches are loaded.
            const uchar *bytes = file.size() > 0 ? file.map(0, file.size()) : nullptr;
            if (bytes
                && isCutShortJpeg(
                    QByteArrayView(reinterpret_cast<const char *>(bytes), file.size())))
                *damage = QStringLiteral("the file ends before the picture does; the rest "
                                         "shows grey");
        }
    }
    return photo;
}

QImage readMask(const QString &path)
{
    return readArgb(path, false, false);
}

bool keepsDeepPixels(const QString &path)
{
    const QByteArray format = formatForName(path);
    return format == "png" || format == "tif" || format == "tiff";
}

bool isWritableImageName(const QString &path)
{
    const QByteArray format = formatForName(path);
    return !format.isEmpty() && QImageWriter::supportedImageFormats().contains(format);
}

bool writeImage(const QImage &image, const QString &path, QString *error)
{
    return writeImage(image, path, PhotoMetadata(), error);
}

bool writeImage(
    const QImage &image, const QString &path, const PhotoMetadata &metadata, QString *error)
{
    auto fail = [error](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    if (!isWritableImageName(path))
        return fail(QStringLiteral("no image format is known for this file name"));
    // The new file replaces the old one by a rename: a FIFO, a device or a folder (also one a
    // link points to) would be replaced by a plain file.
    if (const QFileInfo existing(path); existing.exists() && !existing.isFile())
        return fail(QStringLiteral("not a regular file; not replaced"));

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    // With metadata, encoded in memory first for the metadata library to edit.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QIODevice *device = &file;
    if (!metadata.isEmpty()) {
        buffer.open(QIODevice::WriteOnly);
        device = &buffer;
    }
    const QByteArray format = formatForName(path);
    QImageWriter writer(device, format);
    // PNG takes the quality for its compression: 100 would store the pixels uncompressed
    // (200 MB for 50 megapixels); 35 is zlib level 6, some 2.5 times smaller on photos.
    writer.setQuality(format == "png" ? 35 : 100);
    const QImage pixels = pixelsToWrite(image, path);
    if (!writer.write(
            metadata.isEmpty() ? pixels : withColorSpace(pixels, metadata.record->colorSpace))) {
        file.cancelWriting();
        return fail(writer.errorString());
    }
    if (!metadata.isEmpty()) {
        // A format the metadata library cannot write (BMP) is saved with its pixels only.
        if (!writeWithMetadata(bytes, *metadata.record, image.size(), file)
            && file.error() == QFileDevice::NoError)
            file.write(bytes);
        if (file.error() != QFileDevice::NoError) {
            file.cancelWriting();
            return fail(file.errorString());
        }
    }
    // The writer's last bytes wait in the file's buffer, and a full disk refuses them only
    // when they are flushed; commit() alone would not notice and keep a cut file.
    if (!file.flush()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return fail(reason);
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

} // namespace tolvane
