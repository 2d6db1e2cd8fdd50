#pragma once

#include "platform/platform.h"

#include <QMainWindow>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QAction;
class QDropEvent;
class QFrame;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;

namespace picture {
class ImageCanvas;
class PictureView;
}  // namespace picture

namespace app {

struct WindowEnvironment;

// The main window: every control, the menus, the window's shared state and
// every command handler.  Handlers that a button and a menu entry share are
// written once; the other one forwards.  Its definition is spread by concern:
// stego1layout.cpp (controls, layout and look), stego1menus.cpp (menus,
// keyboard, the logo), stego1files.cpp (drops, the command-line file, closing)
// and stego1.cpp (the handlers).
class Stego1 : public QMainWindow {
    Q_OBJECT
public:
    explicit Stego1(platform::Platform& platform, QWidget* parent = nullptr);
    ~Stego1() override;

    // Start-up before the window is first shown.  False when the display is
    // refused: the refusal has been shown and the window must not be.
    bool Form_Load();

    // Looks for a hidden message in the working picture and, when one is
    // found, puts it into `Text1`; then examines `Text1` for an encrypted
    // text.  Open Image runs it after every picture it opens.  False when the
    // text found was too long for `Text1` and was offered as a file instead.
    bool ReadMessage();

    // Opens the file named by the command-line argument `argument` (a path
    // relative to the working folder or absolute) once the event loop runs,
    // as Open Text opens a ".txt" file and Open Image any other.
    void openCommandLineFile(const QByteArray& argument);

    std::int16_t imageChanged() const;
    const QString& loadedImagePath() const;
    picture::ImageCanvas* canvas() const { return m_canvas; }
    picture::PictureView& pictureView() const { return *m_view; }
    QPlainTextEdit* text1() const { return Text1; }
    QLabel* label4() const { return Label4; }
    const platform::FileDialog& commonDialog1() const;
    const platform::FileDialog& dialog2() const;

public slots:
    void Command1_Click();   // "Hide Text"
    void Command2_Click();   // "Get Text"
    void Command3_Click();   // "Open Text"
    void Command4_Click();   // "Open Image"
    void Command5_Click();   // "Save Image"
    void Command6_Click();   // "Save Text"
    void Command7_Click();   // "Exit"
    void Command8_Click();   // "Upgrade"
    void Command9_Click();   // "Copy"
    void Command10_Click();  // "Clear"
    void Command11_Click();  // "Paste"

    void mnuFileLoadImage_Click();
    void mnuFileSaveImage_Click();
    void mnuFileLoadText_Click();
    void mnuFileSaveText_Click();
    void mnuFileExit_Click();
    void mnuEditCopyText_Click();
    void mnuEditPasteText_Click();
    void mnuEditClearText_Click();
    void mnuStegoHideText_Click();
    void mnuStegoGetText_Click();
    void mnuCryptoEncrypt_Click();
    void mnuCryptoDecrypt_Click();
    void mnuToolsHide_Click();
    void mnuToolsLaunchLH_Click();
    void mnuToolsLaunchPSafe_Click();
    void mnuToolsLHExplorer_Click();
    void mnuToolsForensics_Click();
    void mnuToolsShred_Click();
    void mnuToolsEmail_Click();
    void mnuToolsSelfDec_Click();
    void mnuToolsGenPass_Click();
    void mnuHelpHelp_Click();
    void mnuHelpAbout_Click();
    void mnuHelpUpgrade_Click();

    void Picture4_Click();  // shows or hides the menu bar
    void HScroll1_Change();
    void VScroll1_Change();

protected:
    // Asks the Exit question while an unsaved hidden message would be lost.
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // A single local file dropped anywhere on the window opens as Open Image
    // or Open Text would open it; see openDroppedFile.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createControls(QWidget* client);
    void createMenus();
    void setMenusVisible(bool visible);
    void showLogoForScale();
    bool takeBody(std::string& body);
    void HideMessage(const std::string& textBytes);
    // The busy title from construction until end() or destruction, whichever
    // comes first, so that no return or failure leaves it on.
    class BusyCaption {
    public:
        explicit BusyCaption(Stego1& window);
        ~BusyCaption();
        BusyCaption(const BusyCaption&) = delete;
        BusyCaption& operator=(const BusyCaption&) = delete;
        void end();

    private:
        Stego1& m_window;
        bool m_ended = false;
    };
    void showTitleNow(const QString& title);
    // Every button, menu entry and dropped or named file reaches its
    // command through here.
    void runTrapped(const std::function<void()>& command);
    template <typename Sender, typename Signal>
    void connectHandler(Sender* sender, Signal signal, void (Stego1::*handler)())
    {
        connect(sender, signal, this, [this, handler] { runTrapped([this, handler] { (this->*handler)(); }); });
    }
    void showEncryptedNotice();
    bool confirmExit();
    // Takes a drag that carries one local file as a copy; false leaves it alone.
    static bool acceptFileDrag(QDropEvent* event, QString* path = nullptr);
    void openDroppedFile(const QString& path);

    platform::Platform& m_platform;

    QString HideResult;

    QLabel* Picture4 = nullptr;             // the logo, which shows and hides the menu bar
    QFrame* Picture1 = nullptr;             // the frame around the picture
    picture::ImageCanvas* m_canvas = nullptr;  // the picture, `Picture2`
    QWidget* Picture3 = nullptr;            // the empty box under the status line
    QFrame* Picture5 = nullptr;             // "Picture, Image, Photo File" panel
    QFrame* Picture6 = nullptr;             // "Steganography" panel
    QFrame* Picture7 = nullptr;             // "Text File" panel
    QFrame* Picture8 = nullptr;             // the Upgrade panel
    QFrame* Picture9 = nullptr;             // "Edit Text" panel
    QScrollBar* HScroll1 = nullptr;
    QScrollBar* VScroll1 = nullptr;
    QPlainTextEdit* Text1 = nullptr;        // the message text
    QLabel* Label1 = nullptr;               // "Picture, Image, Photo File"
    QLabel* Label2 = nullptr;               // "Steganography"
    QLabel* Label3 = nullptr;               // "Text File"
    QLabel* Label4 = nullptr;               // the status line
    QLabel* Label5 = nullptr;               // "Edit Text"
    // The buttons by number, CommandN at m_command[N] (0 unused); their
    // captions are beside their handlers above.
    std::array<QPushButton*, 12> m_command{};
    std::unique_ptr<picture::PictureView> m_view;
    // What the commands share with the window, made once the controls exist.
    std::unique_ptr<WindowEnvironment> m_env;
    QList<QAction*> m_topMenus;  // mnuFile .. mnuHelp, in menu-bar order
    bool m_placed = false;
    bool m_logoDoubleClicked = false;
};

}  // namespace app
