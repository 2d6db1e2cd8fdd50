#pragma once

// A picture's width and height read from its headers alone, without
// decoding a pixel: BMP headers, a PNG's IHDR, a JPEG's frame header (SOF),
// a GIF's logical screen and first frame, a WebP's first chunk.  A few hundred bytes are read
// whatever the picture's size, so the answer costs the same for a thumbnail
// and for a picture far above what the decoders take.

#include <QIODevice>

#include <cstdint>

namespace imagefile {

struct HeaderSize {
    std::int64_t width = 0;
    std::int64_t height = 0;
    // False when the headers do not settle it: another kind of file, a kind
    // or variant the decoders refuse (a lossless or 12-bit JPEG), or damaged
    // headers.  The caller decodes instead, and the decoder gives the reason.
    bool known = false;
};

// Reads from `in` (seekable, open for reading) with seeks and small reads;
// moves its position.  When known, the size is the one the decoder gives,
// but for a JPEG whose orientation tag turns it a quarter: then width and
// height trade places, which changes no capacity.
HeaderSize headerSize(QIODevice& in);

}  // namespace imagefile
