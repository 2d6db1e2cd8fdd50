// Reading picture files into the working picture and writing it back as BMP;
// a forged size costs no memory.

#include "bmpfiles.h"
#include "hostilefiles.h"
#include "imagefile/imageio.h"
#include "support/failures.h"
#include "pictures.h"

#include <QTemporaryDir>

namespace {

using testsupport::reasonOf;
using namespace imagefiletest;

// A 2 x 1 GIF whose pixels are palette entries 2 and 1, entry 2 transparent
// and coloured (7, 8, 9), entry 1 (200, 100, 50).
const QByteArray kGif = QByteArray::fromHex("47494638396102000100810000000000c86432070809000000"
                                            "21f904010a0002002c0000000002000100000202540a003b");

class ImageIoTest : public ::testing::Test {
protected:
    QString write(const QString& name, const QByteArray& bytes) { return written(m_dir.filePath(name), bytes); }
    QTemporaryDir m_dir;
};

// The content decides, not the name; what cannot be read is refused with a reason.
TEST_F(ImageIoTest, ContentNotNameDecidesAndDamagedFilesAreRefused)
{
    const QImage source = patternImage(13, 7);  // odd width: BMP rows are padded
    const QByteArray png = encoded(source, "png"), bmp = encoded(source, "bmp");
    const struct { const char* name; QByteArray bytes; bool opens, exact; } rows[] = {
        {"png-named.bmp", png, true, true},
        {"bmp-named.gif", bmp, true, true},
        {"jpeg-named.bmp", encoded(source, "jpeg"), true, false},
        {"text-named.bmp", "just some words\r\n", false, false},
        {"png-cut-inside-its-data.png", png.left(png.size() / 2), false, false},
        {"xpm-a-format-the-program-does-not-open.bmp", encoded(patternImage(4, 4), "xpm"), false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const imagefile::LoadResult result = imagefile::loadPicture(write(row.name, row.bytes));
        ASSERT_EQ(result.ok(), row.opens) << qPrintable(reasonOf(result.failure));
        EXPECT_EQ(reasonOf(result.failure).isEmpty(), row.opens);
        EXPECT_TRUE(!row.opens || (result.image.format() == QImage::Format_RGB32 && result.image.size() == source.size()));
        EXPECT_TRUE(!row.exact || sameRgb(result.image, source));
    }
    EXPECT_FALSE(reasonOf(imagefile::loadPicture(m_dir.filePath("nowhere.bmp")).failure).isEmpty());
}

// The transparent entry keeps its own colour, not black, white or the background.
TEST_F(ImageIoTest, TransparentPicturesBecomeOpaqueStoredColours)
{
    const imagefile::LoadResult gif = imagefile::loadPicture(write("transparent.gif", kGif));
    ASSERT_EQ(gif.image.size(), QSize(2, 1)) << qPrintable(reasonOf(gif.failure));
    EXPECT_EQ(gif.image.pixel(0, 0), qRgb(7, 8, 9));
    EXPECT_EQ(gif.image.pixel(1, 0), qRgb(200, 100, 50));
}

TEST_F(ImageIoTest, SavedBmpIsTheUncompressed24BitFileQtsWriterMakesByteForByte)
{
    // Widths around the four-pixel groups the rows are packed in and the
    // four-byte row padding; a tall one spans more than one write block.
    const struct { const char* why; QImage image; } rows[] = {
        {"four pixels, no padding", patternImage(4, 3)},
        {"five pixels: one after a group", patternImage(5, 4)},
        {"seven pixels: three after a group", patternImage(7, 2)},
        {"rows over several write blocks", patternImage(301, 5000)},
        {"transparent pixels", patternImage(6, 2).convertToFormat(QImage::Format_ARGB32)},
    };
    const QString target = write("same.bmp", QByteArray(100000, 'x'));  // an older, longer file
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        QImage image = row.image;
        image.setDotsPerMeterX(3937);
        image.setDotsPerMeterY(2835);
        ASSERT_EQ(reasonOf(imagefile::saveBmp(image, target)), QString());
        EXPECT_TRUE(testsupport::contentsOf(target) == encoded(image.convertToFormat(QImage::Format_RGB32), "bmp"));
    }
}

// Resident memory in MB from /proc/self/status ("VmRSS:", "VmHWM:").
qint64 residentMB(const char* field)
{
    for (const QByteArray& line : testsupport::contentsOf(QStringLiteral("/proc/self/status")).split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').value(0).toLongLong() / 1024;
    return -1;
}

// Starts a new peak from the current resident size; false where the kernel does not allow it.
bool resetPeakMemory()
{
    QFile refs("/proc/self/clear_refs");
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

// The kernel's peak shows a forged size that got as far as allocating, even if freed.
TEST_F(ImageIoTest, ForgedSizesOpenOrAreRefusedByWhatThePictureHoldsAtABoundedMemoryCost)
{
    const bool measured = resetPeakMemory();
    // BMP headers that declare 60000 x 60000 pixels and bring almost none of
    // them; run-length coding makes a short file proof of nothing.
    QByteArray forged = bmpBytes(patternImage(4, 4)).left(54);
    put32(forged, 18, 60000);
    put32(forged, 22, 60000);
    // An invalid `opensAs`: refused; `tooLarge`: refused for its declared
    // size; `peakMB`: the most the load may add to the process's peak.
    const struct { const char* why; QByteArray bytes; QSize opensAs; bool tooLarge; qint64 peakMB; } rows[] = {
        {"bmp header claims 60000 x 60000", forged, {}, true, 16},
        {"run-length bmp claims 60000 x 60000", rleBmp(60000, 60000, 8, QByteArray("\0\1", 2), std::vector<QRgb>(256)), {}, true, 16},
        {"gif with a 65535 x 65535 screen around a 1 x 1 frame", gif(65535, 65535), {}, true, 16},
        {"gif cut inside its frame", gif().left(39), {}, false, 16},
        {"100000 x 1", encoded(patternImage(100000, 1), "bmp"), {100000, 1}, false, 16},
        // Texts under libpng's own cap of 8 MB a chunk: only the chunks skipped keep them out.
        {"png with 100 international text chunks of 4 MB each",
         uniformPng(8, 8, 8, 2, pngChunk("iTXt", QByteArray("Comment\0\1\0\0\0", 12) + qCompress(QByteArray(4 << 20, 'a'), 9).mid(4)).repeated(100)),
         {8, 8}, false, 16},
        // 137 MB of pixels: the conversion must not become a second copy.
        {"gif with a 6000 x 6000 screen", gif(6000, 6000), {6000, 6000}, false, 137 * 3 / 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const QString path = write("picture.bmp", row.bytes);
        ASSERT_EQ(resetPeakMemory(), measured);
        const qint64 before = residentMB("VmRSS:");
        const imagefile::LoadResult loaded = imagefile::loadPicture(path);
        EXPECT_TRUE(!measured || residentMB("VmHWM:") - before < row.peakMB);  // where the kernel lets a process reset its peak
        EXPECT_EQ(loaded.ok() ? loaded.image.size() : QSize(), row.opensAs) << qPrintable(reasonOf(loaded.failure));
        EXPECT_EQ(reasonOf(loaded.failure).contains("too large"), row.tooLarge) << qPrintable(reasonOf(loaded.failure));
        EXPECT_EQ(reasonOf(loaded.failure).isEmpty(), row.opensAs.isValid());
    }
}

}  // namespace
