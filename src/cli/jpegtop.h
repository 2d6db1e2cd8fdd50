#pragma once

// The top of a JPEG's column 0 for the start-marker test, read through
// libjpeg in this process (imagefile::jpegColumnTop).  It lives in a small
// module beside the program, loaded on the first JPEG, because libjpeg
// linked into the program would slow the start of every command, BMP ones
// and --version included.  Far lighter than the codecs module: no Qt Gui,
// no other image library.

#include <QIODevice>

#include <cstdint>
#include <optional>
#include <vector>

namespace cli {

using JpegColumnTop = std::optional<std::vector<std::uint32_t>> (*)(QIODevice& in, int rows);

// The module's entry point, as a C name for the loader to find; null when
// the module belongs to another version.
inline constexpr const char* kJpegEntry = "mirrorvane_cli_jpeg";
using JpegEntry = JpegColumnTop (*)(const char* version);

// Loaded on the first call and kept; null when the module cannot be
// loaded, and the whole decoder answers instead.
JpegColumnTop jpegColumnTop();

}  // namespace cli
