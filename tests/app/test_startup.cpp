// Start-up (display check, the file dialogs' starting folder) and the ways
// out: Exit, its button, and the window's close box.

#include "windowfixture.h"

#include <QAction>
#include <QPushButton>

#include <optional>

namespace {

using apptest::kAlert;
using apptest::RecordingPlatform;
using apptest::WindowTest;
using platform::Answer;

TEST(StartUp, DisplayBelow32BitsPerPixelIsRefusedWithOneMessage)
{
    for (const int bitsPerPixel : {24, 32}) {
        RecordingPlatform platform;
        platform.bitsPerPixel = bitsPerPixel;
        app::Stego1 window(platform);
        EXPECT_EQ(window.Form_Load(), bitsPerPixel == 32) << bitsPerPixel;
        if (bitsPerPixel == 32) {
            EXPECT_TRUE(platform.boxes.isEmpty());
            continue;
        }
        ASSERT_EQ(platform.boxes.size(), 1);
        apptest::expectBox(platform.boxes[0], kAlert, platform::Icon::Information, platform::Buttons::Ok,
                           "You must run your display resolution at 32 bits per pixel to use Mirrorvane!");
        EXPECT_FALSE(window.isVisible());
    }
}

TEST(StartUp, BothDialogsStartInTheDocumentsFolderOrItsFallbacks)
{
    const struct {
        const char* why;
        QString documents;
        std::optional<QString> userProfile;
        QString expected;
    } rows[] = {
        {"documents folder wins", "/home/ann/Documents", "/home/ann", "/home/ann/Documents"},
        {"no documents folder: the profile", "", "/home/ann", "/home/ann"},
        {"neither: nowhere in particular", "", std::nullopt, ""},
    };
    for (const auto& row : rows) {
        RecordingPlatform platform;
        platform.documents = row.documents;
        if (row.userProfile)
            platform.environment.insert(QStringLiteral("USERPROFILE"), *row.userProfile);
        app::Stego1 window(platform);
        ASSERT_TRUE(window.Form_Load());
        EXPECT_EQ(window.commonDialog1().folder, row.expected) << row.why;
        EXPECT_EQ(window.dialog2().folder, row.expected) << row.why;
    }
}

class Leaving : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        window->show();
    }
    void TearDown() override { window->hide(); }

    // The last box is the Exit question, and so far it was asked `times` times.
    void expectAsked(qsizetype times)
    {
        ASSERT_EQ(platform.boxes.size(), times);
        apptest::expectBox(platform.boxes.constLast(), kAlert, platform::Icon::Question, platform::Buttons::YesNo,
                           "Are You Sure Tou Wish To Exit?\r\n\r\nYou Have Changed The Image But\r\n"
                           "Have Not Saved These Changes!\r\n\r\nClick YES to EXIT Or NO To CANCEL");
        EXPECT_EQ(platform.boxes.constLast().defaultButton, Answer::No);
    }
};

TEST_F(Leaving, ExitWithNothingUnsavedClosesAtOnce)
{
    window->mnuFileExit_Click();
    EXPECT_TRUE(platform.boxes.isEmpty());
    EXPECT_FALSE(window->isVisible());
}

TEST_F(Leaving, ExitAnsweredNoKeepsTheWindowAndYesClosesWithoutAskingTwice)
{
    hideUnsaved();
    platform.answers = {Answer::No};
    child<QPushButton>("Command7")->click();
    expectAsked(1);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->imageChanged(), 1);

    child<QAction>("mnuFileExit")->trigger();  // unanswered: the default button
    expectAsked(2);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->imageChanged(), 1);

    platform.answers = {Answer::Yes};
    window->Command7_Click();
    expectAsked(3);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->imageChanged(), 0);
}

TEST_F(Leaving, CloseBoxAsksTheExitQuestionOnlyWhileAMessageIsUnsaved)
{
    hideUnsaved();
    platform.answers = {Answer::No};
    EXPECT_FALSE(window->close());
    expectAsked(1);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->imageChanged(), 1);

    platform.answers = {Answer::Yes};
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible());

    window->show();
    platform.boxes.clear();
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(platform.boxes.isEmpty());
}

}  // namespace
