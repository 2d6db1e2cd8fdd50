// Hide Text with a text outside Windows-1252, and texts that would read back
// cut short, as the window runs them.

#include "windowfixture.h"

#include "stego/sentences.h"

#include <QTemporaryDir>

namespace {

using namespace apptest;

using HideUtf8 = WindowTest;

const QString kWorld = QStringLiteral("ASCII \u00e9\u00df \u0141\u00f3d\u017a \u0130stanbul Dvo\u0159\u00e1k \u03b1\u03b2 "
                                      "\u0416\u0438 \u4e2d\u6587 \U0001F600 e\u0301 in\ufeffside\r\nline two");

TEST_F(HideUtf8, YesHidesAsUtf8AndTheTextComesBackThroughASavedPicture)
{
    const QImage before = picture();
    platform.answers = {Answer::Yes};
    hide(kWorld);
    ASSERT_EQ(platform.boxes.size(), 1);
    EXPECT_EQ(platform.boxes[0].buttons, Buttons::YesNo);
    EXPECT_EQ(status(), QStringLiteral("The text message is now hidden in image."));
    EXPECT_EQ(window->imageChanged(), 1);
    EXPECT_NE(picture(), before);

    QTemporaryDir dir;
    const QString saved = dir.filePath(QStringLiteral("world.bmp"));
    platform.dialogAnswers = {saved};
    window->Command5_Click();
    ASSERT_EQ(window->imageChanged(), 0) << qPrintable(status());
    setText(QString());
    window->canvas()->setImage(patternImage(10, 10));
    platform.dialogAnswers = {saved};
    window->Command4_Click();
    EXPECT_EQ(text(), kWorld) << "Open Image finds it";
    setText(QString());
    window->Command2_Click();
    EXPECT_EQ(text(), kWorld) << "and so does Get Text";
}

TEST_F(HideUtf8, TooMuchUtf8TextIsCountedInBytes)
{
    usePicture(10, 10);  // a body of 9 bytes: the mark and three two-byte letters
    platform.answers = {Answer::Yes, Answer::Yes};
    hide(QStringLiteral("\u0141\u0141\u0141"));
    EXPECT_EQ(status(), QStringLiteral("The text message is now hidden in image."));
    platform.boxes.clear();
    hide(QStringLiteral("\u0141\u0141\u0141a"));
    ASSERT_EQ(platform.boxes.size(), 2);
    EXPECT_EQ(platform.boxes[1].text, QStringLiteral("The Message has 0.666666666666667 bytes more than the image can "
                                                     "accommodate as UTF-8"));
    EXPECT_EQ(status(), QStringLiteral("Too much text to hide in the image!"));
}

// The engine's tests hold the full list; these prove the wiring, on both roads.
TEST_F(HideUtf8, TextsThatWouldReadBackCutShortAreRefusedWithNothingChanged)
{
    hideUnsaved();
    const QImage before = picture();
    const platform::MessageBox refusal{kAlert, QString::fromStdString(stego::cutShortSentence()), Icon::Warning,
                                       Buttons::Ok, Answer::Ok};
    for (const QString& message : {QStringLiteral("weekend messag"), QStringLiteral("\u0141\u00f3d\u017a end message")}) {
        SCOPED_TRACE(message.toStdString());
        platform.boxes.clear();
        platform.flushedTitles.clear();
        platform.answers = {Answer::Yes};  // to the UTF-8 question, where there is one
        hide(message);
        ASSERT_FALSE(platform.boxes.isEmpty());
        EXPECT_TRUE(sameBoxes({platform.boxes.constLast()}, {refusal}));
        EXPECT_EQ(picture(), before);
        EXPECT_EQ(text(), message);
        EXPECT_EQ(window->imageChanged(), 1) << "still the earlier, unsaved message";
        EXPECT_TRUE(platform.flushedTitles.isEmpty()) << "no busy title";
    }
}

}  // namespace
