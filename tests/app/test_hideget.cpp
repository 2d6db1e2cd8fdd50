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
const QString kNothingToHide = QStringLiteral("There is no text to hide in the image.");
const QString kTooMuch = QStringLiteral("Too much text to hide in the image!");
const QString kNoMessage = QStringLiteral("THIS IMAGE DOES NOT HAVE A MIRROR VANE SECRET TEXT MESSAGE");
const QString kNothingToShow = QStringLiteral("There is no hidden text in this image to display.");

class HideText : public WindowTest {
protected:
    // Hides `message`, empties the box and reads it back.
    QString roundTrip(const QString& message)
    {
        setText(message);
        window->Command1_Click();
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
        QStringLiteral("Meet at the old mill"),
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

TEST_F(HideText, LineBreaksAreHiddenAsCarriageReturnAndLineFeed)
{
    window->text1()->setPlainText(QStringLiteral("a\nb"));  // as typed into the box
    window->Command1_Click();
    const QImage image = window->canvas()->image();
    // Character 14 of the framed message (after the 13-character start marker
    // and 'a') sits in pixels 42..44, read column by column.
    const auto bitsAt = [&](int pixel) {
        const QRgb rgb = image.pixel(pixel / 256, pixel % 256);
        return std::array<int, 3>{qRed(rgb) & 1, qGreen(rgb) & 1, qBlue(rgb) & 1};
    };
    const auto characterAt = [&](int index) {
        int code = 0;
        for (int k = 0; k < 3; ++k) {
            const auto bits = bitsAt(3 * index + k);
            for (int channel = 0; channel < (k == 2 ? 2 : 3); ++channel)
                code = code * 2 + bits[static_cast<std::size_t>(channel)];
        }
        return code;
    };
    EXPECT_EQ(characterAt(14), 13);
    EXPECT_EQ(characterAt(15), 10);
    EXPECT_EQ(characterAt(16), 'b');
}

TEST_F(HideText, BusyTitleReachesTheScreenBeforeAnyPixelChanges)
{
    const QImage before = picture();
    setText(QStringLiteral("secret"));
    window->Command1_Click();

    EXPECT_EQ(platform.flushedTitles(), (QStringList{kBusyTitle, kNormalTitle}));
    ASSERT_FALSE(platform.flushes.isEmpty());
    EXPECT_EQ(platform.flushes.constFirst().picture, before);
    EXPECT_NE(picture(), before);
    EXPECT_EQ(window->windowTitle(), kNormalTitle);
}

TEST_F(HideText, EmptyTextChangesNothingButTheStatusLine)
{
    const QImage before = picture();
    window->label4()->setText(QStringLiteral("earlier"));
    window->Command1_Click();
    EXPECT_EQ(status(), kNothingToHide);
    EXPECT_EQ(window->windowTitle(), kStartTitle);
    EXPECT_TRUE(platform.flushes.isEmpty());
    EXPECT_EQ(picture(), before);
    EXPECT_EQ(window->imageChanged(), 0);
}

struct RefusalRow {
    const char* why;
    QSize picture;
    int length;
    const char* decimalSeparatorLocale;
    QString shown;
};

class Refusal : public WindowTest, public ::testing::WithParamInterface<RefusalRow> {
protected:
    void TearDown() override { QLocale::setDefault(QLocale::c()); }
};

TEST_P(Refusal, ShowsTheExcessAndLeavesPictureAndFlagAlone)
{
    QLocale::setDefault(QLocale(QString::fromLatin1(GetParam().decimalSeparatorLocale)));
    usePicture(GetParam().picture.width(), GetParam().picture.height());
    const QImage before = picture();
    QString titleDuringBox;
    platform.onMessageBox = [&](const platform::MessageBox&) { titleDuringBox = window->windowTitle(); };

    setText(QString(GetParam().length, QLatin1Char('m')));
    window->Command1_Click();

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
        RefusalRow{"million_character_text_on_the_start_up_size", {256, 256}, 1200000, "C", "1178178.66666667"}),
    [](const ::testing::TestParamInfo<RefusalRow>& row) { return std::string(row.param.why); });

TEST_F(HideText, RefusalKeepsAnEarlierFlagOfOne)
{
    setText(QStringLiteral("first"));
    window->Command1_Click();
    ASSERT_EQ(window->imageChanged(), 1);
    setText(QString(30000, QLatin1Char('z')));
    window->Command1_Click();
    EXPECT_EQ(status(), kTooMuch);
    EXPECT_EQ(window->imageChanged(), 1);
}

TEST_F(HideText, CharactersOutsideTheCodePageAreNamedAndNothingIsHidden)
{
    const QImage before = picture();
    QString message = QStringLiteral("snow \u2603 and \U0001F600 then \u2603 again");
    window->Command1_Click();  // something on the status line first
    setText(message);
    window->Command1_Click();

    ASSERT_EQ(platform.boxes.size(), 1);
    const platform::MessageBox& box = platform.boxes.constFirst();
    EXPECT_EQ(box.title, QStringLiteral("Mirrorvane Alert"));
    EXPECT_EQ(box.icon, platform::Icon::Warning);
    EXPECT_EQ(box.buttons, platform::Buttons::Ok);
    EXPECT_EQ(box.text, QStringLiteral("These characters cannot be hidden in an image: \u2603 \U0001F600"));
    EXPECT_EQ(status(), QStringLiteral("The text has characters that cannot be hidden in the image."));
    EXPECT_EQ(window->windowTitle(), kStartTitle);
    EXPECT_EQ(window->imageChanged(), 0);
    EXPECT_EQ(picture(), before);
    EXPECT_EQ(text(), message) << "the box keeps the user's text";
}

TEST_F(HideText, AtMostTenDistinctOffendersAreNamed)
{
    QString message;
    for (char16_t c = u'\u0400'; c < u'\u040C'; ++c)
        message += QChar(c);  // twelve Cyrillic letters
    setText(message);
    window->Command1_Click();
    const QString listed = platform.lastBox().text.mid(
        QStringLiteral("These characters cannot be hidden in an image: ").size());
    EXPECT_EQ(listed.split(QLatin1Char(' ')).size(), 10);
    EXPECT_TRUE(listed.startsWith(QStringLiteral("\u0400 \u0401")));
}

class GetText : public HideText {};

TEST_F(GetText, PictureWithoutMessageReportsDependingOnTheBox)
{
    window->Command2_Click();
    EXPECT_EQ(status(), kNothingToShow) << "empty box";
    EXPECT_EQ(window->windowTitle(), kNormalTitle);

    setText(QStringLiteral("keep me"));
    window->Command2_Click();
    EXPECT_EQ(status(), kNoMessage);
    EXPECT_EQ(text(), QStringLiteral("keep me"));
    EXPECT_EQ(platform.processEventsCalls, 0) << "no message ends before the examination";
    EXPECT_EQ(platform.flushedTitles(), (QStringList{kBusyTitle, kNormalTitle, kBusyTitle, kNormalTitle}));
}

TEST_F(GetText, FoundTextIsInTheBoxBeforeTheSingleEventLoopPass)
{
    setText(QStringLiteral("hello"));
    window->Command1_Click();
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
    EXPECT_TRUE(platform.boxes.isEmpty());
}

TEST_F(GetText, ShorterMessageOverALongerOneReadsBackAlone)
{
    EXPECT_EQ(roundTrip(QStringLiteral("eleven char")), QStringLiteral("eleven char"));
    EXPECT_EQ(roundTrip(QStringLiteral("hi")), QStringLiteral("hi"));
}

TEST_F(GetText, MessageContainingTheEndMarkerIsCutThere)
{
    EXPECT_EQ(roundTrip(QStringLiteral("before end message after")), QStringLiteral("before "));
}

struct EncryptedRow {
    const char* why;
    QString message;
    bool boxShown;
};

class Encrypted : public HideText, public ::testing::WithParamInterface<EncryptedRow> {};

TEST_P(Encrypted, BoxAppearsOnlyWithBothMarkerKindsAndAfterTheTextIsShown)
{
    setText(GetParam().message);
    window->Command1_Click();
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

TEST_F(GetText, ScanWithoutEndMarkerExaminesWhatTheBoxAlreadyHolds)
{
    // A start marker and no end marker anywhere: the picture's pixels are
    // rewritten so that every character after the marker is 'x'.
    usePicture(20, 20);
    setText(QString(109, QLatin1Char('x')));  // fills the 400 pixels but for one
    window->Command1_Click();
    ASSERT_EQ(status(), kHidden);
    QImage image = window->canvas()->image();
    // Overwrite the end marker's first letter ('e', pixels 366..368) with 'x' bits.
    const int code = 'x';
    const int bits[8] = {(code >> 7) & 1, (code >> 6) & 1, (code >> 5) & 1, (code >> 4) & 1,
                         (code >> 3) & 1, (code >> 2) & 1, (code >> 1) & 1, code & 1};
    for (int k = 0; k < 3; ++k) {
        const int p = 3 * (13 + 109) + k;
        const QRgb old = image.pixel(p / 20, p % 20);
        const int r = (qRed(old) & ~1) | bits[3 * k];
        const int g = (qGreen(old) & ~1) | bits[3 * k + 1];
        const int b = k == 2 ? qBlue(old) : (qBlue(old) & ~1) | bits[3 * k + 2];
        image.setPixel(p / 20, p % 20, qRgb(r, g, b));
    }
    window->canvas()->setImage(image);

    const QString encrypted = QStringLiteral("K 02 and \u00e9 K");
    setText(encrypted);
    window->Command2_Click();
    EXPECT_EQ(text(), encrypted);
    EXPECT_EQ(platform.processEventsCalls, 1);
    EXPECT_EQ(platform.boxes.size(), 1) << "the old text is examined again";
}

}  // namespace
