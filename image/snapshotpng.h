#pragma once

#include <atomic>

#include <QImage>

class QIODevice;

// Snapshot files: PNG images of the exact pixels (straight, not premultiplied, alpha), written
// for speed rather than size: no row filters; opaque images without an alpha channel; images
// of at most 16 colours (wire masks) as 1-, 2- or 4-bit palettes at zlib level 1, which makes
// a nearly empty 24-megapixel mask a few kilobytes; any other image stored uncompressed.
// RGBA64 images are stored at 16 bits per channel, every other format at 8.

// Writes `image` (any format; a null image fails) to `device`. False when the device refuses
// data or `cancelled` turns true, which is checked once per row; the device then holds part
// of a file.
bool writeSnapshotPng(const QImage &image, QIODevice &device, const std::atomic<bool> &cancelled);

// Reads a file written by writeSnapshotPng() as an image of `format` (RGB32, ARGB32 or
// ARGB32_Premultiplied for files of 8 bits per channel, RGBA64 for those of 16); null when it
// cannot. The pages of a palette image that hold only
// zero pixels are never written, so a nearly empty mask costs little memory.
QImage readSnapshotPng(QIODevice &device, QImage::Format format);
