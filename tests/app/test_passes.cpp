// Open Image and Get Text each let the event loop run once; the window must
// be whole then (picture, path, flag and title together), so a command the
// user queued acts on the picture shown.  A picture that fits only alone is
// refused beside the one already open.

#include "windowfixture.h"

#include "imagefile/hostilefiles.h"
#include "picture/pictureview.h"

#include <QTemporaryDir>

namespace {

using namespace apptest;
using imagefiletest::sameRgb;

class EventLoopPass : public WindowTest {
protected:
    QTemporaryDir m_dir;
    QImage m_large;
    QString m_holiday;

    // A picture larger than the view, so it previews, holding a message, so
    // Open Image's scan runs Get Text's pass too.
    void SetUp() override
    {
        WindowTest::SetUp();
        m_holiday = messagePicture(m_dir.filePath("holiday.bmp"), patternImage(400, 300, 7), "meet at noon");
        m_large = QImage(m_holiday).convertToFormat(QImage::Format_RGB32);
    }

    QString proposedSaveName()
    {
        platform.dialogs.clear();
        window->Command5_Click();  // the fake's empty queue cancels the dialog
        return platform.dialogs.isEmpty() ? QString() : platform.dialogs.constLast().fileName;
    }
};

TEST_F(EventLoopPass, OpenImageAndItsScanLetTheLoopRunOnAWholeWindow)
{
    QStringList broken;
    platform.onProcessEvents = [&] {
        const std::pair<const char*, bool> parts[] = {
            {"path", window->loadedImagePath() == m_holiday}, {"flag", window->imageChanged() == 0},
            {"canvas", bool(sameRgb(window->canvas()->image(), m_large))}, {"view", window->pictureView().isPreviewShown()},
            {"title", window->windowTitle() != kBusyTitle}};
        for (const auto& [part, whole] : parts)
            if (!whole)
                broken << part;
    };
    withFile(&app::Stego1::Command4_Click, m_holiday);
    EXPECT_EQ(platform.processEventsCalls, 2) << "Open Image's pass and Get Text's";
    EXPECT_TRUE(broken.isEmpty()) << qPrintable(broken.join(' '));
    EXPECT_EQ(text(), QStringLiteral("meet at noon"));
}

// The road from the report: Save Image or Open Image clicked while a large picture loads.
TEST_F(EventLoopPass, CommandsClickedDuringTheLoadActOnThePictureShown)
{
    const QImage small = patternImage(20, 10, 3);
    const QString smallPath = written(m_dir.filePath("small.bmp"), encoded(small, "BMP"));

    QString proposedInPass;
    platform.onProcessEvents = [&] {
        platform.onProcessEvents = nullptr;
        proposedInPass = proposedSaveName();
    };
    withFile(&app::Stego1::Command4_Click, m_holiday);
    EXPECT_EQ(proposedInPass, m_holiday);

    platform.onProcessEvents = [&] {
        platform.onProcessEvents = nullptr;
        withFile(&app::Stego1::Command4_Click, smallPath);
    };
    withFile(&app::Stego1::Command4_Click, m_holiday);
    EXPECT_TRUE(sameRgb(picture(), small)) << "the second picture wins whole";
    EXPECT_EQ(window->loadedImagePath(), smallPath);
    EXPECT_FALSE(window->pictureView().isPreviewShown());
    EXPECT_EQ(proposedSaveName(), smallPath) << "Save Image must not offer to replace the photo";
}

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
    withFile(&app::Stego1::Command4_Click, apptest::written(dir.filePath("large.jpg"), jpeg));
    EXPECT_TRUE(platform.lastBox().text.contains("The JPEG picture would need 1870 MB to decode, more than the 1536 MB "
                                                 "allowed beside the picture already open"))
        << qPrintable(platform.lastBox().text);
    EXPECT_EQ(window->canvas()->image().size(), QSize(16384, 8192));
}

}  // namespace
