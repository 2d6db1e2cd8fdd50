#include "toprows.h"

#include "imagefile/limits.h"

#include <QtEndian>

#include <zlib.h>

#include <algorithm>
#include <cstdint>

namespace imagefile {

namespace {

// More bytes of chunks before the pixel data than any ordinary file has
// (a colour profile, some text): past it the whole file is decoded instead.
constexpr qint64 kMaxHeadBytes = qint64(16) << 20;
constexpr qint64 kPieceBytes = qint64(64) << 10;

QByteArray chunk(const char* type, const QByteArray& data)
{
    QByteArray out(4, Qt::Uninitialized);
    qToBigEndian<quint32>(static_cast<quint32>(data.size()), out.data());
    out.append(type, 4).append(data);
    const auto crc = static_cast<quint32>(
        crc32(0, reinterpret_cast<const Bytef*>(out.constData() + 4), static_cast<uInt>(data.size() + 4)));
    QByteArray tail(4, Qt::Uninitialized);
    qToBigEndian<quint32>(crc, tail.data());
    return out + tail;
}

}  // namespace

QByteArray pngTopRows(QIODevice& in, int rows)
{
    static constexpr char kSignature[] = "\x89PNG\r\n\x1A\n";
    if (!in.seek(0))
        return {};
    const QByteArray head = in.read(33);
    if (head.size() != 33 || !head.startsWith(QByteArrayView(kSignature, 8)) || head.mid(8, 8) != QByteArray("\0\0\0\x0DIHDR", 8))
        return {};
    const auto* ihdr = reinterpret_cast<const uchar*>(head.constData() + 16);
    const quint32 width = qFromBigEndian<quint32>(ihdr), height = qFromBigEndian<quint32>(ihdr + 4);
    const int depth = ihdr[8], colourType = ihdr[9], interlace = ihdr[12];
    const int channels = colourType == 0 || colourType == 3 ? 1 : colourType == 4 ? 2 : colourType == 2 ? 3 : colourType == 6 ? 4 : 0;
    if (channels == 0 || depth > 16 || interlace != 0 || height <= quint32(rows) || width == 0 || width > (1U << 24))
        return {};
    // The top rows' filtered bytes, inflated from the start of the pixel
    // data and stored again as a complete stream of their own: a stream cut
    // short is refused by libpng's readers.
    const qint64 rowBytes = 1 + (qint64(width) * channels * depth + 7) / 8;
    QByteArray filtered(rows * rowBytes, Qt::Uninitialized);

    QByteArray ihdrData = head.mid(16, 13);
    qToBigEndian<quint32>(static_cast<quint32>(rows), ihdrData.data() + 4);
    QByteArray out = QByteArray(kSignature, 8) + chunk("IHDR", ihdrData);
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return {};
    // Ended on every road out, the refusals of a damaged file included.
    const struct InflateEnd {
        z_stream& stream;
        ~InflateEnd() { inflateEnd(&stream); }
    } ender{stream};
    stream.next_out = reinterpret_cast<Bytef*>(filtered.data());
    stream.avail_out = static_cast<uInt>(filtered.size());
    bool inPixels = false;
    while (stream.avail_out > 0) {
        const QByteArray chunkHead = in.read(8);
        if (chunkHead.size() != 8)
            break;
        const quint32 length = qFromBigEndian<quint32>(chunkHead.constData());
        const QByteArray type = chunkHead.mid(4);
        if (type != "IDAT") {
            // The chunks before the pixels, as they are; the first after them ends the pixels.
            if (inPixels || type == "IEND" || out.size() + qint64(length) > kMaxHeadBytes)
                break;
            const QByteArray rest = in.read(qint64(length) + 4);
            if (rest.size() != qint64(length) + 4)
                break;
            out += chunkHead + rest;
            continue;
        }
        inPixels = true;
        // In pieces, since one chunk may hold all the pixel data; read to
        // its end in any case, for the checksum the decoder would test.
        int status = Z_OK;
        uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type.constData()), 4);
        for (qint64 left = length; left > 0;) {
            const QByteArray piece = in.read(std::min<qint64>(left, kPieceBytes));
            if (piece.isEmpty())
                return {};
            left -= piece.size();
            crc = crc32(crc, reinterpret_cast<const Bytef*>(piece.constData()), static_cast<uInt>(piece.size()));
            if (stream.avail_out == 0 || status != Z_OK)
                continue;
            stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.constData()));
            stream.avail_in = static_cast<uInt>(piece.size());
            status = inflate(&stream, Z_NO_FLUSH);
        }
        const QByteArray stated = in.read(4);
        if (stated.size() != 4 || qFromBigEndian<quint32>(stated.constData()) != crc)
            return {};  // damaged: the decoder says so
        if (status != Z_OK)
            break;
    }
    if (stream.avail_out != 0)
        return {};
    uLongf storedSize = compressBound(static_cast<uLong>(filtered.size()));
    QByteArray stored(static_cast<qsizetype>(storedSize), Qt::Uninitialized);
    if (compress2(reinterpret_cast<Bytef*>(stored.data()), &storedSize, reinterpret_cast<const Bytef*>(filtered.constData()),
                  static_cast<uLong>(filtered.size()), Z_NO_COMPRESSION) != Z_OK)
        return {};
    stored.truncate(static_cast<qsizetype>(storedSize));
    return out + chunk("IDAT", stored) + chunk("IEND", {});
}

