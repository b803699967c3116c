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

QImage argb(const QImage &image)
{
    return image.convertToFormat(QImage::Format_ARGB32);
}

// Index (x + y) % 4 into red, green, blue and white.
QImage paletteImage(int w, int h)
{
    QImage image(w, h, QImage::Format_Indexed8);
    image.setColorTable({0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF});
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, uint((x + y) % 4));
    }
    return image;
}

void appendLe(QByteArray &bytes, quint32 value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes.append(char(value >> (8 * i)));
}

// A looping GIF of two frames, paletteImage() and the same with every index one higher. Its LZW
// data sends a clear code before every pixel, so that every code stays 3 bits wide.
QByteArray animatedGif(int w, int h)
{
    QByteArray gif("GIF89a");
    appendLe(gif, w | h << 16, 4);
    gif.append("\xF1\0\0\xFF\0\0\0\xFF\0\0\0\xFF\xFF\xFF\xFF", 15); // the colours of paletteImage
    gif.append("\x21\xFF\x0BNETSCAPE2.0\x03\x01\0\0\0", 19);
    for (int shift : {0, 1}) {
        gif.append("\x21\xF9\x04\0\x0A\0\0\0\x2C\0\0\0\0", 13);
        appendLe(gif, w | h << 16, 4);
        gif.append("\0\x02", 2);
        QByteArray data;
        quint32 bits = 0;
        for (int i = 0, count = 0; i <= w * h; ++i) {
            const QList<int> codes = i < w * h ? QList {4, (i % w + i / w + shift) % 4} : QList {5};
            for (int code : codes) {
                bits |= quint32(code) << count;
                for (count += 3; count >= 8 || (i == w * h && count > 0); count -= 8, bits >>= 8)
                    data.append(char(bits));
            }
        }
        for (qsizetype i = 0; i < data.size(); i += 255)
            gif.append(char(data.mid(i, 255).size())).append(data.mid(i, 255));
        gif.append('\0');
    }
    return gif.append(';');
}

// An uncompressed 8-bit grey TIFF, one page per image, each page's pixels before its directory.
QByteArray multiPageTiff(const QList<QImage> &pages)
{
    QByteArray tiff("II*\0\0\0\0\0", 8);
    qsizetype link = 4; // where the offset of the next directory goes
    for (const QImage &page : pages) {
        const quint32 start = quint32(tiff.size()), w = page.width(), h = page.height();
        for (int y = 0; y < page.height(); ++y)
            tiff.append(reinterpret_cast<const char *>(page.constScanLine(y)), w);
        qToLittleEndian<quint32>(quint32(tiff.size()), tiff.data() + link);
        const QList<std::pair<int, quint32>> entries = {{256, w}, {257, h}, {258, 8}, {259, 1},
            {262, 1}, {273, start}, {277, 1}, {278, h}, {279, w * h}};
        appendLe(tiff, entries.size(), 2);
        for (const auto &[tag, value] : entries) {
            appendLe(tiff, tag | (tag == 273 || tag == 279 ? 4 : 3) << 16, 4); // LONG or SHORT
            appendLe(tiff, 1, 4);
            appendLe(tiff, value, 4);
        }
        link = tiff.size();
        appendLe(tiff, 0, 4);
    }
    return tiff;
}

// The PNG checksum (CRC-32) of `bytes`.
quint32 pngCrc(QByteArrayView bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 1 ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    return ~crc;
}

// `png` with the width and height in its header replaced, its checksum mended: a small file
// that claims a picture far larger than memory.
QByteArray pngClaiming(QByteArray png, quint32 width, quint32 height)
{
    // The IHDR chunk: length at 8, type at 12, width at 16, height at 20, checksum at 29.
    qToBigEndian(width, png.data() + 16);
    qToBigEndian(height, png.data() + 20);
    qToBigEndian(pngCrc(QByteArrayView(png).sliced(12, 17)), png.data() + 29);
    return png;
}

