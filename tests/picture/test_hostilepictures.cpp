// Pictures made to hurt the reader: decoder bombs refused from their headers
// within a memory cap, damaged files refused with their reason, and the
// files a shell hands over through a pipe.

#include "bmpfiles.h"
#include "childlimits.h"
#include "picture/decoders.h"
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

using picturetest::passesWithin;
using picturetest::sameRgb;

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

// Stuffed zeros right after the start, then a comment holding an end
// marker: a reader that takes FF 00 for a marker with a length lands on
// that false end and never sees the frame; libjpeg skips the stray bytes.
QByteArray behindStuffedZeros(const QByteArray& jpeg)
{
    return QByteArray(jpeg).insert(2, QByteArray::fromHex("FF000008" "FFFE0006" "0000FFD9"));
}

TEST(HostilePictures, JpegBombsAreRefusedWithinAMemoryCapWithAndWithoutTheMarkerPrecheck)
{
    const QByteArray small = progressiveJpeg(picturetest::noisyImage(64, 48, 1));
    const struct { const char* why; QByteArray bytes; QString sentence; } rows[] = {
        {"3000 scans over a 2048 x 2048 frame", withRepeatedScans(withFrame(small, 2048, 2048, 3), 3000),
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
        const struct { const char* road; QByteArray bytes; bool quickLook; } roads[] = {
            {"as it is", row.bytes, true},
            {"behind stuffed zeros", behindStuffedZeros(row.bytes), true},
            {"libjpeg alone", row.bytes, false},
        };
        for (const auto& road : roads) {
            SCOPED_TRACE(road.road);
            const auto decode = [&] { return picture::decodeJpeg(road.bytes, road.quickLook).error; };
            EXPECT_TRUE(passesWithin(200, [&] { return decode() == row.sentence; }, 5)) << "reader says: " << qPrintable(decode());
        }
    }
    // An ordinary progressive photo of the same kind still opens, behind stuffed zeros too.
    EXPECT_TRUE(picture::decodePicture(small).ok());
    EXPECT_TRUE(sameRgb(picture::decodePicture(behindStuffedZeros(small)).image, picture::decodePicture(small).image));
}

QByteArray pngChunk(const char* type, const QByteArray& data)
{
    QByteArray c(4, '\0');
    qToBigEndian<quint32>(static_cast<quint32>(data.size()), c.data());
    const QByteArray body = QByteArray(type) + data;
    QByteArray crc(4, '\0');
    qToBigEndian<quint32>(static_cast<quint32>(::crc32(0, reinterpret_cast<const Bytef*>(body.constData()), static_cast<uInt>(body.size()))), crc.data());
    return c + body + crc;
}

// A zlib stream of `head` followed by `zeroMB` megabytes of zeros, made in
// moments: once the window holds zeros, one flushed block of a megabyte of
// zeros decodes the same wherever it is repeated.
QByteArray zlibWithZeros(const QByteArray& head, int zeroMB)
{
    z_stream z{};
    deflateInit(&z, 9);
    const QByteArray zeros(1 << 20, '\0');
    const auto pass = [&](const QByteArray& in, int flush) {
        QByteArray out(int(deflateBound(&z, uLong(in.size()))) + 64, '\0');
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
        z.avail_in = uInt(in.size());
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = uInt(out.size());
        deflate(&z, flush);
        return out.left(out.size() - qsizetype(z.avail_out));
    };
    QByteArray stream = pass(head + zeros, Z_SYNC_FLUSH);
    const QByteArray repeated = pass(zeros, Z_SYNC_FLUSH);
    stream += repeated.repeated(zeroMB - 1) + pass({}, Z_FINISH);
    deflateEnd(&z);
    return stream;
}

// An 8 x 8 RGB PNG with `beforeData` among its chunks and `zeroMB`
// megabytes of zeros compressed after its rows.
QByteArray smallPng(const QByteArray& beforeData = {}, int zeroMB = 0)
{
    QByteArray header(13, '\0');
    qToBigEndian<quint32>(8, header.data());
    qToBigEndian<quint32>(8, header.data() + 4);
    header[8] = 8;  // bits a channel
    header[9] = 2;  // RGB
    QByteArray rows;
    for (int y = 0; y < 8; ++y)
        rows += QByteArray(1, '\0') + QByteArray(24, char(30 * y));
    const QByteArray data = zeroMB > 0 ? zlibWithZeros(rows, zeroMB) : qCompress(rows).mid(4);
    return QByteArray("\x89PNG\r\n\x1A\n", 8) + pngChunk("IHDR", header) + beforeData + pngChunk("IDAT", data) + pngChunk("IEND", {});
}

// An 8 x 8 GIF frame coded with a clear code before every pixel (the
// loosest coding an encoder may use), then `extraCodes` more codes.
QByteArray gifWithLzwTail(int extraCodes)
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

// Small pictures with huge metadata or excess data open, as the picture
// they are, within a second's processor time and 100 MB besides their bytes.
TEST(HostilePictures, SmallPicturesOpenInBoundedTimeAndMemoryWhateverTheyCarry)
{
    QByteArray textChunks;
    for (int i = 0; i < 100; ++i) {  // each inflates to 16 MB
        textChunks += pngChunk("zTXt", QByteArray("Comment\0\0", 9) + zlibWithZeros({}, 16));
        textChunks += pngChunk("iTXt", QByteArray("Comment\0\1\0\0\0", 13) + zlibWithZeros({}, 16));
    }
    const QByteArray jpeg = picturetest::encoded(picturetest::noisyImage(64, 48, 2), "jpeg");
    const QByteArray comment = QByteArray::fromHex("FFFEFFFF") + QByteArray(65533, 'c');
    const QByteArray app1 = QByteArray::fromHex("FFE1FFFF") + QByteArray(65533, 'a');
    const struct { const char* why; QByteArray bytes; QSize size; } rows[] = {
        {"PNG with 200 text chunks of 16 MB each", smallPng(textChunks), {8, 8}},
        {"PNG whose data inflates 2 GB past its rows", smallPng({}, 2048), {8, 8}},
        {"GIF frame followed by 700,000 codes", gifWithLzwTail(700000), {8, 8}},
        {"JPEG padded with 20 MB of comments", QByteArray(jpeg).insert(2, comment.repeated(320)), {64, 48}},
        {"JPEG padded with 20 MB of APP1 segments", QByteArray(jpeg).insert(2, app1.repeated(320)), {64, 48}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_TRUE(passesWithin(100 + (row.bytes.size() >> 20), [&] { return picture::decodePicture(row.bytes).image.size() == row.size; }, 1))
            << qPrintable(picture::decodePicture(row.bytes).error);
    }
    EXPECT_EQ(picture::decodePicture(gifWithLzwTail(700000)).image.pixel(7, 7), qRgb(200, 100, 50));
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
    return QByteArray("\x89PNG\r\n\x1A\n", 8) + pngChunk("IHDR", header) + pngChunk("IDAT", deflated) + pngChunk("IEND", {});
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
