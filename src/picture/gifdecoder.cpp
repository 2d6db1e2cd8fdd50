// GIF through Qt's reader, fed only what the first frame can need: the
// header, the global palette, the frame's graphic control, the frame itself
// and no more compressed data than its pixels can take.  Qt's decoder goes
// on decoding codes past a frame's last pixel; a small frame followed by
// megabytes of data would otherwise keep it busy for minutes.

#include "picture/decoders.h"

#include <QImage>

#include <cstdint>

namespace picture {

namespace {

// LZW data a frame of `pixels` can need: every code but the clear codes
// gives at least one pixel and is at most 12 bits; an encoder that clears
// the table as often as it gives a pixel stays within twice that.  The
// sub-blocks add a length byte for every 255 data bytes.
std::int64_t lzwBound(std::int64_t pixels)
{
    const std::int64_t data = 3 * pixels + 1024;
    return data + data / 255 + 1;
}

std::int64_t le16(const QByteArray& b, qsizetype at)
{
    return std::uint8_t(b[at]) | std::uint8_t(b[at + 1]) << 8;
}

qsizetype paletteBytes(std::uint8_t flags)
{
    return (flags & 0x80) != 0 ? 3 * (qsizetype(2) << (flags & 7)) : 0;
}

// Position after the sub-blocks starting at `pos` and their terminator, or
// past the end when they are cut short.
qsizetype skipSubBlocks(const QByteArray& b, qsizetype pos)
{
    while (pos < b.size() && b[pos] != 0)
        pos += 1 + std::uint8_t(b[pos]);
    return pos + 1;
}

// The first frame as a GIF of its own, or the bytes as they are when their
// structure cannot be followed that far (Qt's reader then says what is wrong).
QByteArray firstFrameOnly(const QByteArray& b)
{
    constexpr qsizetype kHeader = 13;
    if (b.size() < kHeader)
        return b;
    qsizetype pos = kHeader + paletteBytes(std::uint8_t(b[10]));
    QByteArray control;  // the frame's graphic control extension: transparency
    while (pos < b.size()) {
        const std::uint8_t block = std::uint8_t(b[pos]);
        if (block == 0x21 && pos + 1 < b.size()) {
            const qsizetype end = skipSubBlocks(b, pos + 2);
            if (end > b.size())
                return b;
            if (std::uint8_t(b[pos + 1]) == 0xF9)
                control = b.mid(pos, end - pos);
            pos = end;
            continue;
        }
        if (block != 0x2C || pos + 11 > b.size())
            return b;
        const qsizetype frame = pos;
        const std::int64_t budget = lzwBound(le16(b, pos + 5) * le16(b, pos + 7));
        pos += 10 + paletteBytes(std::uint8_t(b[pos + 9])) + 1;  // descriptor, palette, code size
        std::int64_t data = 0;
        while (pos < b.size() && b[pos] != 0 && data < budget) {
            data += std::uint8_t(b[pos]);
            pos += 1 + std::uint8_t(b[pos]);
        }
        if (pos > b.size())
            return b;
        return b.left(kHeader + paletteBytes(std::uint8_t(b[10]))) + control + b.mid(frame, pos - frame)
               + QByteArray("\0\x3B", 2);
    }
    return b;
}

}  // namespace

LoadResult decodeGif(const QByteArray& bytes)
{
    // Qt allocates the logical screen, not the frame, so a few-byte GIF can
    // ask for gigabytes behind a 1 x 1 frame.
    if (bytes.size() >= 10) {
        const std::int64_t width = le16(bytes, 6);
        const std::int64_t height = le16(bytes, 8);
        if (const QString tooLarge = tooLargeError(width, height); !tooLarge.isEmpty())
            return {QImage(), tooLarge};
        // Qt's GIF reader stops one pixel short of the ceiling.
        constexpr std::int64_t kMaxGifPixels = (std::int64_t(1) << 28) - 1;
        if (width * height > kMaxGifPixels)
            return {QImage(), QStringLiteral("The GIF picture is too large: %1 x %2 pixels, more than the %3 the GIF reader holds")
                                  .arg(width)
                                  .arg(height)
                                  .arg(kMaxGifPixels)};
    }
    return readWithQt(firstFrameOnly(bytes), "gif", kAllocationLimitMB);
}

}  // namespace picture
