// Start-up, the ways out, the menu bar the logo toggles, and the wiring of
// every button and menu entry.

#include "windowfixture.h"

#include "app/titlebar.h"
#include "shell/prompts.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QToolButton>

#include <algorithm>
#include <optional>

namespace {

using namespace apptest;

// Below 32 bits a pixel, one message and no window (a 32-bit display is where
// every other test starts); otherwise both dialogs start in the documents
// folder, or the profile, or nowhere in particular.
TEST(StartUp, BothDialogsStartInTheDocumentsFolderOrItsFallbacks)
{
    const platform::MessageBox refusal{kAlert, "You must run your display resolution at 32 bits per pixel to use "
                                               "Mirrorvane!", Icon::Information, Buttons::Ok, Answer::Ok};
    const struct {
        const char* why; int bits; QString documents; std::optional<QString> userProfile; QString expected;
    } rows[] = {
        {"a 24-bit display is refused", 24, "", std::nullopt, ""},
        {"documents folder wins", 32, "/home/ann/Documents", "/home/ann", "/home/ann/Documents"},
        {"no documents folder: the profile", 32, "", "/home/ann", "/home/ann"},
        {"neither: nowhere in particular", 32, "", std::nullopt, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        RecordingPlatform platform;
        platform.bitsPerPixel = row.bits;
        platform.documents = row.documents;
        if (row.userProfile)
            platform.environment.insert(QStringLiteral("USERPROFILE"), *row.userProfile);
        app::Stego1 window(platform);
        EXPECT_EQ(window.Form_Load(), row.bits == 32);
        EXPECT_TRUE(sameBoxes(platform.boxes, row.bits == 32 ? QList<platform::MessageBox>{} : QList{refusal}));
        EXPECT_FALSE(window.isVisible());
        EXPECT_FALSE(QGuiApplication::windowIcon().isNull()) << "a refusal too carries the program's icon";
        EXPECT_EQ(QStringList({window.commonDialog1().folder, window.dialog2().folder}), QStringList(2, row.expected));
    }
}

// Each way out, with and without an unsaved message, and what the answer does.
TEST_F(WindowTest, ExitAndTheCloseBoxAskOnlyWhileAMessageIsUnsavedAndNoKeepsIt)
{
    const platform::MessageBox question{kAlert,
                                        "Are You Sure Tou Wish To Exit?\r\n\r\nYou Have Changed The Image But\r\n"
                                        "Have Not Saved These Changes!\r\n\r\nClick YES to EXIT Or NO To CANCEL",
                                        Icon::Question, Buttons::YesNo, Answer::No};
    const std::function<void()> button = [this] { child<QPushButton>("Command7")->click(); };
    const std::function<void()> entry = [this] { child<QAction>("mnuFileExit")->trigger(); };
    const std::function<void()> closeBox = [this] { window->close(); };
    const std::function<void()> titleBarCloseBox = [this] {
        (new app::TitleBar(window.get()))->findChild<QToolButton*>("closeBox")->click();
    };
    const struct {
        const char* why; bool unsaved; std::optional<Answer> answer; const std::function<void()>& way; bool closes;
    } rows[] = {
        {"Exit, nothing unsaved", false, {}, entry, true},
        {"the close box, nothing unsaved", false, {}, closeBox, true},
        {"the button, No", true, Answer::No, button, false},
        {"the menu entry, unanswered: the default", true, {}, entry, false},
        {"the close box, No", true, Answer::No, closeBox, false},
        // Exit clears the flag before it closes, so the close box does not ask again.
        {"the button, Yes", true, Answer::Yes, button, true},
        {"the close box, Yes", true, Answer::Yes, closeBox, true},
        // The title bar standing in for Qt's own decoration has the same close box.
        {"the title bar's close box, No", true, Answer::No, titleBarCloseBox, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        window->show();
        forget();
        if (row.unsaved)
            hideUnsaved();
        platform.answers = row.answer ? std::deque{*row.answer} : std::deque<Answer>{};
        row.way();
        EXPECT_TRUE(sameBoxes(platform.boxes, row.unsaved ? QList{question} : QList<platform::MessageBox>{}));
        EXPECT_NE(window->isVisible(), row.closes);
        EXPECT_EQ(window->imageChanged(), row.unsaved && !row.closes ? 1 : 0) << "No keeps the message";
    }
}

// The client area stays 697 x 490 and the window grows by the bar; a hidden
// bar leaves nothing for Alt to open.  A double click toggles it once.
TEST_F(WindowTest, LogoClickTogglesAllSevenMenusWhileTheClientAreaStaysFixed)
{
    window->show();
    QMenuBar* bar = window->menuBar();
    EXPECT_TRUE(bar->isHidden());

    QWidget* logo = child("Picture4");
    const auto send = [logo](QEvent::Type type) {
        QMouseEvent event(type, QPointF(20, 20), logo->mapToGlobal(QPointF(20, 20)), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(logo, &event);
    };
    const auto click = [&] { send(QEvent::MouseButtonPress); send(QEvent::MouseButtonRelease); };
    click();
    EXPECT_FALSE(bar->isHidden());
    const QList<QAction*> menus = bar->actions();
    EXPECT_EQ(std::count_if(menus.begin(), menus.end(), [](const QAction* menu) { return menu->isVisible(); }), 7);
    EXPECT_EQ(window->centralWidget()->size(), QSize(697, 490));
    EXPECT_EQ(window->height(), 490 + bar->height());

    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                                    QEvent::MouseButtonRelease})
        send(type);
    EXPECT_TRUE(bar->isHidden()) << "a double click is one toggle";
    EXPECT_EQ(window->height(), 490);
    click();
    EXPECT_FALSE(bar->isHidden()) << "the next single click counts again";
}

TEST_F(WindowTest, EachButtonRunsTheSameCommandAsItsMenuEntry)
{
    // Runs `activate` on a fresh window that holds a text and a clipboard, and
    // returns what it visibly did.
    const auto run = [this](const std::function<void()>& activate) {
        platform = {};
        start();
        setText(QStringLiteral("Meet at the old mill\r\nat noon"));
        platform.clipboard = QStringLiteral("from the clipboard");
        window->label4()->setText(QStringLiteral("earlier status"));
        activate();
        QStringList seen{status(), window->text1()->toPlainText(), platform.clipboard, window->windowTitle(),
                         QString::number(window->imageChanged())};
        for (const platform::MessageBox& box : platform.boxes)
            seen << "box:" + box.title + '|' + box.text;
        for (const platform::FileDialog& dialog : platform.dialogs)
            seen << "dialog:" + dialog.title;
        for (const QUrl& url : platform.openedUrls)
            seen << "url:" + url.toString();
        return seen.join('\n');
    };
    const QString nothing = run([] {});
    for (const auto& [button, entry] : {std::pair{"Command1", "mnuStegoHideText"}, {"Command2", "mnuStegoGetText"},
                                        {"Command3", "mnuFileLoadText"}, {"Command4", "mnuFileLoadImage"},
                                        {"Command5", "mnuFileSaveImage"}, {"Command6", "mnuFileSaveText"},
                                        {"Command9", "mnuEditCopyText"}, {"Command10", "mnuEditClearText"},
                                        {"Command11", "mnuEditPasteText"}}) {
        const QString byButton = run([&] { child<QPushButton>(button)->click(); });
        EXPECT_EQ(byButton, run([&] { child<QAction>(entry)->trigger(); })) << button;
        EXPECT_NE(byButton, nothing) << button << " must do something visible";
    }
    EXPECT_EQ(run([&] { child<QAction>("mnuToolsShortcut")->trigger(); }), nothing);
    EXPECT_EQ(run([&] { child<QAction>("mnuOptions")->trigger(); }), nothing);
}

// The entries without a button: each prompt names its own feature, each link
// its own target; only the Upgrade button empties the status line first.
TEST_F(WindowTest, CompanionEntriesShowTheirOwnPromptsAndLinks)
{
    using shell::Feature;
    for (const auto& [entry, feature] :
         {std::pair{"mnuCryptoEncrypt", Feature::EncryptText}, {"mnuCryptoDecrypt", Feature::DecryptText},
          {"mnuToolsHide", Feature::HideFile}, {"mnuToolsLaunchLH", Feature::Lockharbour},
          {"mnuToolsLaunchPSafe", Feature::DezazuvoDavo}, {"mnuToolsLHExplorer", Feature::HarbourExplorer},
          {"mnuToolsForensics", Feature::DataForensics}, {"mnuToolsShred", Feature::ShredFile},
          {"mnuToolsSelfDec", Feature::SelfDecrypting}, {"mnuToolsGenPass", Feature::GeneratePassword}}) {
        platform.answers.push_back(platform::Answer::No);
        child<QAction>(entry)->trigger();
        EXPECT_EQ(platform.lastBox().text, shell::upgradePromptText(feature)) << entry;
    }
    window->label4()->setText(QStringLiteral("earlier status"));
    for (const char* entry : {"mnuToolsEmail", "mnuHelpHelp", "mnuHelpUpgrade"})
        child<QAction>(entry)->trigger();
    EXPECT_EQ(status(), QStringLiteral("earlier status"));
    child<QPushButton>("Command8")->click();
    EXPECT_TRUE(status().isEmpty());
    const QUrl home(shell::kCompanionHomePage);
    EXPECT_EQ(platform.openedUrls, (QList<QUrl>{QUrl(shell::kMailLink), QUrl(shell::kOnlineHelpPage), home, home}));
}

}  // namespace
