// The menu bar the logo toggles, and the wiring of every button and menu entry.

#include "windowfixture.h"

#include "shell/prompts.h"

#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>

#include <algorithm>

namespace {

using apptest::WindowTest;

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
    send(QEvent::MouseButtonPress);
    send(QEvent::MouseButtonRelease);
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
    send(QEvent::MouseButtonPress);
    send(QEvent::MouseButtonRelease);
    EXPECT_FALSE(bar->isHidden()) << "the next single click counts again";
    window->hide();
}

class ButtonAndMenu : public WindowTest {
protected:
    // Runs `activate` on a fresh window that holds a text and a clipboard, and
    // returns what it visibly did.
    QString run(const std::function<void()>& activate)
    {
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
    }
};

TEST_F(ButtonAndMenu, EachButtonRunsTheSameCommandAsItsMenuEntry)
{
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

TEST_F(WindowTest, UpgradeButtonEmptiesTheStatusLineAndTheMenuEntryDoesNot)
{
    window->label4()->setText(QStringLiteral("earlier status"));
    child<QAction>("mnuHelpUpgrade")->trigger();
    EXPECT_EQ(status(), QStringLiteral("earlier status"));
    ASSERT_GE(platform.openedUrls.size(), 1);
    const QList<QUrl> byMenu = platform.openedUrls;

    child<QPushButton>("Command8")->click();
    EXPECT_TRUE(status().isEmpty());
    EXPECT_EQ(platform.openedUrls, byMenu + byMenu);
}

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
    child<QAction>("mnuToolsEmail")->trigger();
    child<QAction>("mnuHelpHelp")->trigger();
    EXPECT_EQ(platform.openedUrls.mid(platform.openedUrls.size() - 2),
              (QList<QUrl>{QUrl(shell::kMailLink), QUrl(shell::kOnlineHelpPage)}));

}

}  // namespace
