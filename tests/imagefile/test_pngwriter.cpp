// The PNG writer: what libpng's reader (which may refuse what Qt's forgives)
// finds in the file, pixel for pixel, and that a failing device never passes
// for success.
#include "imagefile/pngwriter.h"
#include "support/failures.h"

#include "pictures.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <png.h>

#include <string>
#include <vector>

namespace {

using testsupport::reasonOf;
using namespace imagefiletest;

// The pixels as Format_RGB32, null when libpng refuses the file; `format`
// receives the colour type libpng found.
QImage throughLibpng(const QByteArray& png, png_uint_32& format)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.constData(), static_cast<size_t>(png.size())))
        return {};
    format = image.format;
    image.format = PNG_FORMAT_BGRA;
    QImage out(static_cast<int>(image.width), static_cast<int>(image.height), QImage::Format_RGB32);
    return png_image_finish_read(&image, nullptr, out.bits(), static_cast<png_int_32>(out.bytesPerLine()), nullptr) ? out : QImage();
}

// Both roads: in memory (split over two threads from a megapixel on), and
// libpng's stream for what is too large.
constexpr qint64 kOneCall = imagefile::kPngOneCallLimitBytes, kStreamed = 0;

QByteArray pngOf(const QImage& image, qint64 road = kOneCall)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_EQ(reasonOf(imagefile::writePng(image, buffer, road)), QString());
    return buffer.data();
}

// The chunk types in file order, a run of IDAT chunks named once.
std::vector<std::string> chunksOf(const QByteArray& png)
{
    std::vector<std::string> chunks;
    for (qsizetype at = 8; at + 8 <= png.size(); at += 12 + qsizetype(qFromBigEndian<quint32>(png.constData() + at)))
        if (std::string type(png.constData() + at + 4, 4); chunks.empty() || type != "IDAT" || chunks.back() != type)
            chunks.push_back(std::move(type));
    return chunks;
}

TEST(PngWriter, EveryBitReachesLibpngAndQt)
{
    // Widths that leave partial bytes for filters to trip on; a palette and
    // a translucent picture arrive as their colours, without alpha.
    QImage translucent = patternImage(9, 4, 3).convertToFormat(QImage::Format_ARGB32);
    translucent.setPixel(0, 0, 0x10203040u);
    const std::vector<std::pair<const char*, QImage>> pictures = {
        {"one pixel", patternImage(1, 1)},
        {"odd width, several rows", patternImage(37, 23, 9)},
        {"one long row", patternImage(5000, 1, 4)},
        {"two threads' streams joined, with repeats to match", patternImage(160, 70, 6).scaled(1600, 700)},
        {"palette", patternImage(16, 16).convertToFormat(QImage::Format_Indexed8)},
        {"alpha dropped", translucent},
    };
    for (const auto& [why, image] : pictures)
      for (const qint64 road : {kOneCall, kStreamed}) {
        SCOPED_TRACE(why + std::string(road == kOneCall ? " in one call" : " streamed"));
        const QByteArray png = pngOf(image, road);
        EXPECT_EQ(chunksOf(png), (std::vector<std::string>{"IHDR", "IDAT", "IEND"}))
            << "no gamma, profile or transparency chunk that lets a reader change the colours";
        png_uint_32 format = 0;
        const QImage viaLibpng = throughLibpng(png, format);
        EXPECT_EQ(format, png_uint_32(PNG_FORMAT_RGB)) << "8-bit RGB, no alpha";
        const QImage expected = image.convertToFormat(QImage::Format_RGB32);
        EXPECT_TRUE(sameRgb(viaLibpng, expected));
        EXPECT_TRUE(sameRgb(QImage::fromData(png, "png").convertToFormat(QImage::Format_RGB32), expected));
      }
}

TEST(PngWriter, PngcheckAcceptsTheFile)
{
    const QString pngcheck = QStandardPaths::findExecutable(QStringLiteral("pngcheck"));
    if (pngcheck.isEmpty())
        GTEST_SKIP() << "pngcheck is not installed";
    // Several IDAT chunks, and a row so short that the filter byte dominates.
    for (const QImage& image : {patternImage(1600, 1100, 5), patternImage(1, 3)}) {
        QTemporaryDir dir;
        const QString file = written(dir.filePath(QStringLiteral("p.png")), pngOf(image));
        QProcess check;
        check.start(pngcheck, {QStringLiteral("-q"), file});
        ASSERT_TRUE(check.waitForFinished(30000));
        EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardOutput().toStdString();
    }
}

// Accepts `room` bytes, then fails as a full disk does.
class FullDevice : public QBuffer {
public:
    explicit FullDevice(qint64 room) : m_room(room) { open(QIODevice::WriteOnly); }

protected:
    qint64 writeData(const char* data, qint64 size) override
    {
        if (QBuffer::size() + size <= m_room)
            return QBuffer::writeData(data, size);
        setErrorString(QStringLiteral("No space left on device"));
        return -1;
    }

private:
    qint64 m_room;
};

TEST(PngWriter, AFailedWriteIsReportedWithItsReason)
{
    // Large enough for several IDAT chunks: the failure may come in the
    // signature, in the middle of the pixels or in the last chunk.
    const QImage image = patternImage(1600, 1100, 5);
    for (const qint64 road : {kOneCall, kStreamed}) {
        SCOPED_TRACE(road);
        const qint64 whole = pngOf(image, road).size();
        ASSERT_GT(whole, 2 << 20);
        for (const qint64 room : {qint64(0), whole / 2, whole - 12, whole - 1}) {
            SCOPED_TRACE(room);
            FullDevice device(room);
            EXPECT_EQ(reasonOf(imagefile::writePng(image, device, road)), "No space left on device");
        }
        FullDevice roomy(whole);
        EXPECT_EQ(reasonOf(imagefile::writePng(image, roomy, road)), QString());
        EXPECT_EQ(roomy.size(), whole);
    }
}

}  // namespace
