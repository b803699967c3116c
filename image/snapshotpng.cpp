#include "image/snapshotpng.h"

#include <algorithm>
#include <csetjmp>
#include <vector>

#include <QIODevice>

#include "image/imagefiles.h"
#include "image/wiremask.h"
#include <png.h>

namespace {

constexpr int maxPaletteSize = 16;
constexpr bool littleEndian = Q_BYTE_ORDER == Q_LITTLE_ENDIAN;

// An image's pixels as straight ARGB values, one row at a time.
class StraightRows
{
public:
    explicit StraightRows(const QImage &image)
        : m_image(image)
        , m_row(image.format() == QImage::Format_ARGB32_Premultiplied ? image.width() : 0)
    { }
    const QRgb *row(int y)
    {
        const auto *pixels = reinterpret_cast<const QRgb *>(m_image.constScanLine(y));
        for (std::size_t x = 0; x < m_row.size(); ++x)
            m_row[x] = qUnpremultiply(pixels[x]);
        return m_row.empty() ? pixels : m_row.data();
    }

private:
    const QImage &m_image;
    std::vector<QRgb> m_row;
};

// The image's colours in order of appearance, when there are at most maxPaletteSize, else
// none; and whether every pixel is opaque.
struct Colours
{
    std::vector<QRgb> palette;
    bool opaque = true;
};

Colours colours(const QImage &image)
{
    Colours found;
    if (image.isNull())
        return found;
    QRgb last = reinterpret_cast<const QRgb *>(image.constScanLine(0))[0];
    found.palette.push_back(last);
    bool fits = true;
    // Sizes held in locals: the compiler cannot keep the results of the library's accessors.
    const int width = image.width();
    const int height = image.height();
    for (int y = 0; y < height && (fits || found.opaque); ++y) {
        const auto *pixels = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        QRgb alphaOfAll = 0xFF000000;
        for (int x = 0; x < width; ++x)
            alphaOfAll &= pixels[x];
        found.opaque = found.opaque && alphaOfAll == 0xFF000000;
        for (int x = 0; fits && x < width; ++x) {
            if (pixels[x] == last)
                continue;
            last = pixels[x];
            if (std::find(found.palette.begin(), found.palette.end(), last)
                == found.palette.end()) {
                found.palette.push_back(last);
                fits = int(found.palette.size()) <= maxPaletteSize;
            }
        }
    }
    if (!fits)
        found.palette.clear();
    return found;
}

struct Output
{
    QIODevice *device;
    bool failed = false;
};

void writeData(png_structp png, png_bytep data, png_size_t length)
{
    auto *out = static_cast<Output *>(png_get_io_ptr(png));
    if (!out->failed)
        out->failed = out->device->write(reinterpret_cast<const char *>(data), qint64(length))
            != qint64(length);
}

void flushData(png_structp) { }

// Everything between the two setjmp() calls below holds only trivially destructible locals,
// so that libpng's longjmp() on an error skips no destructor.
struct WriteJob
{
    const QImage *image;
    const Colours *colours;
    const std::atomic<bool> *cancelled;
    Output *output;
    std::vector<png_byte> *indices; // one packed palette row
    StraightRows *rows;
};

bool writeRows(png_structp png, png_infop info, const WriteJob &job)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    const QImage &image = *job.image;
    const std::vector<QRgb> &palette = job.colours->palette;
    int bitDepth = 8;
    int colourType = job.colours->opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGBA;
    if (!palette.empty()) {
        colourType = PNG_COLOR_TYPE_PALETTE;
        bitDepth = palette.size() <= 2 ? 1 : palette.size() <= 4 ? 2 : 4;
    }
    png_set_IHDR(png, info, png_uint_32(image.width()), png_uint_32(image.height()), bitDepth,
        colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty()) {
        png_color entries[maxPaletteSize];
        png_byte alphas[maxPaletteSize];
        for (std::size_t i = 0; i < palette.size(); ++i) {
            const QRgb colour = image.format() == QImage::Format_ARGB32_Premultiplied
                ? qUnpremultiply(palette[i])
                : palette[i];
            entries[i]
                = {png_byte(qRed(colour)), png_byte(qGreen(colour)), png_byte(qBlue(colour))};
            alphas[i] = png_byte(qAlpha(colour));
        }
        png_set_PLTE(png, info, entries, int(palette.size()));
        if (!job.colours->opaque)
            png_set_tRNS(png, info, alphas, int(palette.size()), nullptr);
    }
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    // Photos stored without compression: level 1 writes a textured 24-megapixel photo at
    // about 40 MB/s (some 2 s, and 2 s more that an undo right after waits), for files half
    // as large; stored, it takes a quarter of a second and is read twice as fast.
    png_set_compression_level(png, palette.empty() ? 0 : 1);
    png_set_compression_buffer_size(png, 256 * 1024);
    png_write_info(png, info);
    if (palette.empty()) {
        if (littleEndian)
            png_set_bgr(png); // B, G, R, A in memory
        else
            png_set_swap_alpha(png); // A, R, G, B in memory
        if (job.colours->opaque)
            png_set_filler(png, 0, littleEndian ? PNG_FILLER_AFTER : PNG_FILLER_BEFORE);
    }

