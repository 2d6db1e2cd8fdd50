#pragma once

// Files made to hurt a picture reader, built in moments: JPEG bombs, PNG
// files chunk by chunk (text-chunk bombs, huge or damaged pictures), a GIF
// frame with far more data than its pixels need.

#include "imagefile/pictures.h"

#include <zlib.h>

namespace imagefiletest {

inline QByteArray be16(int v) { return QByteArray(1, char(v >> 8)) + char(v & 0xFF); }
inline QByteArray be32(quint32 v) { return be16(int(v >> 16)) + be16(int(v & 0xFFFF)); }

inline QByteArray progressiveJpeg(const QImage& image, const QString& comment = {})
{
    return encoded(image, "jpeg", -1, true, comment);
}

// The frame header swapped for one of `width` x `height` with `components`
// components sampled 1 x 1 (4:4:4, or CMYK with four).
inline QByteArray withFrame(QByteArray jpeg, int width, int height, int components, int precision = 8)
{
    const qsizetype sof = jpeg.indexOf("\xFF\xC2");
    EXPECT_GE(sof, 0);
    const int length = qFromBigEndian<quint16>(jpeg.constData() + sof + 2);
    QByteArray frame = QByteArray("\xFF\xC2", 2) + be16(8 + 3 * components) + char(precision) + be16(height) + be16(width)
                       + char(components);
    for (int c = 1; c <= components; ++c)
        frame += QByteArray(1, char(c)) + char(0x11) + char(c == 1 ? 0 : 1);
    return jpeg.replace(sof, 2 + length, frame);
}

// The last scan repeated until the file holds `scans` more.
inline QByteArray withRepeatedScans(QByteArray jpeg, int scans)
{
    const qsizetype lastScan = jpeg.lastIndexOf("\xFF\xDA"), end = jpeg.lastIndexOf("\xFF\xD9");
    return jpeg.insert(end, jpeg.mid(lastScan, end - lastScan).repeated(scans));
}

// Stuffed zeros right after the start, then a comment holding an end
// marker: a reader that takes FF 00 for a marker with a length lands on
// that false end and never sees the frame; libjpeg skips the stray bytes.
inline QByteArray behindStuffedZeros(const QByteArray& jpeg)
{
    return QByteArray(jpeg).insert(2, QByteArray::fromHex("FF000008" "FFFE0006" "0000FFD9"));
}

inline QByteArray pngChunk(const char* type, const QByteArray& data)
{
    const QByteArray body = QByteArray(type) + data;
    return be32(quint32(data.size())) + body + be32(quint32(::crc32(0, reinterpret_cast<const Bytef*>(body.constData()), uInt(body.size()))));
}

// A PNG of one IDAT chunk holding the zlib stream `idat`, `beforeData` among its chunks.
inline QByteArray pngFile(quint32 width, quint32 height, char bitDepth, char colourType, const QByteArray& idat,
                          const QByteArray& beforeData = {}, bool interlaced = false)
{
    const QByteArray header = be32(width) + be32(height) + bitDepth + colourType + QByteArray(2, '\0') + char(interlaced);
    return QByteArray("\x89PNG\r\n\x1A\n", 8) + pngChunk("IHDR", header) + beforeData + pngChunk("IDAT", idat) + pngChunk("IEND", {});
}

// A PNG of `width` x `height` samples of 0x80 (grey, or mid-grey in RGB),
// `beforeData` among its chunks, made directly: Qt would hold a whole
// 16-bit picture to write it.
inline QByteArray uniformPng(quint32 width, quint32 height, char bitDepth, char colourType, const QByteArray& beforeData = {})
{
    const qsizetype samples = colourType == 2 ? 3 : 1;
    const QByteArray row = QByteArray(1, '\0') + QByteArray(qsizetype(width) * samples * (bitDepth / 8), '\x80');
    return pngFile(width, height, bitDepth, colourType, qCompress(row.repeated(height), 1).mid(4), beforeData);  // qCompress puts the length first
}

// The PNG with its first IDAT chunk's checksum spoiled.
inline QByteArray withBadIdatCrc(QByteArray png)
{
    const qsizetype idat = png.indexOf("IDAT");
    const qsizetype crc = idat + 4 + qFromBigEndian<quint32>(png.constData() + idat - 4);
    png[crc] = static_cast<char>(png[crc] ^ 1);
    return png;
}

// An 8 x 8 GIF frame coded with a clear code before every pixel (the
// loosest coding an encoder may use), then `extraCodes` more codes.
inline QByteArray gifWithLzwTail(int extraCodes)
{
    QByteArray lzw;
    quint32 bits = 0;
    int count = 0;
    const auto put = [&](quint32 code) {  // 3-bit codes, least significant bit first
        bits |= code << count;
        for (count += 3; count >= 8; count -= 8, bits >>= 8)
            lzw += char(bits & 0xFF);
    };
    for (int i = 0; i < 64 + extraCodes; ++i) {
        put(4);  // clear
        put(i < 64 ? 1 : 2);
    }
    put(5);  // end
    lzw += char(bits);
    QByteArray gif = QByteArray("GIF89a\x08\x00\x08\x00\x81\x00\x00", 13) + QByteArray::fromHex("000000C86432070809FFFFFF")
                     + QByteArray::fromHex("2C000000000800080000") + char(2);
    for (qsizetype i = 0; i < lzw.size(); i += 255) {
        const QByteArray block = lzw.mid(i, 255);
        gif += char(block.size()) + block;
    }
    return gif + QByteArray("\0\x3B", 2);
}

}  // namespace imagefiletest
