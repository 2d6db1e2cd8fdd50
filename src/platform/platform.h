#pragma once

// The seam between Mirrorvane and the desktop it runs on.  Everything that
// shows a box or a dialog, touches the clipboard, starts another program or
// asks the desktop about itself goes through one `Platform`, so that tests can
// put a scripted fake in its place and walk every command without a person.

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

class QWidget;

namespace platform {

enum class Icon { None, Information, Question, Warning, Critical };
enum class Buttons { Ok, OkCancel, YesNo };
enum class Answer { Ok, Cancel, Yes, No };

// A modal message box.  `text` uses CR LF between lines, as the program's
// messages are written; the real implementation shows them as line breaks.
struct MessageBox {
    QString title;
    QString text;
    Icon icon = Icon::None;
    Buttons buttons = Buttons::Ok;
    Answer defaultButton = Answer::Ok;
};

enum class FileDialogMode { Open, Save };

struct FileDialog {
    FileDialogMode mode = FileDialogMode::Open;
    QString title;
    QString filter;        // Qt form: "Images (*.bmp *.jpg)"; several entries joined by ";;".
                           // Open: patterns match names whatever their letter case.
    QString folder;        // starting folder; empty lets the desktop choose
    QString fileName;      // the name the dialog starts with
    QString defaultSuffix; // added to a typed name without an extension, without the dot;
                           // a Save dialog adds the chosen entry's own instead
    QString selectedFilter; // the entry shown first (empty: the first); after a completed
                            // dialog, the entry the user chose
    bool existingOnly = false;     // Open: only an existing file can be chosen
    bool hideReadOnly = false;     // Open: no read-only check box
    bool overwritePrompt = false;  // Save: ask before replacing a file
};

// Set by openUrl, in the environment of the opener it starts, to the local
// file handed over.  A Mirrorvane the opener starts for that file must not
// hand it on again: that would start Mirrorvane again, without end.
inline constexpr char kHandedOverVariable[] = "MIRRORVANE_HANDED_OVER";

class Platform {
public:
    virtual ~Platform() = default;

    // Shows the box modally over `owner` and returns the button pressed.
    // Closing the box without a button counts as Cancel or No, whichever it has.
    // Boxes and dialogs show the normal pointer while they wait for the user,
    // whatever the hourglass says; a box whose owner is not on screen is
    // centred on the screen.
    virtual Answer messageBox(const MessageBox& box, QWidget* owner = nullptr) = 0;

    // Returns the chosen absolute path, or nothing when the user cancelled;
    // a completed dialog leaves the chosen entry in `dialog.selectedFilter`.
    virtual std::optional<QString> fileDialog(FileDialog& dialog, QWidget* owner = nullptr) = 0;

    // The clipboard's plain text; empty when it holds no text.
    virtual QString clipboardText() = 0;
    virtual void setClipboardText(const QString& text) = 0;
    virtual void clearClipboard() = 0;

    // Hands a web address, a mail link or a local file (file: URL) to the
    // desktop's opener and waits a short while for its verdict.  False when
    // the opener could not be started or reported failure within that wait;
    // true when it succeeded or is still running.  When it is still running
    // and fails later, `onLateFailure` runs from the event loop, so the caller
    // can show the failure it would have shown at once.
    virtual bool openUrl(const QUrl& url, std::function<void()> onLateFailure = {}) = 0;

    // Full path of `name` found on PATH, or empty.
    virtual QString findProgram(const QString& name) = 0;
    // Starts a program detached from ours.  False when it could not be started.
    virtual bool startProgram(const QString& program, const QStringList& arguments) = 0;

    // Bits per pixel of the primary display's pixels as stored (depth-24 and
    // depth-30 X11 visuals store 32 bits per pixel and count as 32).
    virtual int displayBitsPerPixel() = 0;
    // The user's documents folder, or empty when the desktop names none or
    // the folder it names does not exist.
    virtual QString documentsFolder() = 0;
    // An environment variable's value; nothing when it is not set.
    virtual std::optional<QString> environmentVariable(const QString& name) = 0;

    // One pass of the event loop: the events waiting now are handled.
    virtual void processEvents() = 0;
    // Pushes pending window-system requests (a new title, say) to the display
    // without running the event loop.
    virtual void flushWindowSystem(QWidget* window) = 0;

    // The application's mouse pointer: the hourglass while `busy`.  Calls nest.
    virtual void setBusyCursor(bool busy) = 0;
};

// Shows the hourglass for the lifetime of the guard.
class BusyCursor {
public:
    explicit BusyCursor(Platform& platform) : m_platform(platform) { m_platform.setBusyCursor(true); }
    ~BusyCursor() { m_platform.setBusyCursor(false); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    Platform& m_platform;
};

}  // namespace platform
