#pragma once

// WebP pictures, lossy and lossless, through libwebp.  Read only: a lossy
// WebP written back would destroy a hidden text, so pictures are never saved
// as WebP.

#include "imagefile/imageio.h"

#include <QByteArray>

#include <cstdint>

namespace imagefile {

// True when `bytes` begin as every WebP file does: "RIFF", four bytes of
// size, "WEBP".
bool isWebp(const QByteArray& bytes);

// The picture in the working format, alpha dropped (a transparent pixel keeps
// the colour stored with it).  An animated WebP gives its first frame, placed
// on its canvas as the animation shows it, over black.  The size the header
// declares is held to the ceiling, and with libwebp's own buffers and
// `heldBytes` (the picture already open) to the decoding budget, before any
// pixel is decoded; the pixels go straight into the picture handed back.
LoadResult decodeWebp(const QByteArray& bytes, std::int64_t heldBytes = 0);

}  // namespace imagefile
