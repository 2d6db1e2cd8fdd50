#include "bmpformat.h"

#include <algorithm>
#include <limits>
#include <string>

namespace bmpfile {

namespace {

std::uint32_t u16(std::span<const std::uint8_t> b, std::size_t at)
{
    return static_cast<std::uint32_t>(b[at] | b[at + 1] << 8);
}

std::uint32_t u32(std::span<const std::uint8_t> b, std::size_t at)
{
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8
           | static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

std::int64_t s32(std::span<const std::uint8_t> b, std::size_t at)
{
    return static_cast<std::int32_t>(u32(b, at));
}

std::int64_t s16(std::span<const std::uint8_t> b, std::size_t at)
{
    return static_cast<std::int16_t>(u16(b, at));
}

bool knownInfoSize(std::uint32_t size)
{
    return size == 12 || size == 40 || size == 52 || size == 56 || size == 64 || size == 108 || size == 124;
}

Parsed refuse(const std::string& reason, fileio::FailureKind kind = fileio::FailureKind::Unreadable)
{
    return {Layout{}, fileio::Failure{kind, QString::fromStdString(reason)}};
}

std::uint64_t saturatingEnd(std::uint64_t offset, std::uint64_t stride, std::uint64_t rows)
{
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    if (rows != 0 && stride > (kMax - offset) / rows)
        return kMax;
    return offset + stride * rows;
}

}  // namespace

Parsed parse(std::span<const std::uint8_t> head)
{
    if (head.size() < 2 || head[0] != 'B' || head[1] != 'M')
        return refuse("The file is not a BMP picture");
    if (head.size() < kFileHeaderSize + 4)
        return refuse("The BMP file ends inside its header");
    Layout l;
    l.infoSize = u32(head, 14);
    if (!knownInfoSize(l.infoSize))
        return refuse("The BMP information header has an unknown size of " + std::to_string(l.infoSize) + " bytes");
    if (head.size() < kFileHeaderSize + l.infoSize)
        return refuse("The BMP file ends inside its header");
    l.pixelOffset = u32(head, 10);
    std::uint32_t planes = 0;
    if (l.infoSize == 12) {
        l.width = s16(head, 18);
        l.height = s16(head, 20);
        planes = u16(head, 22);
        l.bitsPerPixel = static_cast<int>(u16(head, 24));
        l.paletteEntrySize = 3;
    } else {
        l.width = s32(head, 18);
        l.height = s32(head, 22);
        planes = u16(head, 26);
        l.bitsPerPixel = static_cast<int>(u16(head, 28));
        l.compression = u32(head, 30);
    }
    l.headersEnd = kFileHeaderSize + l.infoSize;

    const int bits = l.bitsPerPixel;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return refuse("The BMP picture has " + std::to_string(bits)
                      + " bits per pixel; only 1, 4, 8, 16, 24 and 32 are possible");
    if (planes != 1)
        return refuse("The BMP picture has " + std::to_string(planes) + " colour planes instead of 1");
    const std::uint32_t c = l.compression;
    if (c > kBitFields)
        return refuse("The BMP picture uses compression method " + std::to_string(c)
                      + ", which this program cannot read", fileio::FailureKind::Refused);
    if ((c == kRle8 && bits != 8) || (c == kRle4 && bits != 4) || (c == kBitFields && bits != 16 && bits != 32))
        return refuse("The BMP picture's compression method " + std::to_string(c) + " does not go with "
                      + std::to_string(bits) + " bits per pixel");
    if (l.width <= 0)
        return refuse("The BMP picture's width of " + std::to_string(l.width) + " pixels is not possible");
    if (l.height == 0 || l.height == std::numeric_limits<std::int32_t>::min())
        return refuse("The BMP picture's height of " + std::to_string(l.height) + " pixels is not possible");
    l.topDown = l.height < 0;
    if (l.topDown)
        l.height = -l.height;
    // In the OS/2 header, method 3 is Huffman coding, not colour masks; Qt's
    // reader takes it for masks and reads them from the pixel data.
    if (l.infoSize == 64 && c == kBitFields)
        return refuse("The BMP picture uses the OS/2 Huffman compression, which this program cannot read",
                      fileio::FailureKind::Refused);
    if (l.topDown && (c == kRle4 || c == kRle8))
        return refuse("The BMP picture is run-length compressed but stored top row first, which the format forbids");

    if (c == kBitFields || l.infoSize >= 52) {
        // The information header keeps its masks just after itself; the later
        // headers hold them inside.
        const std::size_t at = l.infoSize == 40 ? l.headersEnd : kFileHeaderSize + 40;
        if (l.infoSize == 40)
            l.headersEnd += 12;
        if (head.size() < at + 12)
            return refuse("The BMP file ends inside its header");
        l.redMask = u32(head, at);
        l.greenMask = u32(head, at + 4);
        l.blueMask = u32(head, at + 8);
    }
    if (bits <= 8) {
        const std::uint32_t used = l.infoSize == 12 ? 0 : u32(head, 46);
        l.paletteEntries = used != 0 ? used : 1U << bits;
        if (l.paletteEntries > 256)
            return refuse("The BMP palette declares " + std::to_string(l.paletteEntries)
                          + " colours, more than the 256 a palette can have");
    }

    // width < 2^31 and bits <= 32, so the stride stays below 2^36.
    l.rowStride = (static_cast<std::uint64_t>(l.width) * static_cast<std::uint64_t>(bits) + 31) / 32 * 4;
    // A pixel offset that points back into the headers is not followed:
    // readers go on from the end of the headers.
    l.pixelEnd = saturatingEnd(std::max(l.pixelOffset, l.headersEnd), l.rowStride, static_cast<std::uint64_t>(l.height));

    const bool standardMasks = l.redMask == 0xFF0000U && l.greenMask == 0xFF00U && l.blueMask == 0xFFU;
    l.direct = ((bits == 24 && c == kRgb) || (bits == 32 && (c == kRgb || standardMasks)))
               && l.pixelOffset >= l.headersEnd
               // The core header's 16-bit sizes are read as signed by some and
               // unsigned by others; only the values both agree on qualify.
               && (l.infoSize != 12 || !l.topDown);
    return {l, {}};
}

fileio::MaybeFailure truncationError(const Layout& layout, std::uint64_t fileSize)
{
    if (!layout.uncompressed() || fileSize >= layout.pixelEnd)
        return std::nullopt;
    return fileio::unreadable(QString::fromLatin1(kTruncatedSentence));
}

}  // namespace bmpfile
