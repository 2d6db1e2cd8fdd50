#pragma once

// The per-format decoders behind decodePicture and loadPicture, and the
// sentences they share.  Each holds its own limits inside the library it
// drives (the picture ceiling before any pixel is allocated, and whatever
// else that format can be made to cost), and gives back the picture in the
// working format or one sentence saying why not.

#include "imagefile/imageio.h"
#include "imagefile/refusals.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <cstdint>

namespace imagefile {

// Each reads `in` from its position on, as far as the picture needs.
// `heldBytes` is the picture already open, counted in the decoding budget.
// `quickLook` runs the marker pre-check first on bytes in memory or a file
// of a few megabytes, which refuses most bombs before libjpeg starts; the
// decoder holds the same limits without it.
LoadResult decodeJpeg(QIODevice& in, std::int64_t heldBytes = 0, bool quickLook = true);
// With `keptColumns` (0: all), each row of a PNG is inflated but only its
// first `keptColumns` pixels are kept; an interlaced PNG is kept whole.
LoadResult decodePng(QIODevice& in, std::int64_t keptColumns = 0);
LoadResult decodeGif(QIODevice& in);

// Qt's reader of `format` on the bytes, for what the program's own decoders
// leave to it; converted to the working format, every pixel opaque.
LoadResult readWithQt(const QByteArray& bytes, const char* format);

}  // namespace imagefile
