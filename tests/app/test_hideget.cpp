// Hide Text and Get Text as the window runs them, and round trips; a text
// outside Windows-1252, and texts that would read back cut short.

#include "windowfixture.h"

#include "stego/sentences.h"

#include <QAction>
#include <QLocale>
#include <QPushButton>
#include <QTemporaryDir>

#include <new>

namespace {

using namespace apptest;

const QString kTooMuch = QStringLiteral("Too much text to hide in the image!");

using HideText = WindowTest;
using GetText = WindowTest;
using HideUtf8 = WindowTest;

// A failure inside a handler (here out of memory while its box shows) ends
// the command where the button and the menu entry reach it, and leaves the
// normal title behind.
TEST_F(HideText, AFailingHandlerEndsTheCommandWithoutLeavingTheBusyTitle)
{
    usePicture(10, 10);
    platform.onMessageBox = [](const platform::MessageBox&) { throw std::bad_alloc(); };
    setText(QString(100, QLatin1Char('m')));
    for (const auto& [control, slot] : {std::pair<QObject*, const char*>{child<QPushButton>("Command1"), "click"},
                                        {child<QAction>("mnuStegoHideText"), "trigger"}}) {
        window->setWindowTitle(kNormalTitle);
        EXPECT_NO_THROW(QMetaObject::invokeMethod(control, slot)) << slot;
        EXPECT_EQ(window->windowTitle(), kNormalTitle);
        EXPECT_EQ(window->imageChanged(), 0);
    }
}

// Each outcome of the scan: what the box then holds and the status line says;
// a found text shows before input is let in once, then the box's text is
// examined for the encrypted notice.  No message ends before the examination.
TEST_F(GetText, EachOutcomeShowsItsTextThenExaminesTheBox)
{
    const QString encrypted = QStringLiteral("xx K 01 yy \u00e9 K zz");
    const struct {
        const char* why; QString hidden; bool cropped; QString typed; QString shown; const char* status;
        bool passAndExamined; bool notice;
    } rows[] = {
        {"no message, empty box", "", false, "", "", "There is no hidden text in this image to display.", false, false},
        {"no message, the box kept", "", false, "keep me", "keep me",
         "THIS IMAGE DOES NOT HAVE A MIRROR VANE SECRET TEXT MESSAGE", false, false},
        // Cropping columns drops the end marker only.
        {"no end marker: the box's own text examined", QString(100, 'x'), true, encrypted, encrypted, "", true, true},
        {"encrypted text found", encrypted, false, "something else", encrypted, "", true, true},
        {"plain text found", "only Kk02 here", false, "something else", "only Kk02 here", "", true, false},
    };
    QString duringPass, duringBox;
    platform.onProcessEvents = [&] { duringPass = window->windowTitle() + '|' + text(); };
    platform.onMessageBox = [&](const platform::MessageBox&) { duringBox = text(); };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        usePicture(20, 20);
        if (!row.hidden.isEmpty())
            hide(row.hidden);
        if (row.cropped)
            window->canvas()->setImage(picture().copy(0, 0, 15, 20));
        setText(row.typed);
        forget();
        duringPass.clear();
        duringBox.clear();
        window->Command2_Click();
        EXPECT_EQ(platform.flushedTitles, (QStringList{kBusyTitle, kNormalTitle}));
        EXPECT_EQ(text(), row.shown);
        EXPECT_EQ(status(), QString::fromLatin1(row.status));
        EXPECT_EQ(platform.processEventsCalls, row.passAndExamined ? 1 : 0);
        EXPECT_EQ(duringPass, row.passAndExamined ? kNormalTitle + '|' + row.shown : QString());
        ASSERT_EQ(platform.boxes.size(), row.notice ? 1 : 0);
        EXPECT_TRUE(!row.notice || platform.boxes[0].text.startsWith(QStringLiteral("You have an Encrypted Text Message!")));
        EXPECT_EQ(duringBox, row.notice ? row.shown : QString());
    }
}

// Each text round-trips: hidden with the busy title pushed to the screen
// before any pixel changes, saved, found again by Open Image and by Get Text.
// A text outside Windows-1252 hides as UTF-8 after the user's Yes.
TEST_F(HideUtf8, YesHidesAsUtf8AndTheTextComesBackThroughASavedPicture)
{
    const QString rows[] = {
        QStringLiteral(" "),
        QStringLiteral("two lines\r\nand a blank one\r\n\r\n"),
        QStringLiteral("Caf\u00e9 \u20ac5 \u2014 \u00ab\u00fcber\u00bb \u00ff\u0081"),
        QString(21821, QLatin1Char('x')),  // exactly the built-in picture's capacity
        QStringLiteral("ASCII \u00e9\u00df \u0141\u00f3d\u017a \u0130stanbul Dvo\u0159\u00e1k \u03b1\u03b2 "
                       "\u0416\u0438 \u4e2d\u6587 \U0001F600 e\u0301 in\ufeffside\r\nline two"),
    };
    QTemporaryDir dir;
    const QString saved = dir.filePath(QStringLiteral("saved.bmp"));
    for (const QString& row : rows) {
        SCOPED_TRACE(row.left(40).toStdString());
        const QImage before = picture();
        forget();
        platform.answers = {Answer::Yes};  // to the UTF-8 question, where there is one
        hide(row);
        EXPECT_EQ(platform.flushedTitles, (QStringList{kBusyTitle, kNormalTitle}));
        EXPECT_EQ(platform.flushedPictures.value(0), before);
        withFile(&app::Stego1::Command5_Click, saved);
        ASSERT_EQ(window->imageChanged(), 0) << qPrintable(status());
        setText(QString());
        window->canvas()->setImage(patternImage(10, 10));
        withFile(&app::Stego1::Command4_Click, saved);
        EXPECT_EQ(text(), row) << "Open Image finds it";
        setText(QString());
        window->Command2_Click();
        EXPECT_EQ(text(), row) << "and so does Get Text";
    }
}

