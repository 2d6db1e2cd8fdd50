// Reading picture files into the working picture and writing it back as BMP.

#include "picture/imageio.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QtEndian>

#include <unistd.h>

#include <algorithm>
#include <vector>

namespace {

// Distinct, irregular pixels, so a swapped channel, a flipped row or a lost
// low bit all show.  The top byte is left at 0x80 on purpose: the engine
// ignores it and the BMP writer must not care either.
QImage patternImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const quint32 v = quint32(x) * 2654435761u ^ quint32(y) * 40503u;
            row[x] = 0x80000000u | (v & 0x00FFFFFFu);
        }
    }
    return image;
}

QByteArray encoded(const QImage& image, const char* format)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format)) << format;
    return buffer.data();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << qPrintable(path);
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Compares RGB only: the loaded picture is opaque, the pattern's top byte is not.
::testing::AssertionResult sameRgb(const QImage& actual, const QImage& expected)
{
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << "size " << actual.width() << "x" << actual.height() << ", expected "
                                             << expected.width() << "x" << expected.height();
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            if ((actual.pixel(x, y) & 0xFFFFFFu) != (expected.pixel(x, y) & 0xFFFFFFu))
                return ::testing::AssertionFailure() << "pixel " << x << "," << y << " is " << std::hex
                                                     << actual.pixel(x, y) << ", expected " << expected.pixel(x, y);
    return ::testing::AssertionSuccess();
}

// A GIF with a four-entry global palette.  The LZW stream sends a clear code
// before every second pixel so that codes stay three bits wide: wasteful,
// but any decoder must accept it.
struct GifFrame {
    int width = 0;
    int height = 0;
    std::vector<int> indices;
    int transparent = -1;
};

QByteArray makeGif(int width, int height, const QList<QRgb>& palette, const std::vector<GifFrame>& frames)
{
    QByteArray gif("GIF89a");
    const auto u16 = [&](int v) {
        gif.append(char(v & 0xFF));
        gif.append(char((v >> 8) & 0xFF));
    };
    u16(width);
    u16(height);
    gif.append(char(0x81));  // global palette of 2^(1+1) entries
    gif.append(char(0));     // background index
    gif.append(char(0));
    for (int i = 0; i < 4; ++i) {
        const QRgb c = palette.value(i);
        gif.append(char(qRed(c)));
        gif.append(char(qGreen(c)));
        gif.append(char(qBlue(c)));
    }
    for (const GifFrame& frame : frames) {
        gif.append("\x21\xF9\x04", 3);  // graphic control: delay and transparency
        gif.append(char(frame.transparent >= 0 ? 1 : 0));
        u16(10);
        gif.append(char(std::max(frame.transparent, 0)));
        gif.append(char(0));
        gif.append(char(0x2C));
        u16(0);
        u16(0);
        u16(frame.width);
        u16(frame.height);
        gif.append(char(0));
        gif.append(char(2));  // minimum code size
        QByteArray data;
        quint32 bits = 0;
        int count = 0;
        const auto put = [&](quint32 code) {
            bits |= code << count;
            count += 3;
            while (count >= 8) {
                data.append(char(bits & 0xFF));
                bits >>= 8;
                count -= 8;
            }
        };
        for (size_t i = 0; i < frame.indices.size(); ++i) {
            if (i % 2 == 0)
                put(4);
            put(quint32(frame.indices[i]));
        }
        put(5);
        if (count > 0)
            data.append(char(bits & 0xFF));
        for (qsizetype at = 0; at < data.size(); at += 255) {
            const qsizetype n = std::min<qsizetype>(255, data.size() - at);
            gif.append(char(n));
            gif.append(data.mid(at, n));
        }
        gif.append(char(0));
    }
    gif.append(char(0x3B));
    return gif;
}

class ImageIoTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

// --- reading -------------------------------------------------------------

struct LosslessRow {
    const char* why;
    const char* format;
    const char* fileName;
};

