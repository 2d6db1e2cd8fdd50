// Hide Text and Get Text as the window runs them: status line, titles,
// boxes and the flag, and round trips through the working picture.

#include "windowfixture.h"

#include <QLocale>

namespace {

using apptest::kAlert;
using apptest::kBusyTitle;
using apptest::kNormalTitle;
using apptest::kStartTitle;
using apptest::WindowTest;

const QString kHidden = QStringLiteral("The text message is now hidden in image.");
const QString kTooMuch = QStringLiteral("Too much text to hide in the image!");
const QString kNothingToShow = QStringLiteral("There is no hidden text in this image to display.");

class HideText : public WindowTest {
protected:
    void hide(const QString& message)
    {
        setText(message);
        window->Command1_Click();
    }
};
using GetText = HideText;

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
        hide(row);
        EXPECT_EQ(status(), kHidden);
        EXPECT_EQ(window->imageChanged(), 1);
        EXPECT_TRUE(window->hideResult().isEmpty());
        setText(QString());
        window->Command2_Click();
        EXPECT_EQ(text(), row);
    }
    // A typed line break is hidden as CR LF.
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

// The engine's own tests walk the capacity arithmetic; these walk the window around it.
TEST_F(HideText, RefusalShowsTheExcessAndLeavesPictureAndFlagAlone)
{
    const struct {
        const char* why;
        QSize picture;
        int length;
        const char* locale;
        QString shown;
    } rows[] = {
        {"one character over capacity", {10, 10}, 10, "C", "0.666666666666667"},
        {"the user's decimal comma", {10, 10}, 10, "de_DE", "0,666666666666667"},
        {"a million characters", {256, 256}, 1200000, "C", "1178178.66666667"},
    };
    QString titleDuringBox;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        QLocale::setDefault(QLocale(QString::fromLatin1(row.locale)));
        usePicture(row.picture.width(), row.picture.height());
        const QImage before = picture();
        platform = {};
        platform.onMessageBox = [&](const platform::MessageBox&) { titleDuringBox = window->windowTitle(); };

        hide(QString(row.length, QLatin1Char('m')));

        QLocale::setDefault(QLocale::c());
        ASSERT_EQ(platform.boxes.size(), 1);
        apptest::expectBox(platform.boxes[0], "Mirror Vane", platform::Icon::Critical, platform::Buttons::Ok,
                           "The Message has " + row.shown + " characters more than the image can accommodate");
        EXPECT_EQ(titleDuringBox, kBusyTitle);
        EXPECT_EQ(window->windowTitle(), kNormalTitle);
        EXPECT_EQ(status(), kTooMuch);
        EXPECT_TRUE(window->hideResult().isEmpty());
        EXPECT_EQ(window->imageChanged(), 0);
        EXPECT_EQ(picture(), before);
    }
    // An earlier hidden message stays unsaved.
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
    apptest::expectBox(platform.boxes[0], kAlert, platform::Icon::Warning, platform::Buttons::Ok,
                       "These characters cannot be hidden in an image: "
                       "\u2603 \U0001F600 \u0400 \u0401 \u0402 \u0403 \u0404 \u0405 \u0406 \u0407");
    EXPECT_EQ(status(), QStringLiteral("The text has characters that cannot be hidden in the image."));
    EXPECT_EQ(window->windowTitle(), kStartTitle);
    EXPECT_EQ(window->imageChanged(), 0);
    EXPECT_EQ(picture(), before);
    EXPECT_EQ(text(), message);
}

TEST_F(GetText, PictureWithoutMessageReportsDependingOnTheBox)
{
    window->Command2_Click();
    EXPECT_EQ(status(), kNothingToShow) << "empty box";

    setText(QStringLiteral("keep me"));
    window->Command2_Click();
    EXPECT_EQ(status(), QStringLiteral("THIS IMAGE DOES NOT HAVE A MIRROR VANE SECRET TEXT MESSAGE"));
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

// Which spellings count as encrypted is the engine's to test; here, that the
// window asks it about the text it has just shown.
TEST_F(GetText, EncryptedBoxAppearsOnlyWithBothMarkerKindsAndAfterTheTextIsShown)
{
    QString textDuringBox;
    platform.onMessageBox = [&](const platform::MessageBox&) { textDuringBox = text(); };
    for (const auto& [message, boxShown] : {std::pair{QStringLiteral("xx K 01 yy \u00e9 K zz"), true},
                                            {QStringLiteral("only Kk02 here"), false},
                                            {QStringLiteral("only \u00e9kK here"), false}}) {
        SCOPED_TRACE(message.toStdString());
        hide(message);
        setText(QString());
        platform.boxes.clear();
        window->Command2_Click();
        ASSERT_EQ(platform.boxes.size(), boxShown ? 1 : 0);
        if (!boxShown)
            continue;
        apptest::expectBox(platform.boxes[0], kAlert, platform::Icon::Information, platform::Buttons::Ok,
                           "You have an Encrypted Text Message!\r\nYou require Lockharbour (and the Password)\r\n"
                           "to Decrypt and read this message!\r\n\r\n"
                           "Lockharbour is available from www.lockharbour.example");
        EXPECT_EQ(textDuringBox, message);
    }
}

}  // namespace
