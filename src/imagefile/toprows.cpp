#include "toprows.h"

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

}  // namespace imagefile
