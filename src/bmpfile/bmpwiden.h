#pragma once

// Hiding a message in an uncompressed 32-bit BMP file while writing it as
// the uncompressed 24-bit BMP that hide promises, in memory bounded by a row
// and the pixels the message lies in, whatever the picture's size.  The
// fourth byte of each pixel (an alpha some viewers honour) is dropped.

#include "bmpfile/bmpformat.h"
#include "bmpfile/bmpstream.h"

#include <QIODevice>

#include <string_view>

namespace bmpfile {

// `in` is seekable and open for reading; `layout` is what probeBmp found in
// it, a streamable 32-bit BMP.  The output goes to `sink` in order: a 40-byte
// information header, then the rows bottom-up, each pixel's blue, green and
// red bytes exactly as the engine leaves them after stego::hideBytes on the
// decoded picture.
BmpHide hideBmpAs24(QIODevice& in, const Layout& layout, std::string_view textBytes, const ByteSink& sink);

}  // namespace bmpfile
