#pragma once

// Decoding BMP pictures from their bytes.  Qt's reader leaves every pixel
// that a run-length file skips (a delta, an early end of line or of the
// picture, a short file) as whatever the allocation held, and is slow on the
// common 24-bit kind; this reader starts from black, the format's colour for
// skipped pixels, and converts whole rows at a time.

#include "bmpfile/bmpformat.h"
#include "fileio/failure.h"

#include <QByteArrayView>
#include <QIODevice>
#include <QImage>
#include <QString>

namespace imagefile {

struct BmpDecode {
    QImage image;          // Format_RGB32, every pixel opaque; null when refused or not handled
    fileio::MaybeFailure failure;  // why the file was refused
    bool handled = true;   // false: a rare kind this reader leaves to Qt's
};

// Decodes the whole file `bytes`, whose headers `layout` describes.  The
// caller has checked that the picture's size is allowed.  Uncompressed data
// must be complete; run-length data may end early (the rest stays black).
BmpDecode decodeBmp(QByteArrayView bytes, const bmpfile::Layout& layout);

// The same for a direct kind (24 or 32 bits) read from a file in blocks, so
// that the file is never held whole; `head` is the file's first bytes.  The
// file is read once: rows missing when it is read (it shrank after its size
// was taken) make it refused, never blank.
BmpDecode readDirectBmp(QIODevice& in, QByteArrayView head, const bmpfile::Layout& layout);

}  // namespace imagefile
