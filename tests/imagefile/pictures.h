#pragma once

// Test pictures made on the spot and a pixel-exact comparison.

#include "imagefile/imageio.h"
#include "stego/message.h"
#include "support/files.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QtEndian>

#include <gtest/gtest.h>

namespace imagefiletest {

using testsupport::written;

// Irregular pixels, so a swapped channel, a flipped row or a lost low bit
// shows.  The top byte is 0x80: neither the engine nor the writer may care.
inline QImage patternImage(int width, int height, quint32 seed = 0)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, 0x80000000u | ((quint32(x) * 2654435761u ^ quint32(y) * 40503u ^ seed) & 0xFFFFFFu));
    return image;
}

// A buffer open for reading over its own copy of `bytes`.
struct ReadBuffer : QBuffer {
    explicit ReadBuffer(const QByteArray& bytes) { setData(bytes); open(QIODevice::ReadOnly); }
};

// `image` with `message` hidden in it by the engine.
inline QImage carrying(QImage image, std::string_view message)
{
    EXPECT_EQ(stego::hideBytes(imagefile::surfaceOf(image), message).outcome, stego::HideOutcome::Hidden);
    return image;
}

// `image` as Qt's writer makes it; `quality` -1 is the writer's default.
inline QByteArray encoded(const QImage& image, const char* format, int quality = -1, bool progressive = false,
                          const QString& comment = {})
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    if (!comment.isEmpty())
        writer.setText(QStringLiteral("Comment"), comment);
    EXPECT_TRUE(writer.write(image)) << format;
    return buffer.data();
}

// The JPEG with an EXIF block before its other segments whose only entry is
// the orientation (Qt's writer turns the pixels instead of writing one).
inline QByteArray withOrientation(const QByteArray& jpeg, int orientation, bool bigEndian = true)
{
    const QByteArray tiff = bigEndian ? QByteArray::fromHex("4D4D002A00000008" "0001" "011200030000000100") + char(orientation) + QByteArray(6, '\0')
                                      : QByteArray::fromHex("49492A0008000000" "0100" "1201030001000000") + char(orientation) + QByteArray(7, '\0');
    const QByteArray exif = QByteArray("Exif\0\0", 6) + tiff;
    const int length = int(exif.size()) + 2;
    return QByteArray(jpeg).insert(2, QByteArray("\xFF\xE1", 2) + char(length >> 8) + char(length & 0xFF) + exif);
}

// A 1 x 1 GIF89a with a graphic control extension; the logical screen at
// bytes 6 to 9, the frame's left, top, width and height from byte 28.
inline QByteArray gif(quint16 screenWidth = 1, quint16 screenHeight = 1, quint16 left = 0, quint16 top = 0,
                      quint16 width = 1, quint16 height = 1)
{
    QByteArray bytes = QByteArray::fromHex("47494638396101000100800000ffffff00000021f90401000000002c00000000010001000002024401003b");
    for (const auto& [at, value] : {std::pair{6, screenWidth}, {8, screenHeight}, {28, left}, {30, top}, {32, width}, {34, height}})
        qToLittleEndian<quint16>(value, bytes.data() + at);
    return bytes;
}

// Same size and the same colour in every pixel; the top byte is not compared.
inline ::testing::AssertionResult sameRgb(const QImage& actual, const QImage& expected)
{
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << "size " << actual.width() << "x" << actual.height();
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            if ((actual.pixel(x, y) ^ expected.pixel(x, y)) & 0xFFFFFFu)
                return ::testing::AssertionFailure() << "pixel " << x << "," << y << " differs";
    return ::testing::AssertionSuccess();
}

}  // namespace imagefiletest
