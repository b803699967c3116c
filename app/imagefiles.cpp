#include "app/imagefiles.h"

#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>

namespace tolvane {

namespace {

// 250 megapixels at 8 bytes per pixel (16-bit PNG or TIFF) is 2000 MB.
constexpr int decodeLimitMB = 2048;

QImage readArgb(const QString &path, bool applyOrientation)
{
    QImageReader reader(path);
    reader.setAutoTransform(applyOrientation);
    QImage image = reader.read();
    if (image.isNull())
        return {};
    // In place where it can be (from RGB32 it is): no second photo-sized buffer.
    return std::move(image).convertToFormat(QImage::Format_ARGB32);
}

QByteArray formatForName(const QString &path)
{
    return QFileInfo(path).suffix().toLower().toLatin1();
}

} // namespace

void allowLargePhotos()
{
    QImageReader::setAllocationLimit(decodeLimitMB);
}

QImage readPhoto(const QString &path)
{
    return readArgb(path, true);
}

QImage readMask(const QString &path)
{
    return readArgb(path, false);
}

bool isWritableImageName(const QString &path)
{
    const QByteArray format = formatForName(path);
    return !format.isEmpty() && QImageWriter::supportedImageFormats().contains(format);
}

bool writeImage(const QImage &image, const QString &path, QString *error)
{
    auto fail = [error](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    if (!isWritableImageName(path))
        return fail(QStringLiteral("no image format is known for this file name"));

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    QImageWriter writer(&file, formatForName(path));
    writer.setQuality(100);
    if (!writer.write(image)) {
        file.cancelWriting();
        return fail(writer.errorString());
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

} // namespace tolvane
