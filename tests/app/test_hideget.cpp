// Hide Text and Get Text as the window runs them: status line, titles,
// boxes and the flag, and round trips through the working picture.

#include "windowfixture.h"

#include <QLocale>

namespace {

using apptest::kBusyTitle;
using apptest::kNormalTitle;
using apptest::kStartTitle;
using apptest::WindowTest;

const QString kHidden = QStringLiteral("The text message is now hidden in image.");
const QString kTooMuch = QStringLiteral("Too much text to hide in the image!");
const QString kNoMessage = QStringLiteral("THIS IMAGE DOES NOT HAVE A MIRROR VANE SECRET TEXT MESSAGE");
const QString kNothingToShow = QStringLiteral("There is no hidden text in this image to display.");

class HideText : public WindowTest {
protected:
    void hide(const QString& message)
    {
        setText(message);
        window->Command1_Click();
    }
    // Hides `message`, empties the box and reads it back.
    QString roundTrip(const QString& message)
    {
        hide(message);
        EXPECT_EQ(status(), kHidden);
        setText(QString());
        window->Command2_Click();
        return text();
    }
};

TEST_F(HideText, RoundTripsOnTheBuiltInPicture)
{
    const QString rows[] = {
        QStringLiteral(" "),
        QStringLiteral("two lines\r\nand a blank one\r\n\r\n"),
        QStringLiteral("Caf\u00e9 \u20ac5 \u2014 \u00ab\u00fcber\u00bb \u00ff\u0081"),
        QString(21821, QLatin1Char('x')),  // exactly the picture's capacity
    };
    for (const QString& row : rows) {
        SCOPED_TRACE(row.left(40).toStdString());
        EXPECT_EQ(roundTrip(row), row);
        EXPECT_EQ(window->imageChanged(), 1);
        EXPECT_TRUE(window->hideResult().isEmpty());
    }
}

TEST_F(HideText, TypedLineBreakIsHiddenAsCarriageReturnAndLineFeed)
{
    window->text1()->setPlainText(QStringLiteral("a\nb"));
    window->Command1_Click();
    EXPECT_EQ(stego::readMessage(window->canvas()->constSurface()).text, "a\r\nb");
}

TEST_F(HideText, BusyTitleReachesTheScreenBeforeAnyPixelChanges)
{
    const QImage before = picture();
    hide(QStringLiteral("secret"));
    EXPECT_EQ(platform.flushedTitles(), (QStringList{kBusyTitle, kNormalTitle}));
    ASSERT_FALSE(platform.flushes.isEmpty());
    EXPECT_EQ(platform.flushes.constFirst().picture, before);
    EXPECT_NE(picture(), before);
}

TEST_F(HideText, EmptyTextChangesNothingButTheStatusLine)
{
    const QImage before = picture();
    window->label4()->setText(QStringLiteral("earlier"));
    window->Command1_Click();
    EXPECT_EQ(status(), QStringLiteral("There is no text to hide in the image."));
    EXPECT_EQ(window->windowTitle(), kStartTitle);
    EXPECT_TRUE(platform.flushes.isEmpty());
    EXPECT_EQ(picture(), before);
    EXPECT_EQ(window->imageChanged(), 0);
}

struct RefusalRow {
    const char* why;
    QSize picture;
    int length;
    const char* locale;
    QString shown;
};

class Refusal : public HideText, public ::testing::WithParamInterface<RefusalRow> {
protected:
    void TearDown() override { QLocale::setDefault(QLocale::c()); }
};

TEST_P(Refusal, ShowsTheExcessAndLeavesPictureAndFlagAlone)
{
    QLocale::setDefault(QLocale(QString::fromLatin1(GetParam().locale)));
    usePicture(GetParam().picture.width(), GetParam().picture.height());
    const QImage before = picture();
    QString titleDuringBox;
    platform.onMessageBox = [&](const platform::MessageBox&) { titleDuringBox = window->windowTitle(); };

    hide(QString(GetParam().length, QLatin1Char('m')));

    ASSERT_EQ(platform.boxes.size(), 1);
    const platform::MessageBox& box = platform.boxes.constFirst();
    EXPECT_EQ(box.title, QStringLiteral("Mirror Vane"));
    EXPECT_EQ(box.icon, platform::Icon::Critical);
    EXPECT_EQ(box.buttons, platform::Buttons::Ok);
    EXPECT_EQ(box.text, QStringLiteral("The Message has ") + GetParam().shown +
                            QStringLiteral(" characters more than the image can accommodate"));
    EXPECT_EQ(titleDuringBox, kBusyTitle);
    EXPECT_EQ(window->windowTitle(), kNormalTitle);
    EXPECT_EQ(status(), kTooMuch);
    EXPECT_TRUE(window->hideResult().isEmpty());
    EXPECT_EQ(window->imageChanged(), 0);
    EXPECT_EQ(picture(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Refusal,
    ::testing::Values(
        RefusalRow{"one_over_capacity_remainder_one", {10, 10}, 10, "C", "0.666666666666667"},
        RefusalRow{"two_over_capacity", {10, 10}, 11, "C", "1.66666666666667"},
        RefusalRow{"one_over_when_pixels_divide_by_three", {9, 10}, 7, "C", "1"},
        RefusalRow{"one_over_capacity_remainder_two", {11, 10}, 13, "C", "0.333333333333333"},
        RefusalRow{"user_decimal_comma", {10, 10}, 10, "de_DE", "0,666666666666667"},
        RefusalRow{"empty_picture_refuses_everything", {0, 0}, 1, "C", "25"},
        RefusalRow{"million_character_text", {256, 256}, 1200000, "C", "1178178.66666667"}),
    [](const ::testing::TestParamInfo<RefusalRow>& row) { return std::string(row.param.why); });

TEST_F(HideText, RefusalKeepsAnEarlierFlagOfOne)
{
    hide(QStringLiteral("first"));
    hide(QString(30000, QLatin1Char('z')));
    EXPECT_EQ(status(), kTooMuch);
    EXPECT_EQ(window->imageChanged(), 1);
}

TEST_F(HideText, CharactersOutsideTheCodePageAreNamedAndNothingIsHidden)
{
    const QImage before = picture();
    QString message = QStringLiteral("snow \u2603, \U0001F600 and \u2603 again: ");
    for (char16_t c = u'\u0400'; c < u'\u040C'; ++c)
        message += QChar(c);
    hide(message);

    ASSERT_EQ(platform.boxes.size(), 1);
    const platform::MessageBox& box = platform.boxes.constFirst();
    EXPECT_EQ(box.title, QStringLiteral("Mirrorvane Alert"));
    EXPECT_EQ(box.icon, platform::Icon::Warning);
    EXPECT_EQ(box.buttons, platform::Buttons::Ok);
    EXPECT_EQ(box.text, QStringLiteral("These characters cannot be hidden in an image: "
                                       "\u2603 \U0001F600 \u0400 \u0401 \u0402 \u0403 \u0404 \u0405 \u0406 \u0407"));
    EXPECT_EQ(status(), QStringLiteral("The text has characters that cannot be hidden in the image."));
    EXPECT_EQ(window->windowTitle(), kStartTitle);
    EXPECT_EQ(window->imageChanged(), 0);
    EXPECT_EQ(picture(), before);
    EXPECT_EQ(text(), message);
}

using GetText = HideText;

TEST_F(GetText, PictureWithoutMessageReportsDependingOnTheBox)
{
    window->Command2_Click();
    EXPECT_EQ(status(), kNothingToShow) << "empty box";

    setText(QStringLiteral("keep me"));
    window->Command2_Click();
    EXPECT_EQ(status(), kNoMessage);
    EXPECT_EQ(text(), QStringLiteral("keep me"));
    EXPECT_EQ(platform.processEventsCalls, 0) << "no message ends before the examination";
    EXPECT_EQ(platform.flushedTitles(), (QStringList{kBusyTitle, kNormalTitle, kBusyTitle, kNormalTitle}));
}

TEST_F(GetText, FoundTextIsInTheBoxBeforeTheSingleEventLoopPass)
{
    hide(QStringLiteral("hello"));
    setText(QStringLiteral("something else"));
    QString titleDuringPass;
    QString textDuringPass;
    platform.onProcessEvents = [&] {
        titleDuringPass = window->windowTitle();
        textDuringPass = text();
    };
    window->Command2_Click();
    EXPECT_EQ(platform.processEventsCalls, 1);
    EXPECT_EQ(titleDuringPass, kNormalTitle);
    EXPECT_EQ(textDuringPass, QStringLiteral("hello"));
    EXPECT_TRUE(status().isEmpty());
}

TEST_F(GetText, ScanWithoutEndMarkerExaminesWhatTheBoxAlreadyHolds)
{
    // Cutting off the last columns removes the end marker but keeps the
    // start marker and the column height, so the scan runs to the end.
    usePicture(20, 20);
    hide(QString(100, QLatin1Char('x')));
    window->canvas()->setImage(window->canvas()->image().copy(0, 0, 15, 20));

    const QString encrypted = QStringLiteral("K 02 and \u00e9 K");
    setText(encrypted);
    window->Command2_Click();
    EXPECT_EQ(text(), encrypted);
    EXPECT_TRUE(status().isEmpty());
    EXPECT_EQ(platform.processEventsCalls, 1);
    EXPECT_EQ(platform.boxes.size(), 1) << "the old text is examined again";
}

struct EncryptedRow {
    const char* why;
    QString message;
    bool boxShown;
};

class Encrypted : public HideText, public ::testing::WithParamInterface<EncryptedRow> {};

TEST_P(Encrypted, BoxAppearsOnlyWithBothMarkerKindsAndAfterTheTextIsShown)
{
    hide(GetParam().message);
    setText(QString());
    QString textDuringBox;
    platform.onMessageBox = [&](const platform::MessageBox&) { textDuringBox = text(); };
    window->Command2_Click();

    if (!GetParam().boxShown) {
        EXPECT_TRUE(platform.boxes.isEmpty());
        return;
    }
    ASSERT_EQ(platform.boxes.size(), 1);
    const platform::MessageBox& box = platform.boxes.constFirst();
    EXPECT_EQ(box.title, QStringLiteral("Mirrorvane Alert"));
    EXPECT_EQ(box.icon, platform::Icon::Information);
    EXPECT_EQ(box.buttons, platform::Buttons::Ok);
    EXPECT_EQ(box.text, QStringLiteral("You have an Encrypted Text Message!\r\n"
                                       "You require Lockharbour (and the Password)\r\n"
                                       "to Decrypt and read this message!\r\n\r\n"
                                       "Lockharbour is available from www.lockharbour.example"));
    EXPECT_EQ(textDuringBox, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Encrypted,
    ::testing::Values(EncryptedRow{"both_kinds", QStringLiteral("xx K 01 yy \u00e9 K zz"), true},
                      EncryptedRow{"other_spellings_of_both", QStringLiteral("Kk02\u00e9kK"), true},
                      EncryptedRow{"four_character_kind_only", QStringLiteral("only Kk02 here"), false},
                      EncryptedRow{"three_character_kind_only", QStringLiteral("only \u00e9kK here"), false}),
    [](const ::testing::TestParamInfo<EncryptedRow>& row) { return std::string(row.param.why); });

}  // namespace
