// The command handlers: Hide Text and Get Text here, the others handed to
// the text and picture commands, and the forwarders between buttons and menu
// entries.

#include "stego1.h"
#include "windowenvironment.h"

#include "picture/imagecanvas.h"
#include "picture/imagecommands.h"
#include "platform/boxes.h"
#include "stego/body.h"
#include "stego/codepage.h"
#include "stego/encryptedtext.h"
#include "stego/message.h"
#include "stego/sentences.h"
#include "text/textbox.h"
#include "text/textcommands.h"
#include "windowtitles.h"

#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>

#include <algorithm>
#include <exception>
#include <string_view>
#include <utility>

namespace app {

Stego1::BusyCaption::BusyCaption(Stego1& window) : m_window(window)
{
    m_window.showTitleNow(kBusyTitle);
}

Stego1::BusyCaption::~BusyCaption()
{
    try {
        end();
    } catch (...) {  // a title not pushed to the screen is no reason to stop
    }
}

void Stego1::BusyCaption::end()
{
    if (std::exchange(m_ended, true))
        return;
    m_window.showTitleNow(kNormalTitle);
}

void Stego1::showTitleNow(const QString& title)
{
    setWindowTitle(title);
    // No turn of the event loop comes before the pixel work, so the title is
    // pushed to the screen here.
    m_platform.flushWindowSystem(this);
}

// Every handler traps its own failures: out of memory for a copy of a huge
// text ends the command, and the program goes on.
void Stego1::runTrapped(const std::function<void()>& command)
{
    try {
        command();
    } catch (const std::exception&) {
    }
}

// --- Hide Text and Get Text ---

void Stego1::Command1_Click()
{
    Label4->clear();
    HideResult.clear();
    if (Text1->document()->isEmpty()) {
        Label4->setText(QStringLiteral("There is no text to hide in the image."));
        return;
    }
    std::string body;
    if (!takeBody(body))
        return;
    if (stego::cutShortAt(body)) {
        m_platform.messageBox(platform::Box(platform::alertTitle(), platform::Icon::Warning)
                                  .text(QString::fromStdString(stego::cutShortSentence())),
                              this);
        Label4->setText(QStringLiteral("The text was not hidden in the image."));
        return;
    }
    HideMessage(body);
    if (HideResult.isEmpty()) {
        Label4->setText(QStringLiteral("The text message is now hidden in image."));
        m_env->picture.ImageChanged = 1;
    } else {
        Label4->setText(QStringLiteral("Too much text to hide in the image!"));
        HideResult.clear();
    }
}

// The text of `Text1` as the body to hide, with CR LF line breaks: its
// Windows-1252 bytes, or after the user's Yes its UTF-8.  False when the text
// is not hidden; the status line says so.
bool Stego1::takeBody(std::string& body)
{
    const QString raw = Text1->document()->toRawText();
    stego::EncodeResult encoded = text::rawTextWindows1252(raw);
    if (encoded.ok()) {
        body = stego::windows1252Body(std::move(encoded.bytes));
        return true;
    }
    const QString characters = platform::characterList(encoded.unencodable);
    // A lone surrogate, which only a damaged paste leaves, has no UTF-8 either.
    const bool loneSurrogate = std::any_of(encoded.unencodable.begin(), encoded.unencodable.end(),
                                           [](char32_t c) { return c >= 0xD800 && c <= 0xDFFF; });
    if (loneSurrogate) {
        m_platform.messageBox(platform::Box(platform::alertTitle(), platform::Icon::Warning)
                                  .text(QStringLiteral("These characters cannot be hidden in an image: ") + characters),
                              this);
    } else if (m_platform.messageBox(platform::Box(platform::alertTitle(), platform::Icon::Question)
                                         .text(QString::fromStdString(stego::utf8Question(characters.toStdString())))
                                         .buttons(platform::Buttons::YesNo, platform::Answer::No),
                                     this)
               == platform::Answer::Yes) {
        // The box's own form of the text, its line breaks made CR LF on the way.
        body = *stego::utf16ToUtf8(
            std::u16string_view(reinterpret_cast<const char16_t*>(raw.utf16()), static_cast<std::size_t>(raw.size())),
            stego::kUtf8Mark, true);
        return true;
    }
    Label4->setText(QStringLiteral("The text has characters that cannot be hidden in the image."));
    return false;
}

void Stego1::HideMessage(const std::string& textBytes)
{
    BusyCaption busy(*this);
    const stego::HideReport report = stego::hideBytes(m_canvas->surface(), textBytes);
    if (report.outcome == stego::HideOutcome::Hidden) {
        m_canvas->pixelsChanged();
        return;
    }
    const std::string excess = stego::formatExcess(report.excess, QLocale().decimalPoint().toStdString());
    const bool utf8 = stego::bodyEncoding(textBytes) == stego::BodyEncoding::Utf8;
    m_platform.messageBox(platform::Box(kApplicationTitle, platform::Icon::Critical)
                              .text(QString::fromStdString(stego::tooMuchTextSentence(excess, utf8))),
                          this);
    busy.end();
    HideResult = kTooMuchText;
}

void Stego1::Command2_Click()
{
    Label4->clear();
    HideResult.clear();
    if (ReadMessage() && Text1->document()->isEmpty())
        Label4->setText(QStringLiteral("There is no hidden text in this image to display."));
}

bool Stego1::ReadMessage()
{
    BusyCaption busy(*this);
    const stego::ReadResult result = stego::readMessage(m_canvas->constSurface());
    if (result.outcome == stego::ReadOutcome::NoStartMarker) {
        Label4->setText(QString::fromUtf8(stego::kNoMessageSentence));
        busy.end();
        return true;
    }
    const bool utf8 = stego::bodyEncoding(result.text) == stego::BodyEncoding::Utf8;
    const std::string_view found = stego::bodyText(result.text, utf8 ? stego::BodyEncoding::Utf8 : stego::BodyEncoding::Windows1252);
    const bool tooLong = result.outcome == stego::ReadOutcome::Found && !text::fitsTextBox(found, utf8);
    if (result.outcome == stego::ReadOutcome::Found && !tooLong) {
        if (utf8)
            text::replaceTextBoxText(Text1, QString::fromUtf8(found.data(), static_cast<qsizetype>(found.size())));
        else
            text::setTextBoxWindows1252(Text1, found);
    }

    busy.end();
    if (tooLong) {
        // A text too long to show is still examined, on its bytes: the
        // notice says what the file offered next will hold.
        stego::EncryptedTextScanner scanner(utf8);
        scanner.feed(found);
        if (scanner.encrypted())
            showEncryptedNotice();
        text::offerToSaveHiddenText(m_env->text, found, utf8);
        return false;
    }
    // Input that arrived during the scan is handled now, before the text is examined.
    m_platform.processEvents();

    // The markers hold no line break, so the box's own form of the text
    // answers as its CR LF form would, without converting a million characters.
    const QString t = Text1->document()->toRawText();
    if (stego::isEncryptedText(
            std::u16string_view(reinterpret_cast<const char16_t*>(t.utf16()), static_cast<std::size_t>(t.size()))))
        showEncryptedNotice();
    else
        Text1->viewport()->update();
    return true;
}

void Stego1::showEncryptedNotice()
{
    QStringList lines;
    for (const std::string& line : stego::encryptedTextNotice())
        lines.append(QString::fromStdString(line));
    lines.insert(lines.size() - 1, QString());
    m_platform.messageBox(platform::Box(platform::alertTitle(), platform::Icon::Information).lines(lines), this);
}

// --- Commands that live in other modules ---

void Stego1::Command3_Click()
{
    text::openText(m_env->text);
}

void Stego1::Command4_Click()
{
    picture::openImage(m_env->pictureCommands);
}

void Stego1::Command5_Click()
{
    picture::saveImage(m_env->pictureCommands);
}

void Stego1::Command6_Click()
{
    text::saveText(m_env->text);
}

void Stego1::mnuFileExit_Click()
{
    if (!confirmExit())
        return;
    m_env->picture.ImageChanged = 0;
    close();
}

void Stego1::mnuEditCopyText_Click()
{
    text::copyText(m_env->text);
}

void Stego1::mnuEditPasteText_Click()
{
    text::pasteText(m_env->text);
}

void Stego1::mnuEditClearText_Click()
{
    text::clearText(m_env->text);
}

// --- Forwarders ---

void Stego1::Command7_Click() { mnuFileExit_Click(); }
void Stego1::Command8_Click()
{
    Label4->clear();
    mnuHelpUpgrade_Click();
}
void Stego1::Command9_Click() { mnuEditCopyText_Click(); }
void Stego1::Command10_Click() { mnuEditClearText_Click(); }
void Stego1::Command11_Click() { mnuEditPasteText_Click(); }
void Stego1::mnuFileLoadImage_Click() { Command4_Click(); }
void Stego1::mnuFileSaveImage_Click() { Command5_Click(); }
void Stego1::mnuFileLoadText_Click() { Command3_Click(); }
void Stego1::mnuFileSaveText_Click() { Command6_Click(); }
void Stego1::mnuStegoHideText_Click() { Command1_Click(); }
void Stego1::mnuStegoGetText_Click() { Command2_Click(); }

}  // namespace app
