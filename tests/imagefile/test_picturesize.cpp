// The size read from headers alone against the decoder's, for every kind
// and layout the decoders take, and headers it must not vouch for.
#include "imagefile/imageio.h"
#include "imagefile/picturesize.h"
#include "imagefile/pngwriter.h"
#include "support/failures.h"
#include "imagefile/toprows.h"

#include "bmpfiles.h"
#include "hostilefiles.h"
#include "webpfiles.h"

namespace {

using testsupport::reasonOf;
using namespace imagefiletest;

imagefile::HeaderSize sizeOf(const QByteArray& bytes)
{
    ReadBuffer buffer(bytes);
    return imagefile::headerSize(buffer);
}

QByteArray topRowsOf(const QByteArray& bytes)
{
    ReadBuffer buffer(bytes);
    return imagefile::pngTopRows(buffer, imagefile::kStartMarkerRows);
}

TEST(HeaderSize, AgreesWithTheDecoder)
{
    const QImage image = patternImage(37, 23);
    const QByteArray png = encoded(image, "png"), jpeg = encoded(image, "jpeg");
    QImage translucent = image.convertToFormat(QImage::Format_ARGB32);
    translucent.setPixel(0, 0, qRgba(1, 2, 3, 4));
    const struct { const char* why; QByteArray bytes; } rows[] = {
        {"24-bit BMP", bmpBytes(image)},
        {"32-bit top-down BMP, V5 header", bmpBytes(image, {.bits = 32, .topDown = true, .infoSize = 124})},
        {"core-header BMP", bmpBytes(image, {.infoSize = 12})},
        {"RGB PNG", png},
        {"baseline JPEG", jpeg},
        {"progressive JPEG after a long comment", progressiveJpeg(image, QString(60000, QLatin1Char('c')))},
        {"GIF: the screen", gif(40, 30, 5, 5)},
        {"GIF: a frame running over a smaller screen", gif(12, 10, 0, 0, 30, 20)},
        {"GIF: a screen of 0 x 0 takes the frame to its far edge", gif(0, 0, 5, 7, 30, 20)},
        {"GIF: one side of 0", gif(0, 10, 0, 0, 30, 20)},
        {"lossy WebP", webpStill(image, false)},
        {"lossless WebP", webpStill(image, true)},
        {"WebP with alpha (extended)", webpStill(translucent, false)},
        {"WebP animation: its canvas", webpAnimation({image, image})},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const imagefile::HeaderSize size = sizeOf(row.bytes);
        const imagefile::LoadResult decoded = imagefile::decodePicture(row.bytes);
        ASSERT_TRUE(decoded.ok() && size.known) << qPrintable(reasonOf(decoded.failure));
        EXPECT_EQ(QSize(int(size.width), int(size.height)), decoded.image.size());
    }

    // Headers the decoder refuses, or that leave the size to it: no answer.
    QByteArray badCrc = png;
    badCrc[29] = static_cast<char>(badCrc[29] ^ 1);
    const struct { const char* why; QByteArray bytes; } unknown[] = {
        {"IHDR with a wrong checksum", badCrc},
        {"a PNG cut inside its IHDR", png.left(20)},
        {"a lossless JPEG", QByteArray(jpeg).replace("\xFF\xC0", "\xFF\xC3")},
        {"a JPEG whose height comes later (DNL)", QByteArray(jpeg).replace(QByteArray("\xFF\xC0\x00\x11\x08\x00\x17", 7),
                                                                           QByteArray("\xFF\xC0\x00\x11\x08\x00\x00", 7))},
        {"a GIF with no frame", gif(40, 30, 0, 0).left(19) + ";"},
        {"a text file", "just words"},
    };
    for (const auto& row : unknown)
        EXPECT_FALSE(sizeOf(row.bytes).known) << row.why;
}

// `top`, decoded alone, gives the same top rows as the whole file.
::testing::AssertionResult sameTopRows(const QByteArray& file, const QByteArray& top)
{
    if (top.isEmpty())
        return ::testing::AssertionFailure() << "no top rows";
    const imagefile::LoadResult whole = imagefile::decodePicture(file), part = imagefile::decodePicture(top);
    if (!whole.ok() || !part.ok() || part.image.height() < imagefile::kStartMarkerRows)
        return ::testing::AssertionFailure() << qPrintable(reasonOf(part.failure));
    const QRect rows(0, 0, whole.image.width(), imagefile::kStartMarkerRows);
    return sameRgb(part.image.copy(rows), whole.image.copy(rows));
}

TEST(PngTopRows, AreTheWholePicturesTopRows)
{
    // The decoder's own reading of each layout: palette, grey, 16 bits and
    // alpha go through the same conversions as the whole file's.
    QImage wide = patternImage(301, 97, 7);
    const struct { const char* why; QByteArray png; } rows[] = {
        {"RGB, a chunk before the pixels", encoded(wide, "png", -1, false, QStringLiteral("a chunk before the pixels"))},
        {"RGB in one-megabyte chunks, as our writer makes them", [&] {
             QBuffer buffer;
             buffer.open(QIODevice::WriteOnly);
             EXPECT_EQ(reasonOf(imagefile::writePng(patternImage(1200, 900, 3), buffer)), QString());
             return buffer.data();
         }()},
        {"palette", encoded(wide.convertToFormat(QImage::Format_Indexed8), "png")},
        {"one bit a pixel", encoded(wide.convertToFormat(QImage::Format_Mono), "png")},
        {"grey", encoded(wide.convertToFormat(QImage::Format_Grayscale8), "png")},
        {"16 bits with alpha", encoded(wide.convertToFormat(QImage::Format_RGBA64), "png")},
        {"41 rows: one below the cut", encoded(patternImage(5, 41), "png")},
    };
    for (const auto& row : rows)
        EXPECT_TRUE(sameTopRows(row.png, topRowsOf(row.png))) << row.why;

    // No shortcut where the top rows are not simply the first data.
    const struct { const char* why; QByteArray png; } none[] = {
        {"40 rows or fewer", encoded(patternImage(50, 40), "png")},
        {"pixel data with a wrong checksum", withBadIdatCrc(encoded(wide, "png"))},
        {"pixel data cut short", encoded(wide, "png").left(200)},
        {"not a PNG", encoded(wide, "bmp")},
    };
    for (const auto& row : none)
        EXPECT_TRUE(topRowsOf(row.png).isEmpty()) << row.why;
}

}  // namespace