    const int pixelsPerByte = 8 / bitDepth;
    const int width = image.width();
    const int height = image.height();
    for (int y = 0; y < height; ++y) {
        if (job.cancelled->load(std::memory_order_relaxed) || job.output->failed)
            return false;
        if (palette.empty()) {
            png_write_row(png, reinterpret_cast<png_const_bytep>(job.rows->row(y)));
            continue;
        }
        const auto *pixels = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        std::fill(job.indices->begin(), job.indices->end(), png_byte(0));
        std::size_t index = 0;
        for (int x = 0; x < width; ++x) {
            if (pixels[x] != palette[index])
                index = std::find(palette.begin(), palette.end(), pixels[x]) - palette.begin();
            const int shift = 8 - bitDepth * (x % pixelsPerByte + 1);
            (*job.indices)[x / pixelsPerByte] |= png_byte(index << shift);
        }
        png_write_row(png, job.indices->data());
    }
    png_write_end(png, info);
    return !job.output->failed;
}

struct ReadJob
{
    QImage::Format format;
    QImage *image;
    std::vector<png_byte> *row;
};

void readData(png_structp png, png_bytep data, png_size_t length)
{
    auto *device = static_cast<QIODevice *>(png_get_io_ptr(png));
    if (device->read(reinterpret_cast<char *>(data), qint64(length)) != qint64(length))
        png_error(png, "the file ends early");
}

bool readRows(png_structp png, png_infop info, const ReadJob &job)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_read_info(png, info);
    const int width = int(png_get_image_width(png, info));
    const int height = int(png_get_image_height(png, info));
    const int colourType = png_get_color_type(png, info);
    const int bitDepth = png_get_bit_depth(png, info);
    const bool deep = job.format == QImage::Format_RGBA64;
    if (png_get_interlace_type(png, info) != PNG_INTERLACE_NONE
        || (colourType != PNG_COLOR_TYPE_PALETTE && bitDepth != (deep ? 16 : 8))
        || (deep && colourType != PNG_COLOR_TYPE_RGB && colourType != PNG_COLOR_TYPE_RGB_ALPHA))
        return false;

    if (deep) {
        if (littleEndian)
            png_set_swap(png);
        if (colourType == PNG_COLOR_TYPE_RGB)
            png_set_filler(png, 0xFFFF, PNG_FILLER_AFTER);
        png_read_update_info(png, info);
        *job.image = QImage(width, height, job.format);
        if (job.image->isNull())
            return false;
        for (int y = 0; y < height; ++y)
            png_read_row(png, job.image->scanLine(y), nullptr);
        png_read_end(png, nullptr);
        return true;
    }

    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        png_colorp entries = nullptr;
        int count = 0;
        png_get_PLTE(png, info, &entries, &count);
        png_bytep alphas = nullptr;
        int alphaCount = 0;
        png_get_tRNS(png, info, &alphas, &alphaCount, nullptr);
        QRgb palette[256] = {};
        for (int i = 0; i < count; ++i) {
            const int alpha = i < alphaCount ? alphas[i] : 255;
            palette[i] = qRgba(entries[i].red, entries[i].green, entries[i].blue, alpha);
            if (job.format == QImage::Format_ARGB32_Premultiplied)
                palette[i] = qPremultiply(palette[i]);
        }
        png_read_update_info(png, info);
        *job.image = tolvane::zeroImage(QSize(width, height), job.format);
        if (job.image->isNull())
            return false;
        // Packed rows: a zero byte holds only pixels of palette entry 0, usually transparent,
        // which the image already holds; their pages are then never touched.
        job.row->resize(png_get_rowbytes(png, info));
        const int pixelsPerByte = 8 / bitDepth;
        const int indexMask = (1 << bitDepth) - 1;
        const bool skipZeroBytes = palette[0] == 0;
        for (int y = 0; y < height; ++y) {
            png_read_row(png, job.row->data(), nullptr);
            QRgb *pixels = nullptr;
            for (std::size_t i = 0; i < job.row->size(); ++i) {
                const int packed = (*job.row)[i];
                if (packed == 0 && skipZeroBytes)
                    continue;
                if (!pixels)
                    pixels = reinterpret_cast<QRgb *>(job.image->scanLine(y));
                const int first = int(i) * pixelsPerByte;
                for (int k = 0; k < pixelsPerByte && first + k < width; ++k) {
                    const QRgb colour = palette[(packed >> (8 - bitDepth * (k + 1))) & indexMask];
                    if (colour != 0)
                        pixels[first + k] = colour;
                }
            }
        }
    } else if (colourType == PNG_COLOR_TYPE_RGB || colourType == PNG_COLOR_TYPE_RGB_ALPHA) {
        if (littleEndian)
            png_set_bgr(png);
        else
            png_set_swap_alpha(png);
        if (colourType == PNG_COLOR_TYPE_RGB)
            png_set_filler(png, 0xFF, littleEndian ? PNG_FILLER_AFTER : PNG_FILLER_BEFORE);
        png_read_update_info(png, info);
        *job.image = QImage(width, height, job.format);
        if (job.image->isNull())
            return false;
        const bool premultiply = colourType == PNG_COLOR_TYPE_RGB_ALPHA
            && job.format == QImage::Format_ARGB32_Premultiplied;
        for (int y = 0; y < height; ++y) {
            auto *pixels = reinterpret_cast<QRgb *>(job.image->scanLine(y));
            png_read_row(png, reinterpret_cast<png_bytep>(pixels), nullptr);
            for (int x = 0; premultiply && x < width; ++x)
                pixels[x] = qPremultiply(pixels[x]);
        }
    } else {
        return false;
    }
    png_read_end(png, nullptr);
    return true;
}

