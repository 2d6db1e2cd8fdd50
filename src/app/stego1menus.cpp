// The menu bar, which the logo shows and hides, the keyboard's Return on
// buttons, and the handlers of the menu entries that lead elsewhere.

#include "stego1.h"
#include "windowenvironment.h"

#include "picture/pictureview.h"
#include "shell/aboutbox.h"
#include "shell/prompts.h"

#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>

#include <utility>

namespace app {

void Stego1::createMenus()
{
    QMenuBar* bar = menuBar();
    // Inside the window on every desktop, so that the client area below it is
    // the same everywhere.
    bar->setNativeMenuBar(false);

    struct Entry {
        const char* name;
        const char* caption;  // nullptr for a separator
        void (Stego1::*handler)();
    };
    const auto addMenu = [&](const char* name, const QString& caption, std::initializer_list<Entry> entries) {
        QMenu* menu = bar->addMenu(caption);
        menu->setObjectName(QString::fromLatin1(name));
        for (const Entry& entry : entries) {
            QAction* action = entry.caption ? menu->addAction(QString::fromLatin1(entry.caption))
                                            : menu->addSeparator();
            action->setObjectName(QString::fromLatin1(entry.name));
            if (entry.handler)
                connectHandler(action, &QAction::triggered, entry.handler);
        }
        m_topMenus.append(menu->menuAction());
    };

    addMenu("mnuFile", QStringLiteral("File"),
            {{"mnuFileLoadImage", "Open Image", &Stego1::mnuFileLoadImage_Click},
             {"mnuFileSaveImage", "Save Image", &Stego1::mnuFileSaveImage_Click},
             {"mnub1", nullptr, nullptr},
             {"mnuFileLoadText", "Open Text", &Stego1::mnuFileLoadText_Click},
             {"mnuFileSaveText", "Save Text", &Stego1::mnuFileSaveText_Click},
             {"mnub2", nullptr, nullptr},
             {"mnuFileExit", "Exit (Close)", &Stego1::mnuFileExit_Click}});
    addMenu("mnuEdit", QStringLiteral("Edit"),
            {{"mnuEditCopyText", "Copy Text", &Stego1::mnuEditCopyText_Click},
             {"mnuEditPasteText", "Paste Text", &Stego1::mnuEditPasteText_Click},
             {"mnuEditClearText", "Clear Text", &Stego1::mnuEditClearText_Click}});
    addMenu("mnuStego", QStringLiteral("Stego"),
            {{"mnuStegoHideText", "Hide Text in Image", &Stego1::mnuStegoHideText_Click},
             {"mnuStegoGetText", "Get Text from Image", &Stego1::mnuStegoGetText_Click}});
    addMenu("mnuCrypto", QStringLiteral("Crypto"),
            {{"mnuCryptoEncrypt", "Encrypt Text", &Stego1::mnuCryptoEncrypt_Click},
             {"mnuCryptoDecrypt", "Decrypt Text", &Stego1::mnuCryptoDecrypt_Click}});
    addMenu("mnuTools", QStringLiteral("Tools"),
            {{"mnuToolsHide", "Hide File in a Picture Image", &Stego1::mnuToolsHide_Click},
             {"mnuToolsLaunchLH", "Lockharbour", &Stego1::mnuToolsLaunchLH_Click},
             {"mnuToolsLaunchPSafe", "Dezazuvo Davo", &Stego1::mnuToolsLaunchPSafe_Click},
             {"mnuToolsLHExplorer", "Harbour Explorer", &Stego1::mnuToolsLHExplorer_Click},
             {"mnuToolsForensics", "Data Forensics", &Stego1::mnuToolsForensics_Click},
             {"mnuToolsShred", "Shred File", &Stego1::mnuToolsShred_Click},
             {"mnuToolsEmail", "Launch Email Client", &Stego1::mnuToolsEmail_Click},
             {"mnub4", nullptr, nullptr},
             {"mnuToolsSelfDec", "Create Self Decrypting Message", &Stego1::mnuToolsSelfDec_Click},
             {"mnuToolsGenPass", "Generate Secure Password", &Stego1::mnuToolsGenPass_Click},
             {"mnub5", nullptr, nullptr},
             {"mnuToolsShortcut", "Create Desktop Shortcut", nullptr}});

    // Options carries no command and has no drop-down: a bare entry on the bar.
    QAction* options = bar->addAction(QStringLiteral("Options"));
    options->setObjectName(QStringLiteral("mnuOptions"));
    m_topMenus.append(options);

    addMenu("mnuHelp", QStringLiteral("Help"),
            {{"mnuHelpHelp", "Online Help", &Stego1::mnuHelpHelp_Click},
             {"mnuHelpAbout", "About Mirrorvane", &Stego1::mnuHelpAbout_Click},
             {"mnub3", nullptr, nullptr},
             {"mnuHelpUpgrade", "Upgrade", &Stego1::mnuHelpUpgrade_Click}});
}

void Stego1::setMenusVisible(bool visible)
{
    for (QAction* menu : std::as_const(m_topMenus))
        menu->setVisible(visible);
    // With every menu hidden the bar itself goes, so nothing is left for Alt
    // or a click to open, and the window shrinks by the bar's height.
    menuBar()->setVisible(visible);
    // The new outer height takes effect now, not on the next turn of the event loop.
    layout()->activate();
}

bool Stego1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Picture4) {
        // A double click is press, release, double-click, release: its
        // second release must not toggle the bar back.
        if (event->type() == QEvent::MouseButtonDblClick) {
            m_logoDoubleClicked = true;
        } else if (event->type() == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const bool second = std::exchange(m_logoDoubleClicked, false);
            if (!second && mouse->button() == Qt::LeftButton && Picture4->rect().contains(mouse->position().toPoint()))
                Picture4_Click();
        }
    }
    // Return and keypad Enter press the focused button as Space does; no
    // button is the window's default.
    if (event->type() == QEvent::KeyPress) {
        auto* button = qobject_cast<QPushButton*>(watched);
        const auto* key = static_cast<QKeyEvent*>(event);
        if (button && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            if (!key->isAutoRepeat() && button->isEnabled())
                button->click();
            return true;
        }
    }
    // A file dropped on the text box would otherwise be pasted as its address.
    const QEvent::Type type = event->type();
    if (watched == Text1->viewport() && (type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop)) {
        auto* drop = static_cast<QDropEvent*>(event);
        QString path;
        if (acceptFileDrag(drop, &path)) {
            if (type == QEvent::Drop)
                openDroppedFile(path);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void Stego1::mnuCryptoEncrypt_Click() { shell::upgradePrompt(m_platform, this, shell::Feature::EncryptText); }
void Stego1::mnuCryptoDecrypt_Click() { shell::upgradePrompt(m_platform, this, shell::Feature::DecryptText); }
void Stego1::mnuToolsHide_Click() { shell::upgradePrompt(m_platform, this, shell::Feature::HideFile); }
void Stego1::mnuToolsLaunchLH_Click() { shell::upgradePrompt(m_platform, this, shell::Feature::Lockharbour); }
void Stego1::mnuToolsLaunchPSafe_Click() { shell::upgradePrompt(m_platform, this, shell::Feature::DezazuvoDavo); }
void Stego1::mnuToolsLHExplorer_Click()
{
    shell::upgradePrompt(m_platform, this, shell::Feature::HarbourExplorer);
}
void Stego1::mnuToolsForensics_Click() { shell::upgradePrompt(m_platform, this, shell::Feature::DataForensics); }
void Stego1::mnuToolsShred_Click() { shell::upgradePrompt(m_platform, this, shell::Feature::ShredFile); }
void Stego1::mnuToolsEmail_Click() { shell::launchEmailClient(m_platform, this); }
void Stego1::mnuToolsSelfDec_Click() { shell::upgradePrompt(m_platform, this, shell::Feature::SelfDecrypting); }
void Stego1::mnuToolsGenPass_Click() { shell::upgradePrompt(m_platform, this, shell::Feature::GeneratePassword); }
void Stego1::mnuHelpHelp_Click() { shell::onlineHelp(m_platform, this); }
void Stego1::mnuHelpAbout_Click() { shell::showAbout(m_platform, this); }
void Stego1::mnuHelpUpgrade_Click() { shell::upgrade(m_platform, this); }

// --- The picture view and the menu bar ---

void Stego1::Picture4_Click()
{
    setMenusVisible(!m_topMenus.constFirst()->isVisible());
}

void Stego1::HScroll1_Change() { m_view->hScrollChanged(); }
void Stego1::VScroll1_Change() { m_view->vScrollChanged(); }

}  // namespace app