// An 8-bit grey and alpha PNG (colour type 4), which the toolkit's writer never makes: grey
// 16 x, alpha 32 y + 31.
QByteArray greyAlphaPng(int w, int h)
{
    auto chunk = [](const char *type, const QByteArray &data) {
        QByteArray bytes(4, '\0');
        qToBigEndian(quint32(data.size()), bytes.data());
        const QByteArray body = type + data;
        bytes += body;
        const qsizetype at = bytes.size();
        bytes.resize(at + 4);
        qToBigEndian(pngCrc(body), bytes.data() + at);
        return bytes;
    };
    QByteArray header(13, '\0');
    qToBigEndian(quint32(w), header.data());
    qToBigEndian(quint32(h), header.data() + 4);
    header[8] = 8;
    header[9] = 4;
    QByteArray rows;
    for (int y = 0; y < h; ++y) {
        rows.append('\0'); // no filter
        for (int x = 0; x < w; ++x)
            rows.append(char(x * 16)).append(char(y * 32 + 31));
    }
    // qCompress() puts the length before the zlib stream.
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header)
        + chunk("IDAT", qCompress(rows).mid(4)) + chunk("IEND", {});
}

QImage greyAlphaPhoto(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgba(x * 16, x * 16, x * 16, y * 32 + 31));
    return image;
}

// Bytes that no reader takes for an image, the same every run.
QByteArray noise(int size)
{
    QByteArray bytes;
    quint32 seed = 12345;
    for (int i = 0; i < size; ++i)
        bytes.append(char((seed = seed * 1664525u + 1013904223u) >> 24));
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
    QByteArray badChecksum = png;
    badChecksum[badChecksum.size() - 13] ^= 1; // the last byte of the IDAT chunk's CRC
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
    const QImage pixel = photo.copy(0, 0, 1, 1);
    const QImage column = photo.copy(3, 0, 1, 48);
    const QImage row = photo.copy(0, 7, 64, 1);
    QTest::addColumn<ImageFileCase>("file");
    for (const auto &[name, file] : QList<std::pair<const char *, ImageFileCase>> {
             {"empty file", {"empty.jpg", {}, {}}},
             {"text named .jpg", {"text.jpg", "Tolvane opens photos.\n", {}}},
             // The reader shows what arrived and leaves the rest grey, reporting no error.
             {"JPEG cut in its data", {"cut.jpg", jpg.left(jpg.size() * 3 / 4), photo, -1}},
             {"JPEG cut in its header", {"head.jpg", jpg.left(300), {}}},
             {"PNG cut short", {"cut.png", png.left(png.size() * 3 / 4), {}}},
             {"PNG with a bad checksum", {"crc.png", badChecksum, {}}},
             {"JPEG of 65000 x 65000", {"huge.jpg", huge, {}}},
             {"PNG of 60000 x 60000", {"huge.png", pngClaiming(png, 60000, 60000), {}}},
             {"random bytes named .png", {"noise.png", noise(4096), {}}},
             {"16-bit PNG",
                 {"deep.png", encode(photo.convertToFormat(QImage::Format_RGBA64), "png"),
                     photo.convertToFormat(QImage::Format_RGBA64)}},
             {"grey PNG", {"grey.png", encode(grey, "png"), argb(grey)}},
             {"grey and alpha PNG", {"greyalpha.png", greyAlphaPng(16, 8), greyAlphaPhoto(16, 8)}},
             {"indexed PNG",
                 {"indexed.png", encode(paletteImage(64, 48), "png"), argb(paletteImage(64, 48))}},
             {"CMYK JPEG", {"cmyk.jpg", cmykFile.readAll(), cmyk, 2}},
             {"animated GIF, first frame",
                 {"animated.gif", animatedGif(20, 10), argb(paletteImage(20, 10))}},
             {"multi-page TIFF, first page",
                 {"pages.tif", multiPageTiff({grey, grey.copy(0, 0, 8, 8)}), argb(grey)}},
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