struct DeepWriteJob
{
    const QImage *image;
    bool opaque;
    const std::atomic<bool> *cancelled;
    Output *output;
};

// RGBA64 pixels are R, G, B, A of 16 bits each in memory, in the machine's byte order.
bool writeDeepRows(png_structp png, png_infop info, const DeepWriteJob &job)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    const QImage &image = *job.image;
    png_set_IHDR(png, info, png_uint_32(image.width()), png_uint_32(image.height()), 16,
        job.opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
        PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(png, 0);
    png_set_compression_buffer_size(png, 256 * 1024);
    png_write_info(png, info);
    if (littleEndian)
        png_set_swap(png);
    if (job.opaque)
        png_set_filler(png, 0, PNG_FILLER_AFTER);
    for (int y = 0; y < image.height(); ++y) {
        if (job.cancelled->load(std::memory_order_relaxed) || job.output->failed)
            return false;
        png_write_row(png, image.constScanLine(y));
    }
    png_write_end(png, info);
    return !job.output->failed;
}

} // namespace

bool writeSnapshotPng(const QImage &image, QIODevice &device, const std::atomic<bool> &cancelled)
{
    if (image.isNull())
        return false;
    if (image.format() == QImage::Format_RGBA64) {
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        if (!png)
            return false;
        png_infop info = png_create_info_struct(png);
        Output output {&device};
        bool written = false;
        if (info) {
            png_set_write_fn(png, &output, writeData, flushData);
            written
                = writeDeepRows(png, info, {&image, tolvane::isOpaque(image), &cancelled, &output});
        }
        png_destroy_write_struct(&png, &info);
        return written;
    }
    const bool native = image.format() == QImage::Format_RGB32
        || image.format() == QImage::Format_ARGB32
        || image.format() == QImage::Format_ARGB32_Premultiplied;
    const QImage pixels = native ? image : image.convertToFormat(QImage::Format_ARGB32);
    // RGB32 pixels are 0xffRRGGBB, so all three formats are read alike.
    const Colours found = colours(pixels);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    Output output {&device};
    std::vector<png_byte> indices(std::size_t(pixels.width()) * 4 / 8 + 1);
    StraightRows rows(pixels);
    bool written = false;
    if (info) {
        png_set_write_fn(png, &output, writeData, flushData);
        written = writeRows(png, info, {&pixels, &found, &cancelled, &output, &indices, &rows});
    }
    png_destroy_write_struct(&png, &info);
    return written;
}

QImage readSnapshotPng(QIODevice &device, QImage::Format format)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png)
        return {};
    png_infop info = png_create_info_struct(png);
    QImage image;
    std::vector<png_byte> row;
    bool read = false;
    if (info) {
        png_set_read_fn(png, &device, readData);
        read = readRows(png, info, {format, &image, &row});
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return read ? image : QImage();
}
