// Reading picture files into the working picture and writing it back as BMP.

#include "picture/imageio.h"
#include "pictures.h"

#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QtEndian>

#include <vector>

namespace {

using picturetest::encoded;
using picturetest::patternImage;
using picturetest::sameRgb;

// A 4 x 2 GIF over a four-entry palette with entry 2 transparent, one frame
// per entry of `frames` (palette indices, row by row).  A clear code goes
// before every second pixel, so codes stay three bits wide: wasteful, but
// every decoder must accept it.
QByteArray makeGif(const QList<QRgb>& palette, const std::vector<std::vector<quint32>>& frames)
{
    QByteArray gif("GIF89a\x04\0\x02\0\x81\0\0", 13);
    for (const QRgb colour : palette)
        gif.append(char(qRed(colour))).append(char(qGreen(colour))).append(char(qBlue(colour)));
    for (const std::vector<quint32>& indices : frames) {
        gif.append("\x21\xF9\x04\x01\x0A\0\x02\0\x2C\0\0\0\0\x04\0\x02\0\0\x02", 19);
        QByteArray data;
        quint32 bits = 0;
        int count = 0;
        const auto put = [&](quint32 code) {
            for (bits |= code << count, count += 3; count >= 8; bits >>= 8, count -= 8)
                data.append(char(bits & 0xFF));
        };
        for (size_t i = 0; i < indices.size(); ++i) {
            if (i % 2 == 0)
                put(4);
            put(indices[i]);
        }
        put(5);
        if (count > 0)
            data.append(char(bits & 0xFF));
        gif.append(char(data.size())).append(data).append('\0');  // small frames: one sub-block
    }
    return gif.append(char(0x3B));
}

const QList<QRgb> kPalette{qRgb(10, 20, 30), qRgb(200, 100, 50), qRgb(7, 8, 9), qRgb(255, 0, 255)};

class ImageIoTest : public ::testing::Test {
protected:
    QString write(const QString& name, const QByteArray& bytes)
    {
        QFile file(m_dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        return file.fileName();
    }
    QTemporaryDir m_dir;
};

TEST_F(ImageIoTest, FormatIsDecidedByContentNotName)
{
    const QImage source = patternImage(13, 7);  // odd width: BMP rows are padded
    const struct {
        const char* format;
        const char* name;
        bool lossless;
    } rows[] = {{"bmp", "plain.bmp", true}, {"png", "plain.png", true}, {"png", "png-named.bmp", true},
                {"bmp", "bmp-named.gif", true}, {"jpeg", "jpeg-named.bmp", false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const picture::LoadResult result = picture::loadPicture(write(row.name, encoded(source, row.format)));
        ASSERT_TRUE(result.ok()) << qPrintable(result.error);
        EXPECT_EQ(result.image.format(), QImage::Format_RGB32);
        EXPECT_EQ(result.image.size(), source.size());
        EXPECT_TRUE(!row.lossless || sameRgb(result.image, source));
    }
}

TEST_F(ImageIoTest, GifAlphaAndTurnedPicturesBecomeUprightOpaqueStoredColours)
{
    // The transparent entry keeps its own colour (not black, white or the
    // background), and the second frame of the animation is not shown.
    const std::vector<quint32> first{0, 1, 2, 3, 2, 2, 1, 0};
    const picture::LoadResult gif =
        picture::loadPicture(write("animated.gif", makeGif(kPalette, {first, {3, 3, 3, 3, 3, 3, 3, 3}})));
    ASSERT_EQ(gif.image.size(), QSize(4, 2)) << qPrintable(gif.error);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(gif.image.pixel(i % 4, i / 4), kPalette[first[size_t(i)]] | 0xFF000000u) << "pixel " << i;

    QImage alpha(2, 1, QImage::Format_ARGB32);
    alpha.setPixel(0, 0, qRgba(50, 60, 70, 0));
    alpha.setPixel(1, 0, qRgba(51, 61, 71, 128));
    const picture::LoadResult png = picture::loadPicture(write("alpha.png", encoded(alpha, "png")));
    EXPECT_EQ(png.image.pixel(0, 0), qRgb(50, 60, 70));
    EXPECT_EQ(png.image.pixel(1, 0), qRgb(51, 61, 71));

    // Left half red, right half blue, tagged "turn 90 degrees clockwise to
    // view": the viewer sees red on top.
    QImage sideways(32, 16, QImage::Format_RGB32);
    sideways.fill(qRgb(0, 0, 255));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            sideways.setPixel(x, y, qRgb(255, 0, 0));
    QImageWriter writer(m_dir.filePath("turned.jpg"), "jpeg");
    writer.setTransformation(QImageIOHandler::TransformationRotate90);
    ASSERT_TRUE(writer.write(sideways));
    const picture::LoadResult turned = picture::loadPicture(m_dir.filePath("turned.jpg"));
    ASSERT_EQ(turned.image.size(), QSize(16, 32));
    EXPECT_GT(qRed(turned.image.pixel(8, 4)), 200);
    EXPECT_GT(qBlue(turned.image.pixel(8, 28)), 200);
}

TEST_F(ImageIoTest, PhotoAboveQtsDefaultLimitOpens)
{
    // 8000 x 6000 needs 183 MB as RGB32; Qt's own limit is 128 MB.
    {
        QImage big(8000, 6000, QImage::Format_RGB32);
        big.fill(qRgb(30, 60, 90));
        ASSERT_TRUE(big.save(m_dir.filePath("big.jpg"), "jpeg"));
    }
    const picture::LoadResult result = picture::loadPicture(m_dir.filePath("big.jpg"));
    EXPECT_EQ(result.image.size(), QSize(8000, 6000)) << qPrintable(result.error);
}

TEST_F(ImageIoTest, DamagedAndForeignFilesAreRefusedWithAReason)
{
    const QByteArray bmp = encoded(patternImage(20, 10), "bmp");
    const QByteArray png = encoded(patternImage(20, 10), "png");
    QByteArray hugeGif = makeGif(kPalette, {{0, 0, 0, 0, 0, 0, 0, 0}});
    hugeGif.replace(6, 4, "\xFF\xFF\xFF\xFF");  // a 65535 x 65535 screen: 16 GB
    const struct {
        const char* why;
        QByteArray bytes;
    } rows[] = {
        {"empty file", QByteArray()},
        {"text under a picture's name", "just some words\r\n"},
        {"bmp cut inside its pixels", bmp.left(bmp.size() / 2)},
        {"bmp missing its last byte", bmp.left(bmp.size() - 1)},
        {"bmp cut inside its header", bmp.left(20)},
        {"png cut inside its data", png.left(png.size() / 2)},
        {"header asks for more memory than allowed", hugeGif},
        {"a format the program does not open", encoded(patternImage(4, 4), "xpm")},
    };
    for (const auto& row : rows) {
        const picture::LoadResult result = picture::loadPicture(write("bad.bmp", row.bytes));
        EXPECT_TRUE(result.image.isNull()) << row.why;
        EXPECT_FALSE(result.error.isEmpty()) << row.why;
    }
    EXPECT_FALSE(picture::loadPicture(m_dir.filePath("nowhere.bmp")).error.isEmpty());
}

TEST_F(ImageIoTest, SavedBmpIsTheUncompressed24BitFileQtsWriterMakesByteForByte)
{
    // Widths around the four-pixel groups the rows are packed in and the
    // four-byte row padding; a tall one spans more than one write block.
    const struct {
        const char* why;
        QImage image;
    } rows[] = {
        {"one pixel", patternImage(1, 1)},
        {"three pixels, padding of three", patternImage(3, 2)},
        {"four pixels, no padding", patternImage(4, 3)},
        {"five pixels: one after a group", patternImage(5, 4)},
        {"seven pixels: three after a group", patternImage(7, 2)},
        {"rows over several write blocks", patternImage(301, 5000)},
        {"palette picture", patternImage(9, 3).convertToFormat(QImage::Format_Indexed8)},
        {"transparent pixels", patternImage(6, 2).convertToFormat(QImage::Format_ARGB32)},
    };
    const QString target = write("same.bmp", QByteArray(100000, 'x'));  // an older, longer file
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        QImage image = row.image;
        image.setDotsPerMeterX(3937);
        image.setDotsPerMeterY(2835);
        ASSERT_EQ(picture::saveBmp(image, target), QString());
        QFile file(target);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        ASSERT_GE(bytes.size(), 54);
        EXPECT_EQ(qFromLittleEndian<quint16>(bytes.constData() + 28), 24) << "bits per pixel";
        EXPECT_EQ(qFromLittleEndian<quint32>(bytes.constData() + 30), 0u) << "compression";
        EXPECT_TRUE(bytes == encoded(image.convertToFormat(QImage::Format_RGB32), "bmp"));
    }
}

}  // namespace
