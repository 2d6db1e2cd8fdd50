// Pictures made to hurt the reader: decoder bombs refused from their headers
// within a memory cap, damaged files refused with their reason, and the
// files a shell hands over through a pipe.

#include "bmpfiles.h"
#include "childlimits.h"
#include "hostilefiles.h"
#include "imagefile/decoders.h"
#include "support/failures.h"
#include "imagefile/imageio.h"
#include "imagefile/librarymessages.h"

#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <thread>

namespace {

using testsupport::reasonOf;
using namespace imagefiletest;
using imagefile::decodePicture;

TEST(HostilePictures, JpegBombsAreRefusedWithinAMemoryCapWithAndWithoutTheMarkerPrecheck)
{
    const QByteArray small = progressiveJpeg(noisyImage(64, 48, 1));
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
            const auto decode = [&] {
                ReadBuffer buffer(road.bytes);
                return reasonOf(imagefile::decodeJpeg(buffer, 0, road.quickLook).failure);
            };
            EXPECT_TRUE(passesWithin(200, [&] { return decode() == row.sentence; }, 5)) << "reader says: " << qPrintable(decode());
        }
    }
    // An ordinary progressive photo of the same kind still opens, behind stuffed zeros too.
    EXPECT_TRUE(decodePicture(small).ok());
    EXPECT_TRUE(sameRgb(decodePicture(behindStuffedZeros(small)).image, decodePicture(small).image));
}

