// Open Image and Get Text each let the event loop run once; the window must
// be whole then (picture, path, flag and title together), so a command the
// user queued acts on the picture shown.

#include "windowfixture.h"

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
        window->canvas()->setImage(patternImage(400, 300, 7));
        hideUnsaved(QStringLiteral("meet at noon"));
        m_large = picture();
        m_holiday = written(m_dir.filePath("holiday.bmp"), encoded(m_large, "BMP"));
        platform.answers = {Answer::Yes};
        window->mnuFileExit_Click();  // clears the flag
        platform = {};
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
        if (window->loadedImagePath() != m_holiday)
            broken << "path";
        if (window->imageChanged() != 0)
            broken << "flag";
        if (!sameRgb(window->canvas()->image(), m_large))
            broken << "canvas";
        if (!window->pictureView().isPreviewShown())
            broken << "view";
        if (window->windowTitle() == kBusyTitle)
            broken << "title";
    };
    platform.dialogAnswers = {m_holiday};
    window->Command4_Click();
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
    platform.dialogAnswers = {m_holiday};
    window->Command4_Click();
    EXPECT_EQ(proposedInPass, m_holiday);

    platform.onProcessEvents = [&] {
        platform.onProcessEvents = nullptr;
        platform.dialogAnswers = {smallPath};
        window->Command4_Click();
    };
    platform.dialogAnswers = {m_holiday};
    window->Command4_Click();
    EXPECT_TRUE(sameRgb(picture(), small)) << "the second picture wins whole";
    EXPECT_EQ(window->loadedImagePath(), smallPath);
    EXPECT_FALSE(window->pictureView().isPreviewShown());
    EXPECT_EQ(proposedSaveName(), smallPath) << "Save Image must not offer to replace the photo";
}

}  // namespace
