// Start-up (display check, the file dialogs' starting folder) and the ways
// out: Exit, its button, and the window's close box.

#include "windowfixture.h"

#include <QAction>
#include <QApplication>
#include <QPushButton>

namespace {

using apptest::RecordingPlatform;
using apptest::WindowTest;

struct DepthRow {
    const char* why;
    int bitsPerPixel;
    bool accepted;
};

class DisplayDepth : public ::testing::TestWithParam<DepthRow> {};

TEST_P(DisplayDepth, FewerThan32BitsPerPixelIsRefusedWithOneMessage)
{
    RecordingPlatform platform;
    platform.bitsPerPixel = GetParam().bitsPerPixel;
    app::Stego1 window(platform);
    EXPECT_EQ(window.Form_Load(), GetParam().accepted);
    if (GetParam().accepted) {
        EXPECT_TRUE(platform.boxes.isEmpty());
        return;
    }
    ASSERT_EQ(platform.boxes.size(), 1);
    const platform::MessageBox& box = platform.boxes.constFirst();
    EXPECT_EQ(box.title, QStringLiteral("Mirrorvane Alert"));
    EXPECT_EQ(box.text, QStringLiteral("You must run your display resolution at 32 bits per pixel to use Mirrorvane!"));
    EXPECT_EQ(box.icon, platform::Icon::Information);
    EXPECT_EQ(box.buttons, platform::Buttons::Ok);
    EXPECT_FALSE(window.isVisible());
}

INSTANTIATE_TEST_SUITE_P(Rows, DisplayDepth,
                         ::testing::Values(DepthRow{"sixteen_bit_high_colour", 16, false},
                                           DepthRow{"twenty_four_bit_true_colour_is_not_enough", 24, false},
                                           DepthRow{"thirty_two_bit_starts", 32, true}),
                         [](const ::testing::TestParamInfo<DepthRow>& row) { return std::string(row.param.why); });

struct FolderRow {
    const char* why;
    QString documents;
    std::optional<QString> userProfile;
    QString expected;
};

class StartingFolder : public ::testing::TestWithParam<FolderRow> {};

TEST_P(StartingFolder, BothDialogsStartInTheDocumentsFolderOrItsFallbacks)
{
    RecordingPlatform platform;
    platform.documents = GetParam().documents;
    if (GetParam().userProfile)
        platform.environment.insert(QStringLiteral("USERPROFILE"), *GetParam().userProfile);
    app::Stego1 window(platform);
    ASSERT_TRUE(window.Form_Load());
    EXPECT_EQ(window.commonDialog1().folder, GetParam().expected);
    EXPECT_EQ(window.dialog2().folder, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StartingFolder,
    ::testing::Values(FolderRow{"documents_folder_wins", "/home/ann/Documents", QString("/home/ann"),
                                "/home/ann/Documents"},
                      FolderRow{"no_documents_uses_the_profile", "", QString("/home/ann"), "/home/ann"},
                      FolderRow{"neither_starts_anywhere", "", std::nullopt, ""}),
    [](const ::testing::TestParamInfo<FolderRow>& row) { return std::string(row.param.why); });

class Leaving : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        window->show();
    }
    void TearDown() override { window->hide(); }

    // A successful Hide Text is the only way the flag becomes 1.
    void hideSomething()
    {
        setText(QStringLiteral("unsaved"));
        window->Command1_Click();
        ASSERT_EQ(window->imageChanged(), 1);
        platform.boxes.clear();
    }

    static void expectExitQuestion(const platform::MessageBox& box)
    {
        EXPECT_EQ(box.title, QStringLiteral("Mirrorvane Alert"));
        EXPECT_EQ(box.text, QStringLiteral("Are You Sure Tou Wish To Exit?\r\n\r\nYou Have Changed The Image But\r\n"
                                           "Have Not Saved These Changes!\r\n\r\nClick YES to EXIT Or NO To CANCEL"));
        EXPECT_EQ(box.icon, platform::Icon::Question);
        EXPECT_EQ(box.buttons, platform::Buttons::YesNo);
        EXPECT_EQ(box.defaultButton, platform::Answer::No);
    }
};

TEST_F(Leaving, ExitWithNothingUnsavedClosesAtOnce)
{
    window->mnuFileExit_Click();
    EXPECT_TRUE(platform.boxes.isEmpty());
    EXPECT_FALSE(window->isVisible());
}

TEST_F(Leaving, ExitAnsweredNoKeepsTheWindowAndAsksAgainNextTime)
{
    hideSomething();
    platform.answers = {platform::Answer::No};
    child<QPushButton>(QStringLiteral("Command7"))->click();
    ASSERT_EQ(platform.boxes.size(), 1);
    expectExitQuestion(platform.boxes.constFirst());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->imageChanged(), 1);

    // The default button (Enter) is No as well.
    child<QAction>(QStringLiteral("mnuFileExit"))->trigger();
    EXPECT_EQ(platform.boxes.size(), 2);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->imageChanged(), 1);
}

TEST_F(Leaving, ExitAnsweredYesClosesWithoutAskingTwice)
{
    hideSomething();
    platform.answers = {platform::Answer::Yes};
    window->Command7_Click();
    EXPECT_EQ(platform.boxes.size(), 1) << "closing after Exit must not ask again";
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->imageChanged(), 0);
}

TEST_F(Leaving, CloseBoxAsksTheExitQuestionOnlyWhileAMessageIsUnsaved)
{
    hideSomething();
    platform.answers = {platform::Answer::No};
    EXPECT_FALSE(window->close());
    ASSERT_EQ(platform.boxes.size(), 1);
    expectExitQuestion(platform.boxes.constFirst());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->imageChanged(), 1);

    platform.answers = {platform::Answer::Yes};
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible());

    window->show();
    platform.boxes.clear();
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(platform.boxes.isEmpty());
}

}  // namespace
