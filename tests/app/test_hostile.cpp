// A picture that fits only alone is refused beside the one already open.

#include "windowfixture.h"

#include "imagefile/hostilefiles.h"

#include <QTemporaryDir>

namespace {

using apptest::patternImage;

using HostileTest = apptest::WindowTest;

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
    QTemporaryDir dir;
    platform.dialogAnswers.push_back(apptest::written(dir.filePath("large.jpg"), jpeg));
    window->Command4_Click();
    EXPECT_TRUE(platform.lastBox().text.contains("The JPEG picture would need 1870 MB to decode, more than the 1536 MB "
                                                 "allowed beside the picture already open"))
        << qPrintable(platform.lastBox().text);
    EXPECT_EQ(window->canvas()->image().size(), QSize(16384, 8192));
}

}  // namespace
