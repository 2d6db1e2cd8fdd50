#include "textcommands.h"

#include "fileio/fileio.h"
#include "platform/boxes.h"
#include "text/textbox.h"
#include "text/textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextCursor>

#include <algorithm>
#include <array>
#include <memory>
#include <string_view>

namespace text {

namespace {


QString textFileFilter()
{
    return QStringLiteral("Text Files (*.txt);;All Files (*)");
}

void showFailure(TextCommandContext& context, const QString& path, const fileio::Failure& failure)
{
    context.platform.messageBox(platform::fileFailureBox(QStringLiteral("The text file"), path, failure), context.window);
}

// Shows the dialog with the settings `configure` gives it.  A completed
// dialog leaves the process in the chosen file's folder, which is where both
// text dialogs open next time, and holds the chosen name, which Open Image
// (sharing the dialog) starts with; a cancelled one keeps the name it had.
std::optional<QString> askForFile(TextCommandContext& context, void (*configure)(platform::FileDialog&))
{
    platform::FileDialog& dialog = context.commonDialog1;
    const QString heldName = dialog.fileName;
    dialog.filter = textFileFilter();
    dialog.folder = QDir::currentPath();
    configure(dialog);
    std::optional<QString> chosen = context.platform.fileDialog(dialog, context.window);
    if (!chosen || chosen->isEmpty()) {
        dialog.fileName = heldName;
        return std::nullopt;
    }
    dialog.fileName = *chosen;
    QDir::setCurrent(QFileInfo(*chosen).absolutePath());
    return chosen;
}

// `large`: a ".txt" handed on only for its size, which the user is told too.
platform::MessageBox noApplicationBox(const QString& path, bool large)
{
    const QString sentence = large ? QStringLiteral("This text file is larger than the %L1 bytes Open Text loads, and "
                                                    "no application is registered to open it:")
                                         .arg(kMaxTextFileBytes)
                                   : QStringLiteral("No application is registered to open this file:");
    return platform::Box(platform::alertTitle(), platform::Icon::Information)
        .lines({sentence, QDir::toNativeSeparators(path)});
}

QString canonicalOrAbsolute(const QString& path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

// True when this process was started by the desktop's opener for `path`,
// which an earlier Mirrorvane handed over: handing it on again would start
// another Mirrorvane, and so on without end.
bool handedOverToUs(platform::Platform& desktop, const QString& path)
{
    const std::optional<QString> handedOver =
        desktop.environmentVariable(QLatin1String(platform::kHandedOverVariable));
    return handedOver && !handedOver->isEmpty() && canonicalOrAbsolute(*handedOver) == canonicalOrAbsolute(path);
}

// `Text1` becomes `replacement` (one edit the user can undo) only once the
// file is in another program's hands; otherwise the user is told and keeps
// the text.  An opener that is still running when openUrl returns may fail
// later: the user is told then, and gets the text back if the box still
// shows the replacement untouched.
void handToRegisteredApplication(TextCommandContext& context, const QString& path, const QString& replacement)
{
    auto replaced = std::make_shared<bool>(false);
    platform::Platform& desktop = context.platform;
    QPointer<QWidget> window = context.window;
    QPointer<QPlainTextEdit> box = context.text1;
    const bool large = !replacement.isEmpty();
    const auto lateFailure = [&desktop, window, box, path, replacement, replaced, large] {
        if (*replaced && box && box->document()->isUndoAvailable() && textBoxText(box) == replacement)
            box->undo();
        desktop.messageBox(noApplicationBox(path, large), window);
    };
    if (handedOverToUs(desktop, path) || !desktop.openUrl(QUrl::fromLocalFile(path), lateFailure)) {
        desktop.messageBox(noApplicationBox(path, large), context.window);
        return;
    }
    replaceTextBoxText(context.text1, replacement);
    *replaced = true;
}

std::optional<QString> askForSavePath(TextCommandContext& context)
{
    return askForFile(context, [](platform::FileDialog& dialog) {
        dialog.mode = platform::FileDialogMode::Save;
        dialog.title = QStringLiteral("Save Text File As");
        dialog.fileName = QStringLiteral("Text File.txt");
        dialog.defaultSuffix = QStringLiteral("txt");
        dialog.existingOnly = false;
        dialog.hideReadOnly = false;
        dialog.overwritePrompt = true;
    });
}

// The old file is replaced only once the new one is complete on disk; a
// failure is shown with its reason.
bool writeTextFile(TextCommandContext& context, const QString& path, const QByteArray& bytes)
{
    const fileio::MaybeFailure failure = fileio::writeFileAtomically(path, bytes);
    if (failure)
        showFailure(context, path, *failure);
    return !failure;
}

// Lines as the box would show them: CR LF, a lone CR and a lone LF each end one.
std::size_t lineCount(std::string_view text)
{
    std::size_t breaks = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')))
            ++breaks;
    }
    return breaks + 1;
}

struct PasteWarningRow {
    qsizetype over;
    const char* amount;    // "over N million characters"
    const char* duration;  // "this can take ..."
};

// First row whose threshold the length exceeds decides.
constexpr std::array<PasteWarningRow, 7> kPasteWarnings{{
    {1200000, "1.2", "5 to 10 minutes"},
    {1000000, "1.0", "5 to 10 minutes"},
    {800000, "0.8", "3 to 7 minutes"},
    {500000, "0.5", "1 to 2 minutes"},
    {350000, "0.35", "30 to 60 seconds"},
    {250000, "0.25", "20 to 30 seconds"},
    {150000, "0.15", "5 to 15 seconds"},
}};

}  // namespace

QString pasteWarning(qsizetype length)
{
    for (const PasteWarningRow& row : kPasteWarnings) {
        if (length > row.over)
            return QStringLiteral("Warning - you are moving over %1 million characters into Mirrorvane - this can take %2 "
                                  "depending on system specification. Please be patient.")
                .arg(QLatin1String(row.amount), QLatin1String(row.duration));
    }
    return {};
}

bool isTextFileName(const QString& path)
{
    return path.endsWith(QLatin1String(".txt"), Qt::CaseInsensitive);
}

void openText(TextCommandContext& context)
{
    context.label4->clear();
    const std::optional<QString> path = askForFile(context, [](platform::FileDialog& dialog) {
        dialog.mode = platform::FileDialogMode::Open;
        dialog.title = QStringLiteral("Select File to Open");
        dialog.fileName.clear();
        dialog.existingOnly = true;
        dialog.hideReadOnly = true;
        dialog.overwritePrompt = false;
    });
    if (path)
        openTextFile(context, *path);
}

void openTextFile(TextCommandContext& context, const QString& path)
{
    context.label4->clear();
    // Nothing touches the box until the file has been read, so a file that
    // cannot be read leaves the user's text as it was.
    if (!isTextFileName(path)) {
        if (!QFileInfo::exists(path)) {
            QFile probe(path);
            static_cast<void>(probe.open(QIODevice::ReadOnly));  // only for the reason
            showFailure(context, path, fileio::unreadable(probe.errorString()));
            return;
        }
        handToRegisteredApplication(context, path, QString());
        return;
    }

    // Only a regular file: a FIFO or a device would hold the window in open() or read().
    QFile file;
    if (const fileio::MaybeFailure failure = fileio::openRegularFile(file, path)) {
        showFailure(context, path, *failure);
        return;
    }
    // Read one byte past the limit: a file still growing is judged by what it delivers.
    QByteArray bytes;
    if (file.size() <= kMaxTextFileBytes) {
        bytes = file.read(kMaxTextFileBytes + 1);
        if (file.error() != QFileDevice::NoError) {
            showFailure(context, path, fileio::unreadable(file.errorString()));
            return;
        }
    }
    if (file.size() > kMaxTextFileBytes || bytes.size() > kMaxTextFileBytes) {
        file.close();
        handToRegisteredApplication(
            context, path, QStringLiteral("A Large Text File Opened - Re-Directed To Default Text Application!"));
        return;
    }
    replaceTextBoxText(context.text1, decodeTextFile(bytes));
    context.text1->setFocus();
}

void saveText(TextCommandContext& context)
{
    context.label4->clear();
    if (context.text1->document()->isEmpty()) {
        context.label4->setText(QStringLiteral("There is no text to save to a file."));
        return;
    }
    if (const std::optional<QString> path = askForSavePath(context))
        writeTextFile(context, *path, encodeTextFile(context.text1->document()->toRawText()));
}

// Characters of Windows-1252 bytes, or of UTF-8 (every byte but the continuation bytes).
std::size_t characterCount(std::string_view hiddenText, bool utf8)
{
    if (!utf8)
        return hiddenText.size();
    return static_cast<std::size_t>(std::count_if(hiddenText.begin(), hiddenText.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

bool fitsTextBox(std::string_view hiddenText, bool utf8)
{
    return characterCount(hiddenText, utf8) <= kMostHiddenCharactersShown && lineCount(hiddenText) <= kMostHiddenLinesShown;
}

void offerToSaveHiddenText(TextCommandContext& context, std::string_view hiddenText, bool utf8)
{
    // What the box held is not the picture's text; an undoable edit keeps it within reach.
    replaceTextBoxText(context.text1, QString());
    const QString question =
        QStringLiteral("The hidden text is too long to show in the text box (%L1 characters on %L2 lines); do you want to "
                       "save it to a text file instead?")
            .arg(static_cast<qulonglong>(characterCount(hiddenText, utf8)))
            .arg(static_cast<qulonglong>(lineCount(hiddenText)));
    bool saved = false;
    if (context.platform.messageBox(platform::Box(platform::alertTitle(), platform::Icon::Question)
                                        .text(question)
                                        .buttons(platform::Buttons::YesNo, platform::Answer::Yes),
                                    context.window)
        == platform::Answer::Yes) {
        if (const std::optional<QString> path = askForSavePath(context))
            saved = writeTextFile(context, *path,
                                  utf8 ? encodeTextFile(QString::fromUtf8(hiddenText.data(), static_cast<qsizetype>(hiddenText.size())))
                                       : windows1252ToTextFile(hiddenText));
    }
    context.label4->setText(saved ? QStringLiteral("The hidden text was saved to a file, not shown.")
                                  : QStringLiteral("The hidden text is too long to show in the text box."));
}

void clearText(TextCommandContext& context)
{
    if (!context.text1->document()->isEmpty())
        replaceTextBoxText(context.text1, QString());
}

void copyText(TextCommandContext& context)
{
    bool copy = true;
    if (!context.platform.clipboardText().isEmpty()) {
        const platform::MessageBox box =
            platform::Box(QStringLiteral("Clipboard Already Has Contents"), platform::Icon::Warning)
                .lines({QStringLiteral("Click OK to Copy to Clipboard"), QString(),
                        QStringLiteral("NOTE - This Will OVERWRITE Current Clipboard Content!")})
                .buttons(platform::Buttons::OkCancel, platform::Answer::Ok);
        copy = context.platform.messageBox(box, context.window) == platform::Answer::Ok;
    }
    if (copy) {
        // The whole text, whatever is selected, with the breaks Ctrl+C gives.
        context.platform.clearClipboard();
        context.platform.setClipboardText(textBoxPlainText(context.text1));
    }
    context.text1->setFocus();
}

void pasteText(TextCommandContext& context)
{
    const platform::BusyCursor busy(context.platform);
    context.text1->setFocus();
    const QString pasted = context.platform.clipboardText();
    const QString warning = pasteWarning(pasted.size());
    if (!warning.isEmpty()) {
        context.platform.messageBox(platform::Box(QStringLiteral("Mirrorvane Warning"), platform::Icon::Warning).text(warning),
                                    context.window);
    }
    context.text1->setFocus();
    // One insertText is one edit block: the layout hears of the change once,
    // and CR LF, CR, LF and U+2029 all become line breaks on the way in.
    QTextCursor cursor = context.text1->textCursor();
    cursor.insertText(pasted);
    context.text1->setTextCursor(cursor);
}

}  // namespace text
