// Start-up checks and the ways out: Exit, its button and the close box.

#include "windowfixture.h"

#include <QAction>
#include <QGuiApplication>
#include <QPushButton>

#include <optional>

namespace {

using namespace apptest;

// A 32-bit display is where every other test starts.
TEST(StartUp, DisplayBelow32BitsPerPixelIsRefusedWithOneMessage)
{
    RecordingPlatform platform;
    platform.bitsPerPixel = 24;
    app::Stego1 window(platform);
    EXPECT_FALSE(window.Form_Load());
    EXPECT_TRUE(sameBoxes(platform.boxes, {{kAlert, "You must run your display resolution at 32 bits per pixel to use "
                                                    "Mirrorvane!", Icon::Information, Buttons::Ok, Answer::Ok}}));
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(QGuiApplication::windowIcon().isNull()) << "the refusal carries the program's icon";
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

// Exit clears the flag before closing, so the close box does not ask again.
TEST_F(WindowTest, ExitAndTheCloseBoxAskOnlyWhileAMessageIsUnsavedAndNoKeepsIt)
{
    const platform::MessageBox question{kAlert,
                                        "Are You Sure Tou Wish To Exit?\r\n\r\nYou Have Changed The Image But\r\n"
                                        "Have Not Saved These Changes!\r\n\r\nClick YES to EXIT Or NO To CANCEL",
                                        Icon::Question, Buttons::YesNo, Answer::No};
    window->show();
    window->mnuFileExit_Click();
    EXPECT_FALSE(window->isVisible());
    window->show();
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(platform.boxes.isEmpty());

    window->show();
    hideUnsaved();
    platform.answers = {Answer::No};
    child<QPushButton>("Command7")->click();
    child<QAction>("mnuFileExit")->trigger();  // unanswered: the default button
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(sameBoxes(platform.boxes, {question, question, question}));
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->imageChanged(), 1);

    platform.answers = {Answer::Yes};
    window->Command7_Click();
    EXPECT_TRUE(sameBoxes(platform.boxes, {question, question, question, question}));
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->imageChanged(), 0);

    window->show();
    hideUnsaved();
    platform.answers = {Answer::Yes};
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(sameBoxes(platform.boxes, {question}));
    EXPECT_FALSE(window->isVisible());
}

}  // namespace
