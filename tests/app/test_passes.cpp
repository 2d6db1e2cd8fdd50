// Open Image and Get Text each let the event loop run once, and whatever
// the user queued runs there.  The window must be whole at that moment: the
// picture shown, its path, its flag and the title belong together, so a
// command run inside the pass acts on the picture the user sees.

#include "windowfixture.h"

#include "picture/pictureview.h"

#include <QTemporaryDir>

namespace {

using namespace apptest;
using picturetest::sameRgb;

class EventLoopPass : public WindowTest {
protected:
    QTemporaryDir m_dir;

    // A picture larger than the view, so it shows as a preview, holding a
    // hidden message, so Open Image's scan runs Get Text's pass too.
    QString largePictureWithMessage(const QString& name, QImage* pixels)
    {
        window->canvas()->setImage(patternImage(400, 300, 7));
        hideUnsaved(QStringLiteral("meet at noon"));
        *pixels = picture();
        const QString path = apptest::writeFile(m_dir.filePath(name), encoded(*pixels, "BMP"));
        window->mnuFileExit_Click();  // answers the Exit question and clears the flag
        platform.boxes.clear();
        platform.answers.clear();
        return path;
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
    QImage pixels;
    platform.answers = {Answer::Yes};
    const QString holiday = largePictureWithMessage(QStringLiteral("holiday.bmp"), &pixels);

    QStringList broken;
    platform.onProcessEvents = [&] {
        if (window->loadedImagePath() != holiday)
            broken << "path";
        if (window->imageChanged() != 0)
            broken << "flag";
        if (!sameRgb(window->canvas()->image(), pixels))
            broken << "canvas";
        if (!window->pictureView().isPreviewShown())
            broken << "view";
        if (window->windowTitle() == kBusyTitle)
            broken << "title";
    };
    platform.dialogAnswers = {holiday};
    window->Command4_Click();
    EXPECT_EQ(platform.processEventsCalls, 2) << "Open Image's pass and Get Text's";
    EXPECT_TRUE(broken.isEmpty()) << qPrintable(broken.join(' '));
    EXPECT_EQ(text(), QStringLiteral("meet at noon"));
}

// The road from the report: a click on Open Image (or Save Image) while a
// large picture loads.
TEST_F(EventLoopPass, CommandsClickedDuringTheLoadActOnThePictureShown)
{
    QImage large;
    platform.answers = {Answer::Yes};
    const QString holiday = largePictureWithMessage(QStringLiteral("holiday.bmp"), &large);
    const QImage small = patternImage(20, 10, 3);
    const QString smallPath = apptest::writeFile(m_dir.filePath("small.bmp"), encoded(small, "BMP"));

    // Save Image clicked during the load proposes the file being loaded.
    QString proposedInPass;
    platform.onProcessEvents = [&] {
        platform.onProcessEvents = nullptr;
        proposedInPass = proposedSaveName();
    };
    platform.dialogAnswers = {holiday};
    window->Command4_Click();
    EXPECT_EQ(proposedInPass, holiday);

    // Open Image clicked during the load: the second picture wins whole.
    platform.onProcessEvents = [&] {
        platform.onProcessEvents = nullptr;
        platform.dialogAnswers = {smallPath};
        window->Command4_Click();
    };
    platform.dialogAnswers = {holiday};
    window->Command4_Click();
    EXPECT_TRUE(sameRgb(picture(), small));
    EXPECT_EQ(window->loadedImagePath(), smallPath);
    EXPECT_FALSE(window->pictureView().isPreviewShown());
    EXPECT_EQ(proposedSaveName(), smallPath) << "Save Image must not offer to replace the photo";
}

}  // namespace