class LosslessFormats : public ImageIoTest, public ::testing::WithParamInterface<LosslessRow> {};

TEST_P(LosslessFormats, EveryPixelArrivesExactlyAndOpaque)
{
    const QImage source = patternImage(13, 7);  // odd width: BMP rows are padded
    writeFile(path(GetParam().fileName), encoded(source, GetParam().format));

    const picture::LoadResult result = picture::loadPicture(path(GetParam().fileName));

    ASSERT_TRUE(result.ok()) << qPrintable(result.error);
    EXPECT_TRUE(result.error.isEmpty());
    EXPECT_EQ(result.image.format(), QImage::Format_RGB32);
    EXPECT_TRUE(sameRgb(result.image, source));
    EXPECT_EQ(result.image.pixel(0, 0) >> 24, 0xFFu);
}

INSTANTIATE_TEST_SUITE_P(
    Read, LosslessFormats,
    ::testing::Values(LosslessRow{"bmp", "bmp", "plain.bmp"}, LosslessRow{"png", "png", "plain.png"},
                      LosslessRow{"png_named_bmp_opens_by_content", "png", "misnamed.bmp"},
                      LosslessRow{"bmp_named_gif_opens_by_content", "bmp", "misnamed.gif"}),
    [](const ::testing::TestParamInfo<LosslessRow>& row) { return std::string(row.param.why); });

TEST_F(ImageIoTest, JpegNamedBmpOpensByContent)
{
    QImage source(40, 30, QImage::Format_RGB32);
    source.fill(qRgb(200, 40, 40));
    writeFile(path("photo.bmp"), encoded(source, "jpeg"));

    const picture::LoadResult result = picture::loadPicture(path("photo.bmp"));

    ASSERT_TRUE(result.ok()) << qPrintable(result.error);
    EXPECT_EQ(result.image.size(), QSize(40, 30));
    EXPECT_GT(qRed(result.image.pixel(20, 15)), 150);
}

TEST_F(ImageIoTest, JpegOrientationTagIsApplied)
{
    // Left half red, right half blue; the tag says "turn 90 degrees
    // clockwise to view", so the viewer sees red on top.
    QImage source(32, 16, QImage::Format_RGB32);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            source.setPixel(x, y, x < 16 ? qRgb(255, 0, 0) : qRgb(0, 0, 255));
    QImageWriter writer(path("turned.jpg"), "jpeg");
    writer.setQuality(95);
    writer.setTransformation(QImageIOHandler::TransformationRotate90);
    ASSERT_TRUE(writer.write(source));

    const picture::LoadResult result = picture::loadPicture(path("turned.jpg"));

    ASSERT_TRUE(result.ok()) << qPrintable(result.error);
    ASSERT_EQ(result.image.size(), QSize(16, 32));
    EXPECT_GT(qRed(result.image.pixel(8, 4)), 200);
    EXPECT_GT(qBlue(result.image.pixel(8, 28)), 200);
}

TEST_F(ImageIoTest, PalettePicturesBecomeTheirEntriesColours)
{
    const QList<QRgb> palette{qRgb(10, 20, 30), qRgb(200, 100, 50), qRgb(7, 8, 9), qRgb(255, 0, 255)};

    // A transparent entry keeps its own colour: it must not turn black,
    // white or the background, or a message hidden under it is lost.
    GifFrame first{4, 2, {0, 1, 2, 3, 2, 2, 1, 0}, 2};
    GifFrame second{4, 2, {3, 3, 3, 3, 3, 3, 3, 3}, -1};
    writeFile(path("animated.gif"), makeGif(4, 2, palette, {first, second}));
    const picture::LoadResult gif = picture::loadPicture(path("animated.gif"));
    ASSERT_TRUE(gif.ok()) << qPrintable(gif.error);
    ASSERT_EQ(gif.image.size(), QSize(4, 2));
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(gif.image.pixel(i % 4, i / 4), palette[first.indices[size_t(i)]] | 0xFF000000u)
            << "pixel " << i << " (first frame, opaque)";

    QImage indexed(3, 1, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(1, 2, 3), qRgb(250, 128, 4), qRgb(99, 0, 77)});
    for (int x = 0; x < 3; ++x)
        indexed.setPixel(x, 0, uint(2 - x));
    writeFile(path("palette.bmp"), encoded(indexed, "bmp"));
    const picture::LoadResult bmp = picture::loadPicture(path("palette.bmp"));
    ASSERT_TRUE(bmp.ok()) << qPrintable(bmp.error);
    EXPECT_EQ(bmp.image.pixel(0, 0), qRgb(99, 0, 77));
    EXPECT_EQ(bmp.image.pixel(2, 0), qRgb(1, 2, 3));
}

