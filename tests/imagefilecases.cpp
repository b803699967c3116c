#include "imagefilecases.h"

#include <algorithm>
#include <cstdlib>

#include <QBuffer>
#include <QFile>
#include <QTest>
#include <QtEndian>

namespace {

QByteArray encode(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, format, 90))
        qFatal("cannot encode a test %s", format);
    return bytes;
}

} // namespace

void addImageFileRows()
{
    // Every pixel different, with some transparency: nothing in a conversion can hide.
    QImage photo(64, 48, QImage::Format_ARGB32);
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x)
            photo.setPixel(x, y, qRgba(x * 37 + y * 11, x * y * 7, (x ^ y) * 5, 255 - (x + y) % 3));
    }
    const QByteArray png = encode(photo, "png");
    const QByteArray jpg = encode(photo, "jpg");
    // Height and width 65000 in the frame header, after its marker FF C0, length and precision.
    QByteArray huge = jpg;
    qToBigEndian<quint32>(65000u << 16 | 65000u, huge.data() + jpg.indexOf("\xFF\xC0") + 5);

    // Made with libjpeg: 16 x 8, Adobe (inverted) CMYK, the left half red, the right blue.
    QFile cmykFile(QStringLiteral(TOLVANE_TEST_DATA "/cmyk.jpg"));
    if (!cmykFile.open(QIODevice::ReadOnly))
        qFatal("cannot read data/cmyk.jpg");
    QImage cmyk(16, 8, QImage::Format_ARGB32);
    cmyk.fill(Qt::blue);
    for (int y = 0; y < 8; ++y)
        std::fill_n(reinterpret_cast<QRgb *>(cmyk.scanLine(y)), 8, 0xFFFF0000);

    const QImage grey = photo.convertToFormat(QImage::Format_Grayscale8);
    const QImage deep = photo.convertToFormat(QImage::Format_RGBA64);
    const QImage pixel = photo.copy(0, 0, 1, 1), column = photo.copy(3, 0, 1, 48);
    const QImage row = photo.copy(0, 7, 64, 1);
    QTest::addColumn<ImageFileCase>("file");
    for (const auto &[name, file] : QList<std::pair<const char *, ImageFileCase>> {
             {"empty file", {"empty.jpg", {}, {}}},
             // The reader shows what arrived and leaves the rest grey, reporting no error.
             {"JPEG cut in its data", {"cut.jpg", jpg.left(jpg.size() * 3 / 4), photo, -1}},
             {"PNG cut short", {"cut.png", png.left(png.size() * 3 / 4), {}}},
             {"JPEG of 65000 x 65000", {"huge.jpg", huge, {}}},
             {"text named .png", {"text.png", "Tolvane opens photos.\n", {}}},
             {"16-bit PNG", {"deep.png", encode(deep, "png"), deep}},
             {"grey PNG",
                 {"grey.png", encode(grey, "png"), grey.convertToFormat(QImage::Format_ARGB32)}},
             {"CMYK JPEG", {"cmyk.jpg", cmykFile.readAll(), cmyk, 2}},
             {"1 x 1", {"pixel.png", encode(pixel, "png"), pixel}},
             {"1 x 48", {"column.png", encode(column, "png"), column}},
             {"64 x 1", {"row.png", encode(row, "png"), row}},
             {"unreadable", {"locked.png", png, {}, 0, true}},
         })
        QTest::newRow(name) << file;
}

QString writeImageFileCase(const ImageFileCase &file, const QString &folder)
{
    QFile out(folder + u'/' + file.fileName);
    if (!out.open(QIODevice::WriteOnly) || out.write(file.bytes) != file.bytes.size())
        qFatal("cannot write %s", qPrintable(out.fileName()));
    out.close();
    if (!file.unreadable)
        return out.fileName();
    out.setPermissions({});
    return out.open(QIODevice::ReadOnly) ? QString() : out.fileName();
}

bool opensAsExpected(const QImage &opened, const ImageFileCase &file)
{
    if (opened.isNull() || file.photo.isNull() || file.tolerance == 0)
        return opened == file.photo;
    const QImage expected = file.photo.convertToFormat(QImage::Format_ARGB32);
    bool near = opened.format() == QImage::Format_ARGB32 && opened.size() == expected.size();
    for (qsizetype i = 0; near && file.tolerance > 0 && i < opened.sizeInBytes(); ++i)
        near = std::abs(opened.constBits()[i] - expected.constBits()[i]) <= file.tolerance;
    return near;
}
