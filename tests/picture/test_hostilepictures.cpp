// Pictures made to hurt the reader: decoder bombs refused from their headers
// within a memory cap, damaged files refused with their reason, and the
// files a shell hands over through a pipe.

#include "bmpfiles.h"
#include "picture/imageio.h"
#include "picture/librarymessages.h"
#include "pictures.h"

#include <QBuffer>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QtEndian>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <zlib.h>

#include <fstream>
#include <functional>
#include <thread>

namespace {

using picturetest::sameRgb;

// Runs `body` in a child process whose address space may grow only
// `extraMB` past what it starts with; true when `body` returned true there.
// A decoder that tries to allocate past the cap fails instead of taking the
// machine's memory, so the body's check of the outcome fails too.
bool passesWithin(long extraMB, const std::function<bool()>& body)
{
    const pid_t child = fork();
    if (child == 0) {
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlim_t cap = static_cast<rlim_t>(pages * sysconf(_SC_PAGESIZE) + (extraMB << 20));
        const rlimit limit{cap, cap};
        setrlimit(RLIMIT_AS, &limit);
        _exit(body() ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

QByteArray progressiveJpeg(const QImage& image)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    EXPECT_TRUE(writer.write(image));
    return buffer.data();
}

// The frame header swapped for one of `width` x `height` with `components`
// components sampled 1 x 1 (4:4:4, or CMYK with four).
QByteArray withFrame(QByteArray jpeg, int width, int height, int components, int precision = 8)
{
    const qsizetype sof = jpeg.indexOf("\xFF\xC2");
    EXPECT_GE(sof, 0);
    const int length = (uchar(jpeg[sof + 2]) << 8) | uchar(jpeg[sof + 3]);
    const auto be16 = [](int v) { return QByteArray(1, char(v >> 8)) + char(v & 0xFF); };
    QByteArray frame = QByteArray("\xFF\xC2", 2) + be16(8 + 3 * components) + char(precision) + be16(height) + be16(width)
                       + char(components);
    for (int c = 1; c <= components; ++c)
        frame += QByteArray(1, char(c)) + char(0x11) + char(c == 1 ? 0 : 1);
    return jpeg.replace(sof, 2 + length, frame);
}

// The last scan repeated until the file holds `scans` more.
QByteArray withRepeatedScans(QByteArray jpeg, int scans)
{
    const qsizetype lastScan = jpeg.lastIndexOf("\xFF\xDA");
    const qsizetype end = jpeg.lastIndexOf("\xFF\xD9");
    const QByteArray scan = jpeg.mid(lastScan, end - lastScan);
    return jpeg.insert(end, scan.repeated(scans));
}

TEST(HostilePictures, JpegBombsAreRefusedFromTheirMarkersWithinAMemoryCap)
{
    const QByteArray small = progressiveJpeg(picturetest::noisyImage(64, 48, 1));
    const struct { const char* why; QByteArray bytes; QString sentence; } rows[] = {
        {"3000 scans over a 16384 x 16384 frame", withRepeatedScans(withFrame(small, 16384, 16384, 3), 3000),
         "The JPEG picture has more than 100 scans, far more than any camera or editor writes, so it is refused as damaged"},
        {"progressive CMYK declaring 16384 x 16384", withFrame(small, 16384, 16384, 4),
         "The JPEG picture would need 3072 MB to decode, more than the 2048 MB allowed"},
        {"progressive 4:4:4 declaring 16384 x 16384", withFrame(small, 16384, 16384, 3),
         "The JPEG picture would need 2560 MB to decode, more than the 2048 MB allowed"},
        {"12 bits per sample", withFrame(small, 64, 48, 3, 12),
         "The JPEG picture has 12 bits per sample; only 8-bit JPEG pictures can be read"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_TRUE(passesWithin(200, [&] { return picture::decodePicture(row.bytes).error == row.sentence; }))
            << "expected: " << qPrintable(row.sentence) << "\nreader says: " << qPrintable(picture::decodePicture(row.bytes).error);
    }
    // An ordinary progressive photo of the same kind still opens.
    const picture::LoadResult ordinary = picture::decodePicture(small);
    EXPECT_TRUE(ordinary.ok()) << qPrintable(ordinary.error);
}

TEST(HostilePictures, PngDamageAndDepth)
{
    const QImage source = picturetest::noisyImage(20, 10, 3);
    QByteArray png = picturetest::encoded(source, "png");
    const qsizetype idat = png.indexOf("IDAT");
    const int length = (uchar(png[idat - 4]) << 24) | (uchar(png[idat - 3]) << 16) | (uchar(png[idat - 2]) << 8) | uchar(png[idat - 1]);
    png[idat + 4 + length] = static_cast<char>(png[idat + 4 + length] ^ 1);
    EXPECT_EQ(picture::decodePicture(png).error, QStringLiteral("The PNG file is damaged: the checksum of its IDAT chunk is wrong"));

    // 16 bits a channel, narrowed to the working 8.
    const picture::LoadResult deep = picture::decodePicture(picturetest::encoded(source.convertToFormat(QImage::Format_RGBX64), "png"));
    ASSERT_TRUE(deep.ok()) << qPrintable(deep.error);
    EXPECT_TRUE(sameRgb(deep.image, source));
}

// A 16-bit RGB PNG of width x height, every pixel the same grey, made
// directly (Qt would hold the whole 16-bit picture to write it).
QByteArray uniformDeepPng(int width, int height)
{
    auto chunk = [](const char* type, const QByteArray& data) {
        QByteArray c(4, '\0');
        qToBigEndian<quint32>(static_cast<quint32>(data.size()), c.data());
        const QByteArray body = QByteArray(type) + data;
        QByteArray crc(4, '\0');
        qToBigEndian<quint32>(static_cast<quint32>(::crc32(0, reinterpret_cast<const Bytef*>(body.constData()), static_cast<uInt>(body.size()))), crc.data());
        return c + body + crc;
    };
    QByteArray header(13, '\0');
    qToBigEndian<quint32>(static_cast<quint32>(width), header.data());
    qToBigEndian<quint32>(static_cast<quint32>(height), header.data() + 4);
    header[8] = 16;  // bits a channel
    header[9] = 2;   // RGB
    const qsizetype rowBytes = 1 + qsizetype(width) * 6;
    QByteArray raw(rowBytes * height, '\x80');
    for (qsizetype y = 0; y < height; ++y)
        raw[y * rowBytes] = 0;  // no filter
    QByteArray deflated = qCompress(raw, 1).mid(4);  // qCompress puts the length first
    raw.clear();
    return QByteArray("\x89PNG\r\n\x1A\n", 8) + chunk("IHDR", header) + chunk("IDAT", deflated) + chunk("IEND", {});
}

TEST(HostilePictures, SixteenBitPngAtHalfTheCeilingOpens)
{
    // 11600 x 11600 is 134.6 megapixels; Qt holds it at 8 bytes a pixel first.
    const long available = sysconf(_SC_AVPHYS_PAGES) * sysconf(_SC_PAGESIZE);
    if (available < (long(5) << 30))
        GTEST_SKIP() << "needs 5 GB of free memory, the machine has " << (available >> 20) << " MB";
    const picture::LoadResult loaded = picture::decodePicture(uniformDeepPng(11600, 11600));
    ASSERT_TRUE(loaded.ok()) << qPrintable(loaded.error);
    EXPECT_EQ(loaded.image.size(), QSize(11600, 11600));
    EXPECT_EQ(loaded.image.pixel(11599, 11599), qRgb(0x80, 0x80, 0x80));
}

TEST(HostilePictures, PipesAreReadOnlyWhenAskedFor)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("picture.bmp"));
    ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    const QImage source = picturetest::noisyImage(33, 21, 6);
    const QByteArray bytes = picturetest::bmpBytes(source);

    // Nobody writes: the window's road must refuse at once, not wait.
    const picture::LoadResult refused = picture::loadPicture(fifo);
    EXPECT_FALSE(refused.ok());
    EXPECT_FALSE(refused.error.isEmpty());

    std::thread writer([&] {
        std::ofstream out(fifo.toStdString(), std::ios::binary);
        out.write(bytes.constData(), bytes.size());
    });
    const picture::LoadResult piped = picture::loadPicture(fifo, picture::FileKinds::AnyReadable);
    writer.join();
    ASSERT_TRUE(piped.ok()) << qPrintable(piped.error);
    EXPECT_TRUE(sameRgb(piped.image, source));
}

TEST(HostilePictures, LibraryChatterStaysOutOfTheTerminal)
{
    // A truncated PNG and a truncated JPEG make libpng and libjpeg talk; the
    // child's standard error goes to a file that must stay empty.
    const QImage source = picturetest::noisyImage(40, 30, 9);
    const QByteArray png = picturetest::encoded(source, "png");
    const QByteArray jpeg = picturetest::encoded(source, "jpeg");
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("stderr"));
    EXPECT_TRUE(passesWithin(500, [&] {
        const int fd = ::open(log.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, STDERR_FILENO);
        picture::quietLibraryMessages();
        picture::decodePicture(png.left(png.size() / 2));
        picture::decodePicture(jpeg.left(jpeg.size() / 2));
        picture::decodePicture(QByteArray("\x89PNG\r\n\x1A\n", 8) + QByteArray(60, '\xFF'));
        return true;
    }));
    QFile written(log);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), QByteArray());
}

}  // namespace
