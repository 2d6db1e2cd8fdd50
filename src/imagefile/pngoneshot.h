#pragma once

// The PNG writer's fast road: every row filtered with Up and compressed by
// libdeflate at its fastest level (three times as fast as zlib's and a
// tenth smaller on a photo) into one zlib stream, written as IHDR, IDAT
// chunks and IEND.  libdeflate compresses only a whole buffer and always
// ends its stream, so on pictures of a megapixel and more the upper rows
// are compressed on a second thread and their stream made joinable
// (deflateblocks.h), the lower ones on the calling thread, and the two
// checksums combined.  The filtered rows and the compressed data are held
// together: about 6 bytes a pixel beside the picture.

#include "fileio/failure.h"

#include <QImage>

class QIODevice;

namespace imagefile {

// `pixels` is Format_RGB32 or ARGB32 (alpha ignored), not null.  A failed
// write is Unwritable.  Throws std::bad_alloc when the
// buffers cannot be had.
[[nodiscard]] fileio::MaybeFailure writePngInOneCall(const QImage& pixels, QIODevice& device);

}  // namespace imagefile