// Small pictures with huge metadata open, as the picture they are, within a
// second's processor time and 100 MB besides their bytes.  A PNG's texts are
// in the forged-size table, whose peak shows them even where the decoder
// would survive a cap.
TEST(HostilePictures, SmallPicturesOpenInBoundedTimeAndMemoryWhateverMetadataTheyCarry)
{
    const QByteArray jpeg = encoded(noisyImage(64, 48, 2), "jpeg");
    const QByteArray app1 = QByteArray::fromHex("FFE1FFFF") + QByteArray(65533, 'a');
    const struct { const char* why; QByteArray bytes; QSize size; } rows[] = {
        {"JPEG padded with 20 MB of APP1 segments", QByteArray(jpeg).insert(2, app1.repeated(320)), {64, 48}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_TRUE(passesWithin(100 + (row.bytes.size() >> 20), [&] { return decodePicture(row.bytes).image.size() == row.size; }, 1))
            << qPrintable(reasonOf(decodePicture(row.bytes).failure));
    }
    // The frame's data is cut where its pixels cannot need more; the pixels stay.
    const QImage frame = decodePicture(gifWithLzwTail(700000)).image;
    EXPECT_TRUE(frame.size() == QSize(8, 8) && frame.pixel(7, 7) == qRgb(200, 100, 50));
}

// A valid picture the reader cannot hold says which limit it meets, and one
// within every limit opens; running out of memory is an answer, not an abort.
TEST(HostilePictures, EachRefusalNamesItsRealReason)
{
    QByteArray wideBmp = bmpBytes(patternImage(4, 1)).left(54);  // the headers are all that is judged
    put32(wideBmp, 18, 268435456);
    const struct { const char* why; QByteArray bytes; QString sentence; } refusals[] = {
        {"a BMP row wider than a picture row can be", wideBmp,
         "The picture is too wide: 268435456 pixels a row, more than the 67108863 a row can hold"},
        {"a GIF screen at the ceiling, one pixel past Qt's GIF reader", gif(16384, 16384),
         "The GIF picture is too large: 16384 x 16384 pixels, more than the 268435455 the GIF reader holds"},
        {"a PNG whose pixel data has a wrong checksum", withBadIdatCrc(encoded(noisyImage(20, 10, 3), "png")),
         "The PNG file is damaged: the checksum of its IDAT chunk is wrong"},
    };
    QTemporaryDir dir;
    for (const auto& row : refusals)
        EXPECT_EQ(reasonOf(imagefile::loadPicture(written(dir.filePath(QStringLiteral("picture")), row.bytes)).failure), row.sentence)
            << row.why;
    const imagefile::LoadResult wide = decodePicture(uniformPng(1000001, 2, 8, 0));  // past libpng's own million-pixel default
    EXPECT_EQ(wide.image.size(), QSize(1000001, 2)) << qPrintable(reasonOf(wide.failure));

    // A palette BMP is read whole, and its 64 MB are more than the process may take.
    QByteArray palette = encoded(patternImage(4, 4).convertToFormat(QImage::Format_Indexed8), "bmp");
    put32(palette, 18, 8000);
    put32(palette, 22, 8000);
    const QString big = written(dir.filePath(QStringLiteral("big.bmp")), palette + QByteArray(64 << 20, '\0'));
#ifndef __SANITIZE_ADDRESS__  // whose allocator stops the process instead of throwing
    EXPECT_TRUE(passesWithin(
        16, [&] { return reasonOf(imagefile::loadPicture(big).failure) == "There is not enough memory to hold the picture"; }));
#endif
}

TEST(HostilePictures, SixteenBitPngAtHalfTheCeilingOpens)
{
    // 11600 x 11600 is 134.6 megapixels, narrowed to 8 bits a channel row by row.
    const long available = sysconf(_SC_AVPHYS_PAGES) * sysconf(_SC_PAGESIZE);
    if (available < (long(5) << 30))
        GTEST_SKIP() << "needs 5 GB of free memory, the machine has " << (available >> 20) << " MB";
    const imagefile::LoadResult loaded = decodePicture(uniformPng(11600, 11600, 16, 2));  // 16-bit RGB
    ASSERT_TRUE(loaded.ok()) << qPrintable(reasonOf(loaded.failure));
    EXPECT_EQ(loaded.image.size(), QSize(11600, 11600));
    EXPECT_EQ(loaded.image.pixel(11599, 11599), qRgb(0x80, 0x80, 0x80));
}

TEST(HostilePictures, PipesAreReadOnlyWhenAskedFor)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("picture.bmp"));
    ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    const QImage source = noisyImage(33, 21, 6);
    const QByteArray bytes = bmpBytes(source);

    // Nobody writes: the window's road must refuse at once, not wait.
    const imagefile::LoadResult refused = imagefile::loadPicture(fifo);
    EXPECT_TRUE(!refused.ok() && !reasonOf(refused.failure).isEmpty());

    std::thread writer([&] {
        std::ofstream out(fifo.toStdString(), std::ios::binary);
        out.write(bytes.constData(), bytes.size());
    });
    const imagefile::LoadResult piped = imagefile::loadPicture(fifo, imagefile::FileKinds::AnyReadable);
    writer.join();
    ASSERT_TRUE(piped.ok()) << qPrintable(reasonOf(piped.failure));
    EXPECT_TRUE(sameRgb(piped.image, source));
}

TEST(HostilePictures, LibraryChatterStaysOutOfTheTerminal)
{
    // A truncated PNG and a truncated JPEG make libpng and libjpeg talk; the
    // child's standard error goes to a file that must stay empty.
    const QImage source = noisyImage(40, 30, 9);
    const QByteArray png = encoded(source, "png"), jpeg = encoded(source, "jpeg");
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("stderr"));
    EXPECT_TRUE(passesWithin(500, [&] {
        const int fd = ::open(log.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, STDERR_FILENO);
        imagefile::quietLibraryMessages();
        imagefile::decodePicture(png.left(png.size() / 2));
        imagefile::decodePicture(jpeg.left(jpeg.size() / 2));
        imagefile::decodePicture(QByteArray("\x89PNG\r\n\x1A\n", 8) + QByteArray(60, '\xFF'));
        return true;
    }));
    EXPECT_EQ(testsupport::contentsOf(log), QByteArray());
}

}  // namespace