namespace {

// The orientation an Exif block gives (TIFF header, first directory, tag
// 0x0112), 1 when it gives none, 0 when the block cannot be read.
int exifOrientation(QByteArrayView exif)
{
    if (exif.size() < 8 || (exif.first(2) != "II" && exif.first(2) != "MM"))
        return 0;
    const bool big = exif[0] == 'M';
    const auto at16 = [&](qsizetype i) {
        const auto* p = reinterpret_cast<const uchar*>(exif.data() + i);
        return big ? qFromBigEndian<quint16>(p) : qFromLittleEndian<quint16>(p);
    };
    const auto at32 = [&](qsizetype i) {
        const auto* p = reinterpret_cast<const uchar*>(exif.data() + i);
        return big ? qFromBigEndian<quint32>(p) : qFromLittleEndian<quint32>(p);
    };
    const qint64 directory = at32(4);
    if (directory + 2 > exif.size())
        return 0;
    const int entries = at16(directory);
    if (directory + 2 + 12 * qint64(entries) > exif.size())
        return 0;
    for (int e = 0; e < entries; ++e) {
        const qsizetype entry = directory + 2 + 12 * e;
        if (at16(entry) == 0x0112)
            return at16(entry + 8);
    }
    return 1;
}

}  // namespace

QByteArray jpegTopRows(QIODevice& in, int rows)
{
    // Past the decoders' file limit the whole-file road refuses it, with its reason.
    if (!in.seek(0) || in.size() > kMaxPictureFileBytes)
        return {};
    QByteArray bytes = in.readAll();
    const auto byte = [&](qsizetype i) { return static_cast<uchar>(bytes[i]); };
    if (bytes.size() < 4 || byte(0) != 0xFF || byte(1) != 0xD8)
        return {};
    qsizetype frame = -1;
    int exifBlocks = 0, components = 0, mcuRows = 0;
    for (qsizetype at = 2; at + 4 <= bytes.size();) {
        if (byte(at) != 0xFF)
            return {};
        const int code = byte(at + 1);
        if (code == 0xFF) {  // fill
            ++at;
            continue;
        }
        const qsizetype length = (qsizetype(byte(at + 2)) << 8) | byte(at + 3);
        if (length < 2 || at + 2 + length > bytes.size())
            return {};
        const QByteArrayView segment(bytes.constData() + at + 4, length - 2);
        if (code == 0xE1 && segment.startsWith(QByteArrayView("Exif\0\0", 6))) {
            // The decoder turns the picture upright, so its top rows would
            // come from elsewhere in the file.
            if (++exifBlocks > 1 || exifOrientation(segment.sliced(6)) != 1)
                return {};
        } else if (code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC) {
            if ((code != 0xC0 && code != 0xC1) || frame >= 0 || segment.size() < 6)
                return {};
            frame = at;
            components = static_cast<uchar>(segment[5]);
            if (segment.size() < 6 + 3 * components)
                return {};
            int tallest = 0;
            for (int c = 0; c < components; ++c)
                tallest = std::max(tallest, static_cast<uchar>(segment[7 + 3 * c]) & 0x0F);
            mcuRows = 8 * std::max(tallest, 1);
        } else if (code == 0xDA) {
            // One scan with every component, or nothing to gain.
            if (frame < 0 || segment.isEmpty() || static_cast<uchar>(segment[0]) != components)
                return {};
            const int height = (byte(frame + 5) << 8) | byte(frame + 6);
            const int cut = (rows + mcuRows - 1) / mcuRows * mcuRows + mcuRows;
            if (height <= cut)
                return {};
            bytes[frame + 5] = static_cast<char>(cut >> 8);
            bytes[frame + 6] = static_cast<char>(cut & 0xFF);
            return bytes;
        } else if (code == 0xD9 || (code >= 0xD0 && code <= 0xD7) || code == 0x01) {
            return {};
        }
        at += 2 + length;
    }
    return {};
}

}  // namespace imagefile
