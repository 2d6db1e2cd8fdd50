// Oddly shaped and oversized pictures in the window: an odd shape still
// carries a message, and a picture that fits only alone is refused beside the
// one already open.

#include "windowfixture.h"

#include "imagefile/hostilefiles.h"

#include <QTemporaryDir>

namespace {

using apptest::encoded;
using apptest::patternImage;

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

// The picture already open stays until the new one has opened, so the two
// are counted together: a JPEG that fits alone is refused beside a large
// picture, and the large one stays.
TEST_F(HostileTest, AJpegThatWouldPassTheBudgetOnlyAloneIsRefusedBesideTheOpenPicture)
{
    QImage large(16384, 8192, QImage::Format_RGB32);  // 512 MB
    large.fill(0xFF203040u);
    window->canvas()->setImage(std::move(large));
    // Alone: 748 MB of picture and 1122 MB of coefficients, within the 2048 MB.
    const QByteArray jpeg = imagefiletest::withFrame(imagefiletest::progressiveJpeg(patternImage(64, 48)), 14000, 14000, 3);
    open(write("large.jpg", jpeg));
    EXPECT_TRUE(platform.lastBox().text.contains("The JPEG picture would need 1870 MB to decode, more than the 1536 MB "
                                                 "allowed beside the picture already open"))
        << qPrintable(platform.lastBox().text);
    EXPECT_EQ(window->canvas()->image().size(), QSize(16384, 8192));
}

}  // namespace
