#pragma once

// The PNG writer's fast road: every row filtered with Up and compressed at
// the fastest level into one zlib stream, written as IHDR, IDAT chunks and
// IEND.  On pictures of a megapixel and more the work is split over two
// threads: libdeflate, three times as fast as zlib and a tenth smaller,
// compresses the lower seven tenths in one call, since it takes only a
// whole buffer and always ends its stream; zlib compresses the rows above
// a strip at a time, ends them with a sync flush (a byte boundary, not the
// last block) and writes them out meanwhile; the two checksums are joined.
// The lower rows are held filtered and compressed together: about 4 bytes
// a pixel beside the picture.

#include <QImage>
#include <QString>

class QIODevice;

namespace imagefile {

// `pixels` is Format_RGB32 or ARGB32 (alpha ignored), not null.  Returns the
// reason on failure, empty on success.  Throws std::bad_alloc when the
// buffers cannot be had.
QString writePngInOneCall(const QImage& pixels, QIODevice& device);

}  // namespace imagefile