TEST_F(ImageIoTest, AlphaIsDroppedKeepingTheStoredColour)
{
    QImage source(2, 1, QImage::Format_ARGB32);
    source.setPixel(0, 0, qRgba(50, 60, 70, 0));
    source.setPixel(1, 0, qRgba(51, 61, 71, 128));
    writeFile(path("alpha.png"), encoded(source, "png"));

    const picture::LoadResult result = picture::loadPicture(path("alpha.png"));

    ASSERT_TRUE(result.ok()) << qPrintable(result.error);
    EXPECT_EQ(result.image.pixel(0, 0), qRgb(50, 60, 70));
    EXPECT_EQ(result.image.pixel(1, 0), qRgb(51, 61, 71));
}

TEST_F(ImageIoTest, PhotoAboveQtsDefaultLimitOpens)
{
    // 8000 x 6000 needs 183 MB as RGB32; Qt's own limit is 128 MB.
    {
        QImage big(8000, 6000, QImage::Format_RGB32);
        big.fill(qRgb(30, 60, 90));
        QImageWriter writer(path("big.jpg"), "jpeg");
        ASSERT_TRUE(writer.write(big));
    }
    const picture::LoadResult result = picture::loadPicture(path("big.jpg"));
    ASSERT_TRUE(result.ok()) << qPrintable(result.error);
    EXPECT_EQ(result.image.size(), QSize(8000, 6000));
}

// --- refusals: nothing half-read reaches the canvas ----------------------

