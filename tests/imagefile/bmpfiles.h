#pragma once

// BMP files written byte by byte, in the kinds a hand-made or foreign file
// may take: header forms, bottom-up or top-down rows, 24 or 32 bits, junk in
// the row padding and after the pixels.

#include <QByteArray>
#include <QImage>
#include <QtEndian>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace imagefiletest {

struct BmpKind {
    int bits = 24;               // 24 or 32
    bool topDown = false;
    quint32 infoSize = 40;       // 12, 40, 52, 56, 108 or 124
    bool bitFields = false;      // 32 bits with the standard masks
    quint32 gap = 0;             // bytes between the headers and the pixels
    QByteArray trailer{};        // bytes after the pixels
    std::uint8_t padding = 0xA5; // fill of the row padding and the unused fourth byte
};

inline void put16(QByteArray& b, int at, quint32 v) { qToLittleEndian<quint16>(static_cast<quint16>(v), b.data() + at); }
inline void put32(QByteArray& b, int at, quint32 v) { qToLittleEndian<quint32>(v, b.data() + at); }

inline QByteArray bmpBytes(const QImage& image, const BmpKind& kind = {})
{
    const int w = image.width(), h = image.height();
    const int bpp = kind.bits / 8;
    const int stride = (w * kind.bits + 31) / 32 * 4;
    const int masks = kind.infoSize == 40 && kind.bitFields ? 12 : 0;
    const int offset = 14 + static_cast<int>(kind.infoSize) + masks + static_cast<int>(kind.gap);
    QByteArray b(offset + stride * h, '\0');
    b.replace(0, 2, "BM");
    for (const auto& [at, value] : {std::pair{2, quint32(b.size())}, {10, quint32(offset)}, {14, kind.infoSize}})
        put32(b, at, value);
    if (kind.infoSize == 12) {
        for (const auto& [at, value] : {std::pair{18, w}, {20, h}, {22, 1}, {24, kind.bits}})
            put16(b, at, static_cast<quint32>(value));
    } else {
        for (const auto& [at, value] : {std::pair{18, w}, {22, kind.topDown ? -h : h}, {30, kind.bitFields ? 3 : 0}, {34, stride * h}})
            put32(b, at, static_cast<quint32>(value));
        put16(b, 26, 1);
        put16(b, 28, static_cast<quint32>(kind.bits));
        if (kind.bitFields || kind.infoSize >= 52)
            for (const auto& [at, mask] : {std::pair{54, 0xFF0000u}, {58, 0xFF00u}, {62, 0xFFu}})
                put32(b, at, mask);
    }
    std::fill(b.begin() + offset - static_cast<int>(kind.gap), b.begin() + offset, static_cast<char>(0x5A));
    for (int y = 0; y < h; ++y) {
        const int fileRow = kind.topDown ? y : h - 1 - y;
        char* row = b.data() + offset + fileRow * stride;
        std::fill(row + w * bpp, row + stride, static_cast<char>(kind.padding));
        const auto* in = reinterpret_cast<const quint32*>(image.constScanLine(y));
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < bpp; ++c)  // blue, green, red, then the padding byte
                row[x * bpp + c] = static_cast<char>(c < 3 ? in[x] >> (8 * c) : kind.padding);
    }
    return b + kind.trailer;
}

// The headers of a `width` x `height` run-length BMP of 8 or 4 bits with
// `palette`, then the coded `data`; the pixels cost no memory to make.
inline QByteArray rleBmp(int width, int height, int bits, const QByteArray& data, const std::vector<QRgb>& palette)
{
    const auto paletteBytes = static_cast<quint32>(4 * palette.size());
    QByteArray b = bmpBytes(QImage(1, 1, QImage::Format_RGB32)).left(54) + QByteArray(paletteBytes, '\0') + data;
    for (const auto& [at, value] : {std::pair{2, quint32(b.size())}, {10, 54 + paletteBytes}, {18, quint32(width)}, {22, quint32(height)},
                                    {30, bits == 8 ? 1u : 2u}, {34, 0u}, {46, quint32(palette.size())}})
        put32(b, at, value);
    put16(b, 28, static_cast<quint32>(bits));
    for (std::size_t i = 0; i < palette.size(); ++i)
        put32(b, 54 + 4 * static_cast<int>(i), palette[i] & 0xFFFFFFu);
    return b;
}

// The picture as Qt's own reader decodes it, in the working format.
inline QImage qtDecoded(const QByteArray& bytes)
{
    QImage image = QImage::fromData(bytes, "bmp");
    if (!image.isNull())
        image.convertTo(QImage::Format_RGB32);
    return image;
}

// Random colours: every low bit and every channel matters.
inline QImage noisyImage(int width, int height, std::uint32_t seed)
{
    std::mt19937 random(seed);
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, 0xFF000000u | (random() & 0xFFFFFFu));
    return image;
}

struct Geometry {
    const char* why;
    int width;
    int height;
    BmpKind kind;
};

// W*H mod 3 is 0, 1 and 2 among these; odd widths leave row padding; the
// short ones take the engine's pixel-by-pixel path, the tall ones its bands.
inline const Geometry kGeometries[] = {
    {"one row", 150, 1, {}},
    {"one column", 1, 150, {}},
    {"one column, top-down, 32 bits", 1, 151, {.bits = 32, .topDown = true}},
    {"odd width, padded rows, W*H mod 3 = 2", 13, 7, {}},
    {"start marker runs over three columns", 7, 16, {}},
    {"start marker fits column 0, W*H mod 3 = 1", 5, 41, {}},
    {"top-down", 11, 45, {.topDown = true}},
    {"blocks of sixteen with ragged edges, top-down", 37, 50, {.topDown = true}},
    {"blocks of sixteen with ragged edges, 32 bits", 35, 49, {.bits = 32}},
    {"32 bits, standard masks", 23, 40, {.bits = 32, .bitFields = true}},
    {"32 bits, V5 header, top-down", 9, 50, {.bits = 32, .topDown = true, .infoSize = 124}},
    {"core header", 17, 20, {.infoSize = 12}},
    {"V4 header with a gap before the pixels", 19, 21, {.infoSize = 108, .gap = 37}},
    {"junk after the pixels", 10, 30, {.trailer = QByteArray("trailing junk")}},
};

}  // namespace imagefiletest
