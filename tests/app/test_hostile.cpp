// Damaged, forged and oddly shaped pictures opened through the window: each
// one opens, or is refused while the picture, the text and the flags stay as
// they were; and a forged size costs no memory.  Plainly damaged files are
// the picture reader's own tests.

#include "windowfixture.h"

#include "picture/imageio.h"
#include "picture/pictureview.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtEndian>

#include <optional>

namespace {

using apptest::patternImage;

QByteArray encoded(const QImage& image, const char* format)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format)) << format;
    return buffer.data();
}

// A 1 x 1 GIF89a with a two-entry palette; `screen` replaces the logical
// screen the file declares around its single frame.
QByteArray tinyGif(std::optional<QSize> screen = std::nullopt)
{
    static const unsigned char bytes[] = {
        'G',  'I',  'F',  '8',  '9',  'a',  0x01, 0x00, 0x01, 0x00, 0x80, 0x00, 0x00, 0xFF, 0xFF,
        0xFF, 0x00, 0x00, 0x00, 0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, 0x00, 0x00, 0x2C, 0x00, 0x00,
        0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3B};
    QByteArray gif(reinterpret_cast<const char*>(bytes), sizeof bytes);
    if (screen) {
        qToLittleEndian<quint16>(quint16(screen->width()), gif.data() + 6);
        qToLittleEndian<quint16>(quint16(screen->height()), gif.data() + 8);
    }
    return gif;
}

// The 54-byte header of a BMP that declares 60000 x 60000 pixels and brings
// almost none of them.  Run-length coding makes a short file proof of nothing.
QByteArray forgedBmp(bool runLength)
{
    QByteArray bmp = encoded(patternImage(4, 4), "bmp").left(54);
    qToLittleEndian<qint32>(60000, bmp.data() + 18);
    qToLittleEndian<qint32>(60000, bmp.data() + 22);
    if (runLength) {
        qToLittleEndian<quint16>(8, bmp.data() + 28);
        qToLittleEndian<quint32>(1, bmp.data() + 30);
        bmp.append(QByteArray(1024, '\0')).append("\0\1", 2);  // palette, then the end-of-picture code
    }
    return bmp;
}

// Resident memory in MB from /proc/self/status ("VmRSS:", "VmHWM:").
qint64 residentMB(const char* field)
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
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

class HostileTest : public apptest::WindowTest {
protected:
    QString write(const QString& name, const QByteArray& bytes) { return apptest::writeFile(m_dir.filePath(name), bytes); }

    void open(const QString& path)
    {
        platform.answers.push_back(platform::Answer::Yes);
        platform.dialogAnswers.push_back(path);
        window->Command4_Click();
    }

    QTemporaryDir m_dir;
};

TEST_F(HostileTest, EachPictureOpensOrIsRefusedLeavingEverythingAsItWas)
{
    const QByteArray jpeg = encoded(patternImage(64, 48), "jpeg");
    const struct {
        const char* why;
        const char* name;
        QByteArray bytes;
        QSize opensAs;  // invalid: refused
        bool tooLarge;  // refused for its declared size
    } rows[] = {
        {"bmp header claims 60000 x 60000", "huge.bmp", forgedBmp(false), {}, true},
        {"run-length bmp claims 60000 x 60000", "huge-rle.bmp", forgedBmp(true), {}, true},
        {"gif with a 65535 x 65535 screen around a 1 x 1 frame", "screen.gif", tinyGif(QSize(65535, 65535)), {}, true},
        {"gif cut inside its frame", "cut.gif", tinyGif().left(39), {}, false},
        {"jpeg cut inside its scan opens with the decoder's grey for the rest", "cut.jpg", jpeg.left(jpeg.size() / 2),
         {64, 48}, false},
        {"1 x 100000", "tall.bmp", encoded(patternImage(1, 100000), "bmp"), {1, 100000}, false},
        {"100000 x 1", "wide.bmp", encoded(patternImage(100000, 1), "bmp"), {100000, 1}, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const QString path = write(row.name, row.bytes);
        usePicture(64, 64);
        hideUnsaved();
        const QImage before = picture();
        const QString pathBefore = window->loadedImagePath();
        const bool previewBefore = window->pictureView().isPreviewShown();

        open(path);

        if (row.opensAs.isValid()) {
            EXPECT_EQ(platform.boxes.size(), 1) << "only the question";
            EXPECT_EQ(window->canvas()->image().size(), row.opensAs);
            EXPECT_EQ(window->imageChanged(), 0);
            EXPECT_EQ(window->loadedImagePath(), path);
            EXPECT_EQ(window->pictureView().isPreviewShown(), row.opensAs.width() > 337 || row.opensAs.height() > 281);
            continue;
        }
        ASSERT_EQ(platform.boxes.size(), 2);
        EXPECT_TRUE(apptest::isFailureBox(platform.boxes[1], "The picture could not be opened:", path));
        EXPECT_EQ(platform.boxes[1].text.contains("too large"), row.tooLarge) << qPrintable(platform.boxes[1].text);
        EXPECT_EQ(picture(), before);
        EXPECT_EQ(text(), "unsaved message");
        EXPECT_EQ(window->imageChanged(), 1);
        EXPECT_EQ(window->loadedImagePath(), pathBefore);
        EXPECT_EQ(window->pictureView().isPreviewShown(), previewBefore);
    }
}

TEST_F(HostileTest, OddShapeCarriesAMessageThroughSaveAndReopen)
{
    open(write("tall.bmp", encoded(patternImage(1, 100000), "bmp")));
    // 100000 pixels hold 33333 characters, markers included.
    const QString message = QString("line of the message\r\n").repeated(1500);
    hideUnsaved(message);
    const QString saved = m_dir.filePath("saved.bmp");
    platform.dialogAnswers.push_back(saved);
    window->Command5_Click();
    ASSERT_EQ(window->imageChanged(), 0);

    setText("");
    open(saved);
    EXPECT_EQ(text(), message);
    EXPECT_EQ(window->canvas()->image().size(), QSize(1, 100000));
}

// Peak memory is measured by the kernel for the whole process, so a forged
// size that got as far as allocating shows, even if the allocation is freed.
TEST_F(HostileTest, ForgedSizesCostNoMemoryAndALargeScreenIsHeldOnce)
{
    if (!resetPeakMemory())
        GTEST_SKIP() << "this kernel does not let a process reset its peak memory (/proc/self/clear_refs)";
    for (const QByteArray& forged : {forgedBmp(true), tinyGif(QSize(65535, 65535))}) {
        const QString path = write("forged", forged);
        ASSERT_TRUE(resetPeakMemory());
        const qint64 before = residentMB("VmRSS:");
        EXPECT_FALSE(picture::loadPicture(path).ok());
        EXPECT_LT(residentMB("VmHWM:") - before, 16);
    }

    // 6000 x 6000 is 137 MB of pixels, well under the ceiling; the reader
    // must not keep a share that turns the conversion into a second copy.
    const QString path = write("screen.gif", tinyGif(QSize(6000, 6000)));
    ASSERT_TRUE(resetPeakMemory());
    const qint64 before = residentMB("VmRSS:");
    const picture::LoadResult loaded = picture::loadPicture(path);
    ASSERT_EQ(loaded.image.size(), QSize(6000, 6000)) << qPrintable(loaded.error);
    EXPECT_LT(residentMB("VmHWM:") - before, 137 * 3 / 2) << "MB at the peak";
}

}  // namespace
