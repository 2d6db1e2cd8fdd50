#pragma once

// The layout of a BMP file as its headers describe it, without touching a
// pixel, so that the streaming CLI path, the window's reader and the fuzz
// targets share one reading of the headers.
//
// The header kinds read: the 12-byte core header, the 40-byte information
// header and its 52, 56, 64, 108 and 124-byte successors (Qt's reader takes
// the masks of a 16- or 32-bit picture from the 52- and 56-byte ones in the
// wrong place, so the program's own reader decodes those kinds).  Every size is computed without overflow, whatever the header
// claims.

#include "fileio/failure.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace bmpfile {

inline constexpr std::size_t kFileHeaderSize = 14;
// Enough of the file's start to parse any header kind with its colour masks.
inline constexpr std::size_t kHeadBytes = kFileHeaderSize + 124 + 12;

enum Compression : std::uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3 };

struct Layout {
    std::uint32_t infoSize = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;  // always positive; see topDown
    bool topDown = false;     // the first row in the file is the picture's top row
    int bitsPerPixel = 0;
    std::uint32_t compression = kRgb;
    std::uint32_t redMask = 0, greenMask = 0, blueMask = 0;
    std::uint64_t headersEnd = 0;     // first byte after the headers and any colour masks
    std::uint64_t paletteEntries = 0; // declared colours, palette kinds only
    int paletteEntrySize = 4;         // bytes per palette entry (3 in the core header)
    std::uint64_t pixelOffset = 0;    // where the pixel data starts, from the file's first byte
    std::uint64_t rowStride = 0;      // bytes per row in the file, padding included
    // First byte after the last row of an uncompressed picture, whose rows
    // start at pixelOffset (or at headersEnd, when the offset points back
    // into the headers); saturates at UINT64_MAX when the header asks for
    // more than any file can hold.
    std::uint64_t pixelEnd = 0;
    // 24-bit, or 32-bit with the standard masks: each pixel is blue, green,
    // red (and an unused byte), the data starts after the headers, and the
    // fast reader and the streaming commands apply.
    bool direct = false;

    int bytesPerPixel() const noexcept { return bitsPerPixel / 8; }
    // Row y of the picture (0 = top) as a row number in the file.
    std::int64_t fileRow(std::int64_t y) const noexcept { return topDown ? y : height - 1 - y; }
    std::uint64_t rowOffset(std::int64_t y) const noexcept
    {
        return pixelOffset + static_cast<std::uint64_t>(fileRow(y)) * rowStride;
    }
    bool uncompressed() const noexcept { return compression == kRgb || compression == kBitFields; }
};

struct Parsed {
    Layout layout;
    // Unreadable: the headers do not hold together; Refused: a kind this
    // program does not read.
    fileio::MaybeFailure failure;
    bool ok() const noexcept { return !failure; }
};

// Reads the headers from the first bytes of a file (kHeadBytes, or the whole
// file when it is shorter).  A header that Qt's reader would refuse, or one
// whose sizes cannot describe a picture, is refused with the reason.
Parsed parse(std::span<const std::uint8_t> head);

// Why an uncompressed picture does not fit in a file of `fileSize` bytes
// (Unreadable), or nothing.  Run-length data has no fixed length.
[[nodiscard]] fileio::MaybeFailure truncationError(const Layout& layout, std::uint64_t fileSize);

inline constexpr const char* kTruncatedSentence = "The file ends before the picture's last pixel";

}  // namespace bmpfile
