// GIF through Qt's reader, fed only what the first frame can need: the
// header, the global palette, the frame's graphic control, the frame itself
// and no more compressed data than its pixels can take.  Qt's decoder goes
// on decoding codes past a frame's last pixel; a small frame followed by
// megabytes of data would otherwise keep it busy for minutes.

#include "imagefile/decoders.h"

#include <QImage>

#include <cstdint>

namespace imagefile {

namespace {

// LZW data bytes a frame of `pixels` can need: every code but the clear
// codes gives at least one pixel and is at most 12 bits; an encoder that
// clears the table as often as it gives a pixel stays within twice that.
std::int64_t lzwBound(std::int64_t pixels)
{
    return 3 * pixels + 1024;
}

std::int64_t le16(const QByteArray& b, qsizetype at)
{
    return std::uint8_t(b[at]) | std::uint8_t(b[at + 1]) << 8;
}

qsizetype paletteBytes(char flags)
{
    return (flags & 0x80) != 0 ? 3 * (qsizetype(2) << (flags & 7)) : 0;
}

// Sub-blocks up to their terminator, appended to `out` (when given) up to
// `budget` data bytes; false when the file ends first.
bool readSubBlocks(QIODevice& in, QByteArray* out, std::int64_t budget = -1)
{
    char length = 0;
    std::int64_t data = 0;
    while (in.getChar(&length) && length != 0) {
        const auto n = std::uint8_t(length);
        if (out == nullptr) {
            if (in.skip(n) != n)
                return false;
            continue;
        }
        if (budget >= 0 && data >= budget)
            return true;  // the pixels cannot need the rest
        const QByteArray block = in.read(n);
        *out += length + block;
        data += n;
        if (block.size() != n)
            return false;
    }
    return length == 0;
}

// The first frame as a GIF of its own, read from `in` as far as it needs:
// the header and palette, the frame's graphic control (its transparency),
// the frame with no more data than its pixels can need.  When the file
// cannot be followed that far, what was read and the rest go to Qt's reader,
// which says what is wrong.
QByteArray firstFrameOnly(QIODevice& in)
{
    QByteArray gif = in.read(13);
    if (gif.size() < 13)
        return gif;
    gif += in.read(paletteBytes(gif[10]));
    QByteArray control;
    char block = 0;
    while (in.getChar(&block)) {
        if (block == 0x21) {
            char label = 0;
            if (!in.getChar(&label))
                break;
            QByteArray extension = QByteArray(1, block) + label;
            const bool keep = std::uint8_t(label) == 0xF9;
            if (!readSubBlocks(in, keep ? &extension : nullptr))
                return gif + extension;
            if (keep)
                control = extension + '\0';
            continue;
        }
        if (block != 0x2C)
            return gif + block + in.readAll();
        QByteArray frame = QByteArray(1, block) + in.read(9);
        if (frame.size() < 10)
            return gif + control + frame;
        frame += in.read(paletteBytes(frame[9]) + 1);  // palette, code size
        const std::int64_t budget = lzwBound(le16(frame, 5) * le16(frame, 7));
        if (!readSubBlocks(in, &frame, budget))
            return gif + control + frame;
        return gif + control + frame + QByteArray("\0\x3B", 2);
    }
    return gif;
}

}  // namespace

LoadResult decodeGif(QIODevice& in)
{
    const QByteArray head = in.peek(10);
    if (head.size() == 10) {
        // Qt allocates the logical screen, not the frame, so a few-byte GIF
        // can ask for gigabytes behind a 1 x 1 frame.
        const std::int64_t width = le16(head, 6);
        const std::int64_t height = le16(head, 8);
        if (fileio::MaybeFailure tooLarge = tooLargeError(width, height))
            return {QImage(), std::move(tooLarge)};
        // Qt's GIF reader stops one pixel short of the ceiling.
        constexpr std::int64_t kMaxGifPixels = (std::int64_t(1) << 28) - 1;
        if (width * height > kMaxGifPixels)
            return {QImage(), fileio::refused(QStringLiteral("The GIF picture is too large: %1 x %2 pixels, "
                                                             "more than the %3 the GIF reader holds")
                                                  .arg(width)
                                                  .arg(height)
                                                  .arg(kMaxGifPixels))};
    }
    return readWithQt(firstFrameOnly(in), "gif");
}

}  // namespace imagefile
