#pragma once

// The PNG writer's fast road: every row filtered with Up into one buffer and
// compressed by a single libdeflate call at its fastest level, then written
// as IHDR, IDAT chunks and IEND.  libdeflate at level 1 is three times as fast
// as zlib's level 1 on a photo and writes a tenth less, but it compresses
// only a whole buffer in one call, so the road holds the filtered rows and
// the compressed data together: about 6 bytes a pixel beside the picture.

#include "fileio/failure.h"

#include <QImage>

class QIODevice;

namespace imagefile {

// `pixels` is Format_RGB32 or ARGB32 (alpha ignored), not null.  A failed
// write is Unwritable.  Throws std::bad_alloc when the
// buffers cannot be had.
[[nodiscard]] fileio::MaybeFailure writePngInOneCall(const QImage& pixels, QIODevice& device);

}  // namespace imagefile
