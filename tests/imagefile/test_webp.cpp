// WebP pictures through the window's open road: every kind libwebp writes
// opens as libwebp itself decodes it, and a few bytes declaring the largest
// picture open or are refused within the memory the ceiling allows.

#include "childlimits.h"
#include "imagefile/imageio.h"
#include "support/failures.h"
#include "pictures.h"
#include "webpfiles.h"

#include <QTemporaryDir>

#include <algorithm>

namespace {

using namespace imagefiletest;

// The lossless header's flag that says whether alpha is used, cleared: the
// flag is a hint, and the pixels keep their alpha.
QByteArray withoutAlphaHint(QByteArray file)
{
    const qsizetype at = file.indexOf("VP8L") + 9;
    file[at + 3] = static_cast<char>(file[at + 3] & ~0x10);
    return file;
}

TEST(Webp, EveryKindOpensAsLibwebpDecodesIt)
{
    QTemporaryDir dir;
    const QImage opaque = patternImage(61, 37);
    // Alpha through every value, fully transparent pixels included, over colours that must survive.
    QImage translucent = patternImage(61, 37, 7).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < 37; ++y)
        for (int x = 0; x < 61; ++x)
            translucent.setPixel(x, y, (translucent.pixel(x, y) & 0xFFFFFFu) | (quint32((x * 7 + y * 13) % 256) << 24));
    QImage secondFrame = opaque;
    secondFrame.invertPixels();
    const struct { const char* why; QByteArray file; QImage exact; } rows[] = {
        {"lossy", webpStill(opaque, false), {}},
        {"lossy with an alpha plane", webpStill(translucent, false), {}},
        {"lossless, every pixel kept", webpStill(opaque, true), opaque},
        {"lossless with alpha: a transparent pixel keeps its colour", webpStill(translucent, true), {}},
        {"lossless with alpha under a header that says none", withoutAlphaHint(webpStill(translucent, true)), {}},
        {"animated: its first frame", webpAnimation({opaque, secondFrame}), opaque},
        {"animated, lossy with alpha: the frame's alpha plane beside it", webpAnimation({translucent, secondFrame}, false), {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const imagefile::LoadResult loaded = imagefile::loadPicture(written(dir.filePath(QStringLiteral("picture.WEBP")), row.file));
        ASSERT_TRUE(loaded.ok()) << qPrintable(testsupport::reasonOf(loaded.failure));
        EXPECT_EQ(loaded.image.format(), QImage::Format_RGB32);
        EXPECT_TRUE(sameRgb(loaded.image, libwebpPixels(row.file)));
        EXPECT_TRUE(row.exact.isNull() || sameRgb(loaded.image, row.exact));
        // Read from the bits (32-bit rows have no padding): QImage::pixel() reports every RGB32 pixel as opaque.
        const auto* pixels = reinterpret_cast<const quint32*>(loaded.image.constBits());
        EXPECT_TRUE(std::all_of(pixels, pixels + loaded.image.sizeInBytes() / 4, [](quint32 p) { return p >> 24 == 0xFFu; }))
            << "every pixel opaque, as the working format promises";
    }
}

// The VP8L header's 14-bit width and height, each stored less one.
QByteArray withLosslessSize(QByteArray file, int width, int height)
{
    const qsizetype at = file.indexOf("VP8L") + 9;  // after the chunk header and the signature byte
    EXPECT_EQ(file[at - 1], '\x2F');
    const quint32 bits = qFromLittleEndian<quint32>(file.constData() + at);
    qToLittleEndian((bits & 0xF0000000u) | quint32(width - 1) | quint32(height - 1) << 14, file.data() + at);
    return file;
}

// An extended header of an animation whose canvas is `width` x `height`.
QByteArray withCanvasSize(QByteArray file, int width, int height)
{
    const qsizetype at = file.indexOf("VP8X") + 12;
    for (int i = 0; i < 6; ++i)  // each side less one, in three bytes
        file[at + i] = char(((i < 3 ? width : height) - 1) >> (8 * (i % 3)));
    return file;
}

TEST(Webp, HugeDeclaredSizesOpenOrAreRefusedWithinTheBudget)
{
    const QByteArray lossless = webpStill(patternImage(16, 16), true);
    const QByteArray animation = webpAnimation({patternImage(16, 16), patternImage(16, 16, 1)});
    // One colour in 38 bytes, over 16383 x 16383 and over 8192 x 8192.
    const QByteArray flat16k = QByteArray::fromHex("524946461e000000574542505650384c110000002ffebfff0f0750b3ce34b3ff8188e87f0000");
    const QByteArray flat8k = QByteArray::fromHex("524946461e000000574542505650384c110000002fffdfff070750b3ce34b3ff8188e87f0000");
    const QString damaged = QStringLiteral("The WebP picture's data is damaged or cut short");
    // Lossless decoding holds libwebp's own copy of the picture beside ours.
    const long budgetMB = 2 * imagefile::kAllocationLimitMB + 100;
    const qint64 heldBytes = qint64(1800) << 20;
    const struct { const char* why; QByteArray file; qint64 held; long capMB; QString sentence; } rows[] = {
        {"lossless 16383 x 16383: with libwebp's copy, past the budget", flat16k, 0, 100,
         QStringLiteral("The WebP picture would need 2049 MB to decode, more than the 2048 MB allowed")},
        {"lossless 8192 x 8192 beside a large open picture", flat8k, heldBytes, 100,
         QStringLiteral("The WebP picture would need 513 MB to decode, more than the 248 MB allowed beside the picture already open")},
        {"lossless declaring 11000 x 11000 in a few hundred bytes", withLosslessSize(lossless, 11000, 11000), 0, budgetMB, damaged},
        {"an animation on a 60000 x 60000 canvas", withCanvasSize(animation, 60000, 60000), 0, 100,
         QStringLiteral("The picture is too large: 60000 x 60000 pixels need 13733 MB, more than the 1024 MB allowed")},
        {"cut short", lossless.left(lossless.size() / 2), 0, 100, damaged},
        {"the header alone", lossless.left(12), 0, 100, damaged},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_LT(row.file.size(), 2000);
        const auto decoded = [&] { return testsupport::reasonOf(imagefile::decodePicture(row.file, row.held).failure); };
        EXPECT_TRUE(passesWithin(row.capMB, [&] { return decoded() == row.sentence; })) << "reader says: " << qPrintable(decoded());
    }
    EXPECT_TRUE(passesWithin(budgetMB, [&] {
        const imagefile::LoadResult loaded = imagefile::decodePicture(flat8k);
        return loaded.image.size() == QSize(8192, 8192) && loaded.image.pixel(8191, 8191) == 0xFF336699u;
    })) << "alone, the 8192 x 8192 one opens";
}

}  // namespace