TEST_F(ImageIoTest, DamagedAndForeignFilesAreRefusedWithAReason)
{
    const QByteArray bmp = encoded(patternImage(20, 10), "bmp");
    const QByteArray png = encoded(patternImage(20, 10), "png");
    QByteArray hugeGif = makeGif(4, 2, {qRgb(0, 0, 0)}, {GifFrame{4, 2, {0, 0, 0, 0, 0, 0, 0, 0}, -1}});
    hugeGif[6] = hugeGif[7] = hugeGif[8] = hugeGif[9] = char(0xFF);  // a 65535 x 65535 screen: 16 GB

    const struct {
        const char* why;
        QByteArray bytes;
    } rows[] = {
        {"empty file", QByteArray()},
        {"text with a picture's name", QByteArray("just some words, no picture\r\n")},
        {"bmp cut inside its pixels", bmp.left(bmp.size() / 2)},
        {"bmp missing its last byte", bmp.left(bmp.size() - 1)},
        {"bmp cut inside its header", bmp.left(20)},
        {"png cut inside its data", png.left(png.size() / 2)},
        {"header asks for more memory than allowed", hugeGif},
        {"format the program does not open", encoded(patternImage(4, 4), "xpm")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        writeFile(path("bad.bmp"), row.bytes);
        const picture::LoadResult result = picture::loadPicture(path("bad.bmp"));
        EXPECT_FALSE(result.ok());
        EXPECT_TRUE(result.image.isNull());
        EXPECT_FALSE(result.error.isEmpty());
    }

    const picture::LoadResult missing = picture::loadPicture(path("nowhere.bmp"));
    EXPECT_FALSE(missing.ok());
    EXPECT_FALSE(missing.error.isEmpty());
}

// --- writing -------------------------------------------------------------

TEST_F(ImageIoTest, SavedBmpIsUncompressed24BitWithExactPixels)
{
    const QImage source = patternImage(13, 7);

    ASSERT_EQ(picture::saveBmp(source, path("out.bmp")), QString());

    const QByteArray file = readFile(path("out.bmp"));
    ASSERT_GE(file.size(), 54);
    EXPECT_EQ(file.left(2), QByteArray("BM"));
    EXPECT_EQ(qFromLittleEndian<qint32>(file.constData() + 18), 13);
    EXPECT_EQ(qFromLittleEndian<qint32>(file.constData() + 22), 7);
    EXPECT_EQ(qFromLittleEndian<quint16>(file.constData() + 28), 24) << "bits per pixel";
    EXPECT_EQ(qFromLittleEndian<quint32>(file.constData() + 30), 0u) << "compression";
    const qint64 offset = qFromLittleEndian<quint32>(file.constData() + 10);
    EXPECT_EQ(file.size(), offset + 7 * 40) << "13 pixels of 3 bytes padded to 40 per row, no palette";

    const picture::LoadResult back = picture::loadPicture(path("out.bmp"));
    ASSERT_TRUE(back.ok()) << qPrintable(back.error);
    EXPECT_TRUE(sameRgb(back.image, source));
}

TEST_F(ImageIoTest, SaveConvertsOtherFormatsTo24Bit)
{
    QImage indexed(3, 2, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(9, 8, 7), qRgb(200, 150, 100)});
    indexed.fill(1);

    ASSERT_EQ(picture::saveBmp(indexed, path("indexed.bmp")), QString());

    const QByteArray file = readFile(path("indexed.bmp"));
    ASSERT_GE(file.size(), 54);
    EXPECT_EQ(qFromLittleEndian<quint16>(file.constData() + 28), 24);
    EXPECT_EQ(picture::loadPicture(path("indexed.bmp")).image.pixel(2, 1), qRgb(200, 150, 100));
}

TEST_F(ImageIoTest, SaveReplacesAnExistingFileWhole)
{
    writeFile(path("old.bmp"), QByteArray(100000, 'x'));  // longer than the new file

    ASSERT_EQ(picture::saveBmp(patternImage(5, 5), path("old.bmp")), QString());

    EXPECT_TRUE(sameRgb(picture::loadPicture(path("old.bmp")).image, patternImage(5, 5)));
    EXPECT_LT(QFileInfo(path("old.bmp")).size(), 1000);
}

TEST_F(ImageIoTest, FailedSaveLeavesNothingBehind)
{
    writeFile(path("plain-file"), "not a folder");
    const QString reason = picture::saveBmp(patternImage(4, 4), path("plain-file/out.bmp"));
    EXPECT_FALSE(reason.isEmpty());
    EXPECT_EQ(readFile(path("plain-file")), QByteArray("not a folder"));
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"plain-file"});
}

TEST_F(ImageIoTest, SaveIntoReadOnlyFolderKeepsTheOldFile)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root: permission bits do not stop writes";
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("locked"));
    const QString target = path("locked/picture.bmp");
    writeFile(target, "the user's old picture");
    ASSERT_TRUE(QFile::setPermissions(path("locked"), QFile::ReadOwner | QFile::ExeOwner));

    const QString reason = picture::saveBmp(patternImage(4, 4), target);

    QFile::setPermissions(path("locked"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_FALSE(reason.isEmpty());
    EXPECT_EQ(readFile(target), QByteArray("the user's old picture"));
    EXPECT_EQ(QDir(path("locked")).entryList(QDir::Files | QDir::Hidden), QStringList{"picture.bmp"});
}

}  // namespace
