// The window as it stands after start-up: its controls, look, menus and the
// wiring of every button and menu entry.

#include "windowfixture.h"

#include "shell/prompts.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

namespace {

using apptest::WindowTest;

// Plain panels are placed by constants alone and are left out; the picture's
// scroll bars and canvas are moved by the picture view, and Text1 is given
// its font at start-up.
TEST_F(WindowTest, EveryControlHasItsKindCaptionGeometryAndFont)
{
    const struct {
        const char* name;
        const char* kind;
        const char* parent;
        const char* caption;  // nullptr when it has none
        QRect geometry;       // from the inside of its container's border
        double points;        // Arial; 0 when the font does not matter
    } rows[] = {
        {"Label5", "QLabel", "Picture9", "Edit Text", {0, 0, 329, 17}, 8.25},
        {"Command9", "QPushButton", "client", "Copy", {384, 32, 73, 25}, 9},
        {"Command10", "QPushButton", "client", "Clear", {488, 32, 73, 25}, 9},
        {"Command11", "QPushButton", "client", "Paste", {592, 32, 73, 25}, 9},
        {"Picture2", "picture::ImageCanvas", "Picture1", nullptr, {40, 12, 256, 256}, 0},
        {"HScroll1", "QScrollBar", "client", nullptr, {0, 336, 337, 17}, 0},
        {"VScroll1", "QScrollBar", "client", nullptr, {337, 72, 16, 281}, 0},
        {"Text1", "QPlainTextEdit", "client", nullptr, {352, 72, 345, 281}, 12},
        {"Label1", "QLabel", "Picture5", "Picture, Image, Photo File", {0, 0, 209, 17}, 8.25},
        {"Command4", "QPushButton", "client", "Open Image", {16, 392, 89, 25}, 9},
        {"Command5", "QPushButton", "client", "Save Image", {112, 392, 97, 25}, 9},
        {"Label2", "QLabel", "Picture6", "Steganography", {0, 0, 225, 17}, 8.25},
        {"Command1", "QPushButton", "client", "Hide Text", {240, 392, 97, 25}, 9},
        {"Command2", "QPushButton", "client", "Get Text", {352, 392, 97, 25}, 9},
        {"Label3", "QLabel", "Picture7", "Text File", {0, 0, 217, 17}, 8.25},
        {"Command3", "QPushButton", "client", "Open Text", {480, 392, 97, 25}, 9},
        {"Command6", "QPushButton", "client", "Save Text", {584, 392, 97, 25}, 9},
        {"Label4", "QLabel", "client", "", {16, 448, 409, 25}, 9},
        {"Command8", "QPushButton", "Picture8", "Upgrade", {8, 6, 97, 25}, 9},
        {"Command7", "QPushButton", "client", "Exit", {584, 448, 97, 25}, 9},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QWidget* widget = child(row.name);
        if (!widget)
            continue;
        EXPECT_TRUE(widget->inherits(row.kind));
        EXPECT_EQ(widget->parentWidget()->objectName(), row.parent);
        QPoint origin;
        if (const auto* frame = qobject_cast<const QFrame*>(widget->parentWidget()))
            origin = frame->contentsRect().topLeft();
        EXPECT_EQ(widget->geometry().translated(-origin), row.geometry);
        if (const auto* button = qobject_cast<QPushButton*>(widget)) {
            EXPECT_EQ(button->text(), row.caption) << "no access keys either";
            EXPECT_FALSE(button->isDefault() || button->autoDefault());
        } else if (row.caption) {
            EXPECT_EQ(qobject_cast<QLabel*>(widget)->text(), row.caption);
        }
        if (row.points > 0) {
            const QFont font = widget->font();
            EXPECT_EQ(font.family(), QStringLiteral("Arial"));
            EXPECT_DOUBLE_EQ(font.pointSizeF(), row.points);
            EXPECT_EQ(font.bold(), std::string_view(row.name) == "Label4") << "only the status line is bold";
            EXPECT_FALSE(font.underline() || font.strikeOut());
        }
    }
}

TEST_F(WindowTest, StartsAmberOnBlackInTheDocumentedState)
{
    EXPECT_EQ(window->windowTitle(), apptest::kStartTitle);
    EXPECT_TRUE(status().isEmpty()) << "the design caption never shows";
    EXPECT_TRUE(window->text1()->document()->isEmpty());
    EXPECT_EQ(window->imageChanged(), 0);
    EXPECT_TRUE(window->loadedImagePath().isEmpty() && window->hideResult().isEmpty());
    EXPECT_EQ(window->canvas()->image().size(), QSize(256, 256));
    EXPECT_TRUE(platform.boxes.isEmpty());

    const QColor amber(254, 185, 17);
    const QColor black(Qt::black);
    EXPECT_EQ(window->text1()->palette().color(QPalette::Text), amber);
    EXPECT_EQ(window->text1()->palette().color(QPalette::Base), black);
    for (const QString& name : QStringLiteral("Label1 Label2 Label3 Label4 Label5").split(' '))
        EXPECT_TRUE(child(name)->palette().color(QPalette::WindowText) == amber
                    && child(name)->palette().color(QPalette::Window) == black) << qPrintable(name);
    for (const QString& name : QStringLiteral("Picture1 Picture2 Picture3 Picture5 Picture6 Picture7 Picture8 Picture9 "
                                             "client").split(' '))
        EXPECT_TRUE(child(name)->palette().color(QPalette::Window) == black
                    && (child(name)->autoFillBackground() || child(name)->testAttribute(Qt::WA_OpaquePaintEvent)))
            << qPrintable(name);
}

TEST_F(WindowTest, TabWalksTheButtonsInTheirOrderStartingAtOpenImage)
{
    window->show();
    QApplication::setActiveWindow(window.get());
    EXPECT_EQ(window->focusWidget(), child("Command4"));
    const QStringList expected = QStringLiteral("Command4 Command5 Command1 Command2 Command3 Command6 Command9 "
                                                "Command10 Command11 Text1 Command8 Command7")
                                     .split(' ');
    QStringList walked;
    for (QWidget* widget = child("Command4"); walked.size() < expected.size(); widget = widget->nextInFocusChain())
        if ((widget->focusPolicy() & Qt::TabFocus) && widget->isVisibleTo(window.get()))
            walked.append(widget->objectName());
    EXPECT_EQ(walked, expected);
    window->hide();
}

// A hidden bar leaves nothing for Alt to open.
TEST_F(WindowTest, LogoClickTogglesAllSevenMenusWhileTheClientAreaStaysFixed)
{
    EXPECT_FALSE(window->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(window->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(window->windowIcon().actualSize(QSize(48, 48)), QSize(48, 48));
    window->show();
    QMenuBar* bar = window->menuBar();
    EXPECT_TRUE(bar->isHidden());
    EXPECT_EQ(window->size(), QSize(697, 490));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());

    QWidget* logo = child("Picture4");
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, QPointF(20, 20), logo->mapToGlobal(QPointF(20, 20)), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(logo, &event);
    }
    EXPECT_FALSE(bar->isHidden());
    QStringList shown;
    for (const QAction* action : bar->actions())
        if (action->isVisible())
            shown.append(action->text());
    EXPECT_EQ(shown, (QStringList{"File", "Edit", "Stego", "Crypto", "Tools", "Options", "Help"}));
    EXPECT_EQ(window->centralWidget()->size(), QSize(697, 490));
    EXPECT_EQ(window->height(), 490 + bar->height());

    window->Picture4_Click();
    EXPECT_TRUE(bar->isHidden());
    EXPECT_EQ(window->height(), 490);
    window->hide();
}

TEST_F(WindowTest, MenuTreeHasEveryEntryAndSeparatorInOrder)
{
    // "name=caption", or a name alone for a separator.
    const std::pair<const char*, QStringList> menus[] = {
        {"mnuFile",
         {"mnuFileLoadImage=Open Image", "mnuFileSaveImage=Save Image", "mnub1", "mnuFileLoadText=Open Text",
          "mnuFileSaveText=Save Text", "mnub2", "mnuFileExit=Exit (Close)"}},
        {"mnuEdit", {"mnuEditCopyText=Copy Text", "mnuEditPasteText=Paste Text", "mnuEditClearText=Clear Text"}},
        {"mnuStego", {"mnuStegoHideText=Hide Text in Image", "mnuStegoGetText=Get Text from Image"}},
        {"mnuCrypto", {"mnuCryptoEncrypt=Encrypt Text", "mnuCryptoDecrypt=Decrypt Text"}},
        {"mnuTools",
         {"mnuToolsHide=Hide File in a Picture Image", "mnuToolsLaunchLH=Lockharbour",
          "mnuToolsLaunchPSafe=Dezazuvo Davo", "mnuToolsLHExplorer=Harbour Explorer",
          "mnuToolsForensics=Data Forensics", "mnuToolsShred=Shred File", "mnuToolsEmail=Launch Email Client",
          "mnub4", "mnuToolsSelfDec=Create Self Decrypting Message", "mnuToolsGenPass=Generate Secure Password",
          "mnub5", "mnuToolsShortcut=Create Desktop Shortcut"}},
        {"mnuHelp", {"mnuHelpHelp=Online Help", "mnuHelpAbout=About Mirrorvane", "mnub3", "mnuHelpUpgrade=Upgrade"}},
    };
    for (const auto& [name, expected] : menus) {
        QStringList entries;
        for (const QAction* action : child<QMenu>(name)->actions()) {
            EXPECT_TRUE(action->shortcut().isEmpty()) << action->objectName().toStdString();
            entries.append(action->objectName() + (action->isSeparator() ? QString() : '=' + action->text()));
        }
        EXPECT_EQ(entries, expected) << name;
    }
    const auto* options = child<QAction>("mnuOptions");
    EXPECT_EQ(options->text(), QStringLiteral("Options"));
    EXPECT_EQ(options->menu(), nullptr) << "Options has no drop-down";
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

    QString shownClass;
    QTimer::singleShot(0, [&shownClass] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            shownClass = modal->metaObject()->className();
            modal->close();
        }
    });
    child<QAction>("mnuHelpAbout")->trigger();
    EXPECT_EQ(shownClass, QStringLiteral("shell::frmAbout"));
}

}  // namespace
