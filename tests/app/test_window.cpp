// The window as it stands after start-up: its controls, look, menus and the
// wiring of every button and menu entry.

#include "windowfixture.h"

#include "shell/prompts.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

namespace {

using apptest::WindowTest;

// Geometry of a control from the inside of its container, as the window's
// layout is written.
QRect placedGeometry(const QWidget* widget)
{
    QPoint origin;
    if (const auto* frame = qobject_cast<const QFrame*>(widget->parentWidget()))
        origin = frame->contentsRect().topLeft();
    return widget->geometry().translated(-origin);
}

struct ControlRow {
    const char* name;
    const char* kind;     // Qt class the control must be
    const char* parent;   // object name of its container
    const char* caption;  // text of buttons and labels; nullptr when it has none
    QRect geometry;
    double points;        // font size; 0 when the font does not matter
    bool bold;
};

const ControlRow kControls[] = {
    {"Picture4", "QLabel", "client", nullptr, {0, 8, 210, 58}, 0, false},
    {"Picture9", "QFrame", "client", nullptr, {360, 8, 329, 57}, 0, false},
    {"Label5", "QLabel", "Picture9", "Edit Text", {0, 0, 329, 17}, 8.25, false},
    {"Command9", "QPushButton", "client", "Copy", {384, 32, 73, 25}, 9, false},
    {"Command10", "QPushButton", "client", "Clear", {488, 32, 73, 25}, 9, false},
    {"Command11", "QPushButton", "client", "Paste", {592, 32, 73, 25}, 9, false},
    {"Picture1", "QFrame", "client", nullptr, {0, 72, 337, 281}, 0, false},
    {"Picture2", "picture::ImageCanvas", "Picture1", nullptr, {40, 12, 256, 256}, 0, false},
    {"HScroll1", "QScrollBar", "client", nullptr, {0, 336, 337, 17}, 0, false},
    {"VScroll1", "QScrollBar", "client", nullptr, {337, 72, 16, 281}, 0, false},
    {"Text1", "QPlainTextEdit", "client", nullptr, {352, 72, 345, 281}, 12, false},
    {"Picture5", "QFrame", "client", nullptr, {8, 368, 209, 57}, 0, false},
    {"Label1", "QLabel", "Picture5", "Picture, Image, Photo File", {0, 0, 209, 17}, 8.25, false},
    {"Command4", "QPushButton", "client", "Open Image", {16, 392, 89, 25}, 9, false},
    {"Command5", "QPushButton", "client", "Save Image", {112, 392, 97, 25}, 9, false},
    {"Picture6", "QFrame", "client", nullptr, {232, 368, 225, 57}, 0, false},
    {"Label2", "QLabel", "Picture6", "Steganography", {0, 0, 225, 17}, 8.25, false},
    {"Command1", "QPushButton", "client", "Hide Text", {240, 392, 97, 25}, 9, false},
    {"Command2", "QPushButton", "client", "Get Text", {352, 392, 97, 25}, 9, false},
    {"Picture7", "QFrame", "client", nullptr, {472, 368, 217, 57}, 0, false},
    {"Label3", "QLabel", "Picture7", "Text File", {0, 0, 217, 17}, 8.25, false},
    {"Command3", "QPushButton", "client", "Open Text", {480, 392, 97, 25}, 9, false},
    {"Command6", "QPushButton", "client", "Save Text", {584, 392, 97, 25}, 9, false},
    {"Label4", "QLabel", "client", "", {16, 448, 409, 25}, 9, true},
    {"Picture3", "QWidget", "client", nullptr, {432, 440, 33, 41}, 0, false},
    {"Picture8", "QFrame", "client", nullptr, {472, 440, 217, 41}, 0, false},
    {"Command8", "QPushButton", "Picture8", "Upgrade", {8, 6, 97, 25}, 9, false},
    {"Command7", "QPushButton", "client", "Exit", {584, 448, 97, 25}, 9, false},
};

TEST_F(WindowTest, EveryControlHasItsKindCaptionGeometryAndFont)
{
    for (const ControlRow& row : kControls) {
        SCOPED_TRACE(row.name);
        auto* widget = child<QWidget>(QString::fromLatin1(row.name));
        if (!widget)
            continue;
        EXPECT_TRUE(widget->inherits(row.kind));
        EXPECT_EQ(widget->parentWidget()->objectName(), QString::fromLatin1(row.parent));
        EXPECT_EQ(placedGeometry(widget), row.geometry);
        if (row.caption) {
            const auto* button = qobject_cast<QPushButton*>(widget);
            const auto* label = qobject_cast<QLabel*>(widget);
            EXPECT_EQ(button ? button->text() : label->text(), QString::fromLatin1(row.caption));
            if (button) {
                EXPECT_FALSE(button->isDefault());
                EXPECT_FALSE(button->autoDefault());
                EXPECT_FALSE(button->text().contains(QLatin1Char('&'))) << "no access keys";
            }
        }
        if (row.points > 0) {
            const QFont font = widget->font();
            EXPECT_EQ(font.family(), QStringLiteral("Arial"));
            EXPECT_DOUBLE_EQ(font.pointSizeF(), row.points);
            EXPECT_EQ(font.bold(), row.bold);
            EXPECT_FALSE(font.underline());
            EXPECT_FALSE(font.strikeOut());
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
    EXPECT_EQ(window->text1()->palette().color(QPalette::Text), amber);
    EXPECT_EQ(window->text1()->palette().color(QPalette::Base), QColor(Qt::black));
    for (const char* name : {"Label1", "Label2", "Label3", "Label4", "Label5"}) {
        const auto* label = child<QLabel>(QString::fromLatin1(name));
        EXPECT_EQ(label->palette().color(QPalette::WindowText), amber) << name;
        EXPECT_EQ(label->palette().color(QPalette::Window), QColor(Qt::black)) << name;
    }
    for (const char* name : {"Picture1", "Picture2", "Picture3", "Picture5", "Picture6", "Picture7", "Picture8",
                             "Picture9", "client"}) {
        const auto* widget = child<QWidget>(QString::fromLatin1(name));
        EXPECT_EQ(widget->palette().color(QPalette::Window), QColor(Qt::black)) << name;
        EXPECT_TRUE(widget->autoFillBackground() || widget->testAttribute(Qt::WA_OpaquePaintEvent)) << name;
    }
}

TEST_F(WindowTest, TabWalksTheButtonsInTheirOrderStartingAtOpenImage)
{
    window->show();
    QApplication::setActiveWindow(window.get());
    EXPECT_EQ(window->focusWidget(), child<QWidget>(QStringLiteral("Command4")));

    const QStringList expected{QStringLiteral("Command4"),  QStringLiteral("Command5"), QStringLiteral("Command1"),
                               QStringLiteral("Command2"),  QStringLiteral("Command3"), QStringLiteral("Command6"),
                               QStringLiteral("Command9"),  QStringLiteral("Command10"), QStringLiteral("Command11"),
                               QStringLiteral("Text1"),     QStringLiteral("Command8"), QStringLiteral("Command7")};
    QStringList walked;
    QWidget* widget = child<QWidget>(QStringLiteral("Command4"));
    while (walked.size() < expected.size()) {
        if ((widget->focusPolicy() & Qt::TabFocus) && widget->isVisibleTo(window.get()))
            walked.append(widget->objectName());
        widget = widget->nextInFocusChain();
    }
    EXPECT_EQ(walked, expected);
    window->hide();
}

TEST_F(WindowTest, LogoClickTogglesAllSevenMenusWhileTheClientAreaStaysFixed)
{
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_EQ(window->windowIcon().actualSize(QSize(48, 48)), QSize(48, 48));

    window->show();
    QMenuBar* bar = window->menuBar();
    EXPECT_TRUE(bar->isHidden());
    EXPECT_EQ(window->size(), QSize(697, 490));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());

    auto* logo = child<QWidget>(QStringLiteral("Picture4"));
    const QPointF inside(20, 20);
    QMouseEvent press(QEvent::MouseButtonPress, inside, logo->mapToGlobal(inside), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, inside, logo->mapToGlobal(inside), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(logo, &press);
    QApplication::sendEvent(logo, &release);

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

TEST_F(WindowTest, AltOpensNothingWhileTheMenuBarIsHidden)
{
    window->show();
    QApplication::setActiveWindow(window.get());
    QWidget* target = window->focusWidget() ? window->focusWidget() : window.get();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Alt, Qt::AltModifier);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Alt, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QApplication::sendEvent(target, &release);
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(target, &down);

    EXPECT_EQ(window->menuBar()->activeAction(), nullptr);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_TRUE(window->menuBar()->isHidden());
    window->hide();
}

struct MenuRow {
    const char* menu;
    QStringList entries;  // "name=caption", or "name" alone for a separator
};

TEST_F(WindowTest, MenuTreeHasEveryEntryAndSeparatorInOrder)
{
    const MenuRow menus[] = {
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
    for (const MenuRow& row : menus) {
        SCOPED_TRACE(row.menu);
        const auto* menu = child<QMenu>(QString::fromLatin1(row.menu));
        if (!menu)
            continue;
        QStringList entries;
        for (const QAction* action : menu->actions()) {
            EXPECT_TRUE(action->shortcut().isEmpty()) << action->objectName().toStdString();
            entries.append(action->isSeparator() ? action->objectName()
                                                 : action->objectName() + QLatin1Char('=') + action->text());
        }
        EXPECT_EQ(entries, row.entries);
    }
    const auto* options = child<QAction>(QStringLiteral("mnuOptions"));
    EXPECT_EQ(options->text(), QStringLiteral("Options"));
    EXPECT_EQ(options->menu(), nullptr) << "Options has no drop-down";
}

// What a command visibly did, for comparing a button with its menu entry.
QString observe(const apptest::RecordingPlatform& platform, const app::Stego1& window)
{
    QStringList seen;
    for (const platform::MessageBox& box : platform.boxes)
        seen.append(QStringLiteral("box:") + box.title + QLatin1Char('|') + box.text);
    for (const platform::FileDialog& dialog : platform.dialogs)
        seen.append(QStringLiteral("dialog:") + dialog.title);
    for (const QUrl& url : platform.openedUrls)
        seen.append(QStringLiteral("url:") + url.toString());
    seen.append(QStringLiteral("status:") + window.label4()->text());
    seen.append(QStringLiteral("text:") + window.text1()->toPlainText());
    seen.append(QStringLiteral("clipboard:") + platform.clipboard);
    seen.append(QStringLiteral("title:") + window.windowTitle());
    seen.append(QStringLiteral("changed:") + QString::number(window.imageChanged()));
    return seen.join(QLatin1Char('\n'));
}

struct PairRow {
    const char* button;
    const char* entry;
};

class ButtonAndMenu : public WindowTest, public ::testing::WithParamInterface<PairRow> {
protected:
    // Runs `activate` on a fresh window that holds a text and a clipboard.
    QString runOnFreshWindow(const std::function<void()>& activate)
    {
        platform = {};
        start();
        setText(QStringLiteral("Meet at the old mill\r\nat noon"));
        platform.clipboard = QStringLiteral("from the clipboard");
        window->label4()->setText(QStringLiteral("earlier status"));
        activate();
        return observe(platform, *window);
    }
};

TEST_P(ButtonAndMenu, BothRunTheSameCommand)
{
    const QString byButton = runOnFreshWindow([&] {
        child<QPushButton>(QString::fromLatin1(GetParam().button))->click();
    });
    const QString byMenu = runOnFreshWindow([&] {
        child<QAction>(QString::fromLatin1(GetParam().entry))->trigger();
    });
    EXPECT_EQ(byButton, byMenu);
    const QString nothing = runOnFreshWindow([] {});
    EXPECT_NE(byButton, nothing) << "the command must do something visible";
}

TEST_F(ButtonAndMenu, ShortcutAndOptionsRunNothing)
{
    const QString nothing = runOnFreshWindow([] {});
    EXPECT_EQ(runOnFreshWindow([&] { child<QAction>(QStringLiteral("mnuToolsShortcut"))->trigger(); }), nothing);
    EXPECT_EQ(runOnFreshWindow([&] { child<QAction>(QStringLiteral("mnuOptions"))->trigger(); }), nothing);
}

INSTANTIATE_TEST_SUITE_P(Pairs, ButtonAndMenu,
                         ::testing::Values(PairRow{"Command1", "mnuStegoHideText"},
                                           PairRow{"Command2", "mnuStegoGetText"},
                                           PairRow{"Command3", "mnuFileLoadText"},
                                           PairRow{"Command4", "mnuFileLoadImage"},
                                           PairRow{"Command5", "mnuFileSaveImage"},
                                           PairRow{"Command6", "mnuFileSaveText"},
                                           PairRow{"Command9", "mnuEditCopyText"},
                                           PairRow{"Command10", "mnuEditClearText"},
                                           PairRow{"Command11", "mnuEditPasteText"}),
                         [](const ::testing::TestParamInfo<PairRow>& row) {
                             return std::string(row.param.button);
                         });

TEST_F(WindowTest, UpgradeButtonEmptiesTheStatusLineAndTheMenuEntryDoesNot)
{
    window->label4()->setText(QStringLiteral("earlier status"));
    child<QAction>(QStringLiteral("mnuHelpUpgrade"))->trigger();
    EXPECT_EQ(status(), QStringLiteral("earlier status"));
    const qsizetype urls = platform.openedUrls.size();
    EXPECT_GE(urls, 1);

    child<QPushButton>(QStringLiteral("Command8"))->click();
    EXPECT_TRUE(status().isEmpty());
    EXPECT_EQ(platform.openedUrls.size(), 2 * urls);
    EXPECT_EQ(platform.openedUrls.constLast(), platform.openedUrls.constFirst());
}

TEST_F(WindowTest, CompanionEntriesShowTheirOwnPromptsAndLinks)
{
    const std::pair<const char*, shell::Feature> prompts[] = {
        {"mnuCryptoEncrypt", shell::Feature::EncryptText},     {"mnuCryptoDecrypt", shell::Feature::DecryptText},
        {"mnuToolsHide", shell::Feature::HideFile},            {"mnuToolsLaunchLH", shell::Feature::Lockharbour},
        {"mnuToolsLaunchPSafe", shell::Feature::DezazuvoDavo}, {"mnuToolsLHExplorer", shell::Feature::HarbourExplorer},
        {"mnuToolsForensics", shell::Feature::DataForensics},  {"mnuToolsShred", shell::Feature::ShredFile},
        {"mnuToolsSelfDec", shell::Feature::SelfDecrypting},   {"mnuToolsGenPass", shell::Feature::GeneratePassword},
    };
    for (const auto& [entry, feature] : prompts) {
        platform.answers.push_back(platform::Answer::No);
        child<QAction>(QString::fromLatin1(entry))->trigger();
        EXPECT_EQ(platform.lastBox().text, shell::upgradePromptText(feature)) << entry;
    }
    child<QAction>(QStringLiteral("mnuToolsEmail"))->trigger();
    EXPECT_EQ(platform.openedUrls.constLast(), QUrl(QString::fromLatin1(shell::kMailLink)));
    child<QAction>(QStringLiteral("mnuHelpHelp"))->trigger();
    EXPECT_EQ(platform.openedUrls.constLast(), QUrl(QString::fromLatin1(shell::kOnlineHelpPage)));

    QString shownClass;
    QTimer::singleShot(0, [&shownClass] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            shownClass = QString::fromLatin1(modal->metaObject()->className());
            modal->close();
        }
    });
    child<QAction>(QStringLiteral("mnuHelpAbout"))->trigger();
    EXPECT_EQ(shownClass, QStringLiteral("shell::frmAbout"));
}

}  // namespace
