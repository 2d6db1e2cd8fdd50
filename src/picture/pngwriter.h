#pragma once

// Lossless PNG output: a smaller file than BMP that keeps every low bit.
// Written with libpng so that exactly the chunks below go out and nothing a
// reader could use to adjust the colours (gamma, colour profile, sRGB intent,
// transparency).

#include <QImage>
#include <QString>

class QIODevice;

namespace picture {

// zlib's level for the pixel data.  Noise-like low bits leave little for the
// higher levels to find: measured on a 24-megapixel photo, level 6 is three
// times slower than 1 for a file a few per cent smaller.
inline constexpr int kPngCompressionLevel = 1;

// Writes `image` to `device` as an 8-bit-a-channel RGB PNG without alpha:
// IHDR, IDAT and IEND only.  Returns the reason on failure, empty on success.
QString writePng(const QImage& image, QIODevice& device);

// `writePng` into a file, atomically: the target is replaced only when the
// whole file is written.
QString savePng(const QImage& image, const QString& path);

// True when `path` names a PNG by its extension, in any case.
bool hasPngExtension(const QString& path);

}  // namespace picture
