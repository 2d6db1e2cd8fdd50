#include "picturesize.h"

#include "bmpfile/bmpformat.h"

#include <zlib.h>

#include <array>
#include <span>

namespace imagefile {

namespace {

// The largest side a PNG may declare.
constexpr std::uint32_t kLargestPngSide = 0x7FFFFFFF;

std::uint32_t bigEndian32(const std::uint8_t* p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

int bigEndian16(const std::uint8_t* p)
{
    return (p[0] << 8) | p[1];
}

int littleEndian16(const std::uint8_t* p)
{
    return p[0] | (p[1] << 8);
}

template <std::size_t N>
bool readExactly(QIODevice& in, std::array<std::uint8_t, N>& bytes, std::size_t count = N)
{
    return in.read(reinterpret_cast<char*>(bytes.data()), static_cast<qint64>(count)) == static_cast<qint64>(count);
}

HeaderSize known(std::int64_t width, std::int64_t height)
{
    return {width, height, width > 0 && height > 0};
}

HeaderSize bmpSize(QIODevice& in)
{
    std::array<std::uint8_t, bmpfile::kHeadBytes> head{};
    in.seek(0);
    const qint64 got = in.read(reinterpret_cast<char*>(head.data()), static_cast<qint64>(head.size()));
    if (got <= 0)
        return {};
    const bmpfile::Parsed parsed = bmpfile::parse(std::span(head.data(), static_cast<std::size_t>(got)));
    return parsed.ok() ? known(parsed.layout.width, parsed.layout.height) : HeaderSize{};
}

// The IHDR chunk, which must come first, with its checksum (libpng refuses
// a critical chunk whose checksum is wrong) and a colour type and depth
// libpng takes.
HeaderSize pngSize(QIODevice& in)
{
    std::array<std::uint8_t, 33> head{};
    in.seek(0);
    if (!readExactly(in, head) || bigEndian32(head.data() + 8) != 13 || std::string_view(reinterpret_cast<const char*>(head.data() + 12), 4) != "IHDR")
        return {};
    if (crc32(0, head.data() + 12, 17) != bigEndian32(head.data() + 29))
        return {};
    const std::uint32_t width = bigEndian32(head.data() + 16), height = bigEndian32(head.data() + 20);
    const int depth = head[24], colourType = head[25];
    const bool depthFits = colourType == 0 ? (depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16)
                           : colourType == 3 ? (depth == 1 || depth == 2 || depth == 4 || depth == 8)
                           : (colourType == 2 || colourType == 4 || colourType == 6) && (depth == 8 || depth == 16);
    if (!depthFits || head[26] != 0 || head[27] != 0 || head[28] > 1 || width > kLargestPngSide
        || height > kLargestPngSide)
        return {};
    return known(width, height);
}

// The first frame header, stepping over the segments before it by their
// lengths.  Only the kinds the decoder reads count: 8-bit baseline,
// extended or progressive, Huffman or arithmetic coded.
HeaderSize jpegSize(QIODevice& in)
{
    in.seek(2);
    std::array<std::uint8_t, 8> bytes{};
    for (;;) {
        // A marker: 0xFF, any number of fill bytes 0xFF, then its code.
        if (!readExactly(in, bytes, 1) || bytes[0] != 0xFF)
            return {};
        int code = 0xFF;
        while (code == 0xFF) {
            if (!readExactly(in, bytes, 1))
                return {};
            code = bytes[0];
        }
        if (code == 0x01 || (code >= 0xD0 && code <= 0xD7))
            continue;  // no length of their own
        if (code == 0xD9 || code == 0xDA || code == 0x00)
            return {};  // the end, or pixels, before any frame header
        if (!readExactly(in, bytes, 2))
            return {};
        const int length = bigEndian16(bytes.data());
        if (length < 2)
            return {};
        const bool frame = code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
        if (!frame) {
            if (!in.seek(in.pos() + length - 2))
                return {};
            continue;
        }
        const bool readable = code == 0xC0 || code == 0xC1 || code == 0xC2 || code == 0xC9 || code == 0xCA;
        if (!readable || length < 8 || !readExactly(in, bytes, 5) || bytes[0] != 8)
            return {};
        // A height of 0 is given later, in a DNL segment: leave it to the decoder.
        return known(bigEndian16(bytes.data() + 3), bigEndian16(bytes.data() + 1));
    }
}

// The logical screen, and the first frame's descriptor after the colour
// table and any extensions.
HeaderSize gifSize(QIODevice& in)
{
    std::array<std::uint8_t, 13> screen{};
    in.seek(0);
    if (!readExactly(in, screen))
        return {};
    const int screenWidth = littleEndian16(screen.data() + 6), screenHeight = littleEndian16(screen.data() + 8);
    if (screen[10] & 0x80)
        in.seek(in.pos() + 3 * (2 << (screen[10] & 7)));
    std::array<std::uint8_t, 10> block{};
    for (;;) {
        if (!readExactly(in, block, 1))
            return {};
        if (block[0] == 0x2C)
            break;
        if (block[0] != 0x21 || !readExactly(in, block, 1))
            return {};
        // An extension: its label, then sub-blocks up to an empty one.
        for (;;) {
            if (!readExactly(in, block, 1))
                return {};
            if (block[0] == 0)
                break;
            if (!in.seek(in.pos() + block[0]))
                return {};
        }
    }
    if (!readExactly(in, block, 8))
        return {};
    // A screen side of 0 is taken from the first frame, up to its far edge.
    const int frameRight = littleEndian16(block.data()) + littleEndian16(block.data() + 4);
    const int frameBottom = littleEndian16(block.data() + 2) + littleEndian16(block.data() + 6);
    return known(screenWidth != 0 ? screenWidth : frameRight, screenHeight != 0 ? screenHeight : frameBottom);
}

int littleEndian24(const std::uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16);
}

// A WebP's size from the first chunk after the RIFF header: an extended
// file's canvas (which an animation's first frame is drawn on), a lossy
// key frame's 14-bit sides, or a lossless bitstream's sides less one.
HeaderSize webpSize(QIODevice& in)
{
    std::array<std::uint8_t, 30> head{};
    if (!in.seek(0) || !readExactly(in, head) || std::string_view(reinterpret_cast<const char*>(head.data() + 8), 4) != "WEBP")
        return {};
    const std::string_view chunk(reinterpret_cast<const char*>(head.data() + 12), 4);
    const std::uint8_t* data = head.data() + 20;
    if (chunk == "VP8X")
        return known(littleEndian24(data + 4) + 1, littleEndian24(data + 7) + 1);
    if (chunk == "VP8 ") {
        if ((data[0] & 1) != 0 || data[3] != 0x9D || data[4] != 0x01 || data[5] != 0x2A)
            return {};  // not a key frame: the decoder refuses it
        return known(littleEndian16(data + 6) & 0x3FFF, littleEndian16(data + 8) & 0x3FFF);
    }
    if (chunk == "VP8L") {
        if (data[0] != 0x2F)
            return {};
        const std::uint32_t bits = std::uint32_t(data[1]) | (std::uint32_t(data[2]) << 8) | (std::uint32_t(data[3]) << 16)
                                   | (std::uint32_t(data[4]) << 24);
        return known((bits & 0x3FFF) + 1, ((bits >> 14) & 0x3FFF) + 1);
    }
    return {};
}

}  // namespace

HeaderSize headerSize(QIODevice& in)
{
    std::array<std::uint8_t, 8> magic{};
    if (!in.seek(0) || !readExactly(in, magic))
        return {};
    if (magic[0] == 'B' && magic[1] == 'M')
        return bmpSize(in);
    if (magic == std::array<std::uint8_t, 8>{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'})
        return pngSize(in);
    if (magic[0] == 0xFF && magic[1] == 0xD8)
        return jpegSize(in);
    if (std::string_view(reinterpret_cast<const char*>(magic.data()), 6) == "GIF87a"
        || std::string_view(reinterpret_cast<const char*>(magic.data()), 6) == "GIF89a")
        return gifSize(in);
    if (std::string_view(reinterpret_cast<const char*>(magic.data()), 4) == "RIFF")
        return webpSize(in);
    return {};
}

}  // namespace imagefile
