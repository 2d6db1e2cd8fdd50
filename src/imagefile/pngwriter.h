#pragma once

// Lossless PNG output: a smaller file than BMP that keeps every low bit.
// Written with libpng so that exactly the chunks below go out and nothing a
// reader could use to adjust the colours (gamma, colour profile, sRGB intent,
// transparency).

#include "fileio/failure.h"

#include <QImage>
#include <QString>

class QIODevice;

namespace imagefile {

// zlib's level for the pixel data on the streaming road.  A photo's grain
// leaves little for the higher levels to find: on a 24-megapixel photo level
// 1 writes 35 MB (the BMP is 72 MB), level 3 saves 5 % more for a third more
// time, level 6 saves 6 % for two and a half times the time.
inline constexpr int kPngCompressionLevel = 1;

// Pictures whose filtered rows (3 bytes a pixel) fit in this many bytes are
// compressed in memory on two threads (pngoneshot.h), which holds about 6
// bytes a pixel for a moment: 64 megapixels and below, every camera's photo.
// Larger ones, and any picture when those buffers cannot be had, stream
// through libpng and zlib in constant memory, three times as slowly.
inline constexpr qint64 kPngOneCallLimitBytes = qint64(192) << 20;

// Writes `image` to `device` as an 8-bit-a-channel RGB PNG without alpha:
// IHDR, IDAT and IEND only.  Every failure is Unwritable.
// `oneCallLimit` is for tests, to take either road with a small picture.
[[nodiscard]] fileio::MaybeFailure writePng(const QImage& image, QIODevice& device, qint64 oneCallLimit = kPngOneCallLimitBytes);

// `writePng` into a file, atomically: the target is replaced only when the
// whole file is written.
[[nodiscard]] fileio::MaybeFailure savePng(const QImage& image, const QString& path);

}  // namespace imagefile