TEST_F(HideUtf8, TooMuchUtf8TextIsCountedInBytes)
{
    usePicture(10, 10);  // a body of 9 bytes: the mark and three two-byte letters
    QString titleDuringBox;
    platform.onMessageBox = [&](const platform::MessageBox&) { titleDuringBox = window->windowTitle(); };
    const auto refused = [&](const QString& message, const QString& excess) {
        const QImage before = picture();
        const int flag = window->imageChanged();
        forget();
        hide(message);
        EXPECT_TRUE(sameBoxes({platform.lastBox()}, {{"Mirror Vane", "The Message has " + excess, Icon::Critical,
                                                      Buttons::Ok, Answer::Ok}}));
        EXPECT_EQ(titleDuringBox, kBusyTitle);
        EXPECT_EQ(window->windowTitle(), kNormalTitle);
        EXPECT_EQ(status(), kTooMuch);
        EXPECT_EQ(window->imageChanged(), flag);
        EXPECT_EQ(picture(), before);
    };
    QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
    refused(QString(10, QLatin1Char('m')), "0,666666666666667 characters more than the image can accommodate");
    QLocale::setDefault(QLocale::c());
    platform.answers = {Answer::Yes, Answer::Yes};
    hide(QStringLiteral("\u0141\u0141\u0141"));
    EXPECT_EQ(status(), QStringLiteral("The text message is now hidden in image."));
    refused(QStringLiteral("\u0141\u0141\u0141a"), "0.666666666666667 bytes more than the image can accommodate as UTF-8");
    EXPECT_EQ(window->imageChanged(), 1) << "the message hidden before stays unsaved";
}

// Refused before any work: no busy title, and only the status line and the
// boxes change.  The engine's tests hold the full list of texts that would
// read back cut short; these prove the wiring, on both roads.  Texts outside
// Windows-1252 that the user hides as UTF-8 are the round trip's.
TEST_F(HideUtf8, TextsThatWouldReadBackCutShortAreRefusedWithNothingChanged)
{
    hideUnsaved();
    const QImage before = picture();
    const QString outside = QStringLiteral("snow \u2603, \U0001F600 and \u2603 again: "
                                           "\u0400\u0401\u0402\u0403\u0404\u0405\u0406\u0407\u0408\u0409\u040A\u040B");
    // The UTF-8 question names the first ten characters; No, the default, as the refusal did before.
    const auto question = [](const char* named) {
        return platform::MessageBox{kAlert, QString::fromStdString(stego::utf8Question(named)), Icon::Question,
                                    Buttons::YesNo, Answer::No};
    };
    const platform::MessageBox cutShort{kAlert, QString::fromStdString(stego::cutShortSentence()), Icon::Warning,
                                        Buttons::Ok, Answer::Ok};
    const QString notHidden = QStringLiteral("The text was not hidden in the image.");
    const struct {
        const char* why; QString message; Answer answer; QString status; QList<platform::MessageBox> boxes;
    } rows[] = {
        {"no text", QString(), Answer::No, "There is no text to hide in the image.", {}},
        {"outside the code page, not as UTF-8", outside, Answer::No,
         "The text has characters that cannot be hidden in the image.",
         {question("\u2603 \U0001F600 \u0400 \u0401 \u0402 \u0403 \u0404 \u0405 \u0406 \u0407")}},
        {"would read back cut short", "weekend messag", Answer::No, notHidden, {cutShort}},
        {"as UTF-8, would read back cut short", "\u0141\u00f3d\u017a end message", Answer::Yes, notHidden,
         {question("\u0141 \u017a"), cutShort}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        window->label4()->setText(QStringLiteral("earlier"));
        forget();
        platform.answers = {row.answer};
        hide(row.message);
        EXPECT_EQ(status(), row.status);
        EXPECT_TRUE(sameBoxes(platform.boxes, row.boxes));
        EXPECT_TRUE(platform.flushedTitles.isEmpty()) << "no busy title";
        EXPECT_EQ(window->imageChanged(), 1) << "still the earlier, unsaved message";
        EXPECT_EQ(picture(), before);
        EXPECT_EQ(text(), row.message);
    }
}

}  // namespace

// Too many lines for the box to lay out: offered as a file, the box left
// empty; an encrypted one is still reported as such.
TEST_F(GetText, TextTooLongForTheBoxIsOfferedAsAFile)
{
    usePicture(900, 900);
    hide(QStringLiteral("K 01 \u00e9 K") + QStringLiteral("\r\n").repeated(100001));
    ASSERT_EQ(window->imageChanged(), 1) << qPrintable(status());
    setText(QStringLiteral("typed"));
    forget();
    platform.answers = {Answer::Ok, Answer::No};
    window->Command2_Click();
    ASSERT_EQ(platform.boxes.size(), 2);
    EXPECT_TRUE(platform.boxes.front().text.startsWith(QStringLiteral("You have an Encrypted Text Message!")));
    EXPECT_EQ(platform.boxes.back().buttons, Buttons::YesNo);
    EXPECT_TRUE(text().isEmpty());
    EXPECT_EQ(status(), QStringLiteral("The hidden text is too long to show in the text box."));
    window->text1()->undo();
    EXPECT_EQ(text(), QStringLiteral("typed"));
}
