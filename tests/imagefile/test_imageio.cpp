// Reading picture files into the working picture and writing it back as BMP.

#include "imagefile/imageio.h"
#include "pictures.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

using imagefiletest::encoded;
using imagefiletest::patternImage;
using imagefiletest::sameRgb;

// A 2 x 1 GIF whose pixels are palette entries 2 and 1, entry 2 transparent
// and coloured (7, 8, 9), entry 1 (200, 100, 50).
const QByteArray kGif = QByteArray::fromHex("47494638396102000100810000000000c86432070809000000"
                                            "21f904010a0002002c0000000002000100000202540a003b");

class ImageIoTest : public ::testing::Test {
protected:
    QString write(const QString& name, const QByteArray& bytes) { return imagefiletest::written(m_dir.filePath(name), bytes); }
    QTemporaryDir m_dir;
};

// The content decides, not the name; what cannot be read is refused with a
// reason (forged sizes are the BMP reader's and the hostile pictures' cases).
TEST_F(ImageIoTest, ContentNotNameDecidesAndDamagedFilesAreRefused)
{
    const QImage source = patternImage(13, 7);  // odd width: BMP rows are padded
    const QByteArray png = encoded(source, "png"), bmp = encoded(source, "bmp");
    enum Expect { Exact, Opens, Refused };
    const struct { const char* name; QByteArray bytes; Expect expect; } rows[] = {
        {"png-named.bmp", png, Exact},
        {"bmp-named.gif", bmp, Exact},
        {"jpeg-named.bmp", encoded(source, "jpeg"), Opens},
        {"text-named.bmp", "just some words\r\n", Refused},
        {"png-cut-inside-its-data.png", png.left(png.size() / 2), Refused},
        {"xpm-a-format-the-program-does-not-open.bmp", encoded(patternImage(4, 4), "xpm"), Refused},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const imagefile::LoadResult result = imagefile::loadPicture(write(row.name, row.bytes));
        ASSERT_EQ(result.ok(), row.expect != Refused) << qPrintable(result.error);
        EXPECT_EQ(result.error.isEmpty(), row.expect != Refused);
        if (row.expect == Refused)
            continue;
        EXPECT_EQ(result.image.format(), QImage::Format_RGB32);
        EXPECT_EQ(result.image.size(), source.size());
        EXPECT_TRUE(row.expect == Opens || sameRgb(result.image, source));
    }
    EXPECT_FALSE(imagefile::loadPicture(m_dir.filePath("nowhere.bmp")).error.isEmpty());
}

// The transparent entry keeps its own colour, not black, white or the background.
TEST_F(ImageIoTest, TransparentPicturesBecomeOpaqueStoredColours)
{
    const imagefile::LoadResult gif = imagefile::loadPicture(write("transparent.gif", kGif));
    ASSERT_EQ(gif.image.size(), QSize(2, 1)) << qPrintable(gif.error);
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
        ASSERT_EQ(imagefile::saveBmp(image, target), QString());
        QFile file(target);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly) && file.readAll() == encoded(image.convertToFormat(QImage::Format_RGB32), "bmp"));
    }
}

}  // namespace
