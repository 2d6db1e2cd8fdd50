#pragma once

// Open Text, Save Text, Clear, Copy and Paste on `Text1`.

#include "platform/platform.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <string_view>

class QLabel;
class QPlainTextEdit;
class QWidget;

namespace text {

struct TextCommandContext {
    platform::Platform& platform;
    QWidget* window;                      // owner of boxes and dialogs
    QPlainTextEdit* text1;
    QLabel* label4;                       // the status line
    platform::FileDialog& commonDialog1;  // settings stay between uses
};

void openText(TextCommandContext& context);           // Command3_Click
void openTextFile(TextCommandContext& context, const QString& path);  // after the dialog; drag and drop
void saveText(TextCommandContext& context);           // Command6_Click
void clearText(TextCommandContext& context);          // mnuEditClearText_Click
void copyText(TextCommandContext& context);           // mnuEditCopyText_Click
void pasteText(TextCommandContext& context);          // mnuEditPasteText_Click

// Largest ".txt" file read into the box, in bytes.
inline constexpr qint64 kMaxTextFileBytes = 65500;

// True when Open Text reads `path` into the box rather than handing it on:
// a name ending in ".txt" in any case, as the dialog's filter lists it.
bool isTextFileName(const QString& path);

// The box holds any text, but its cost grows with the characters and faster
// with the lines.  mirrorvane-bench BM_ShowHiddenText_* measured some 0.5 us
// of processor time a character (a million on one line), and 1.7 us and about
// 110 bytes a line at 100,000 lines, the time a line growing with their number
// (a million lines took 5 s).  A picture at the size ceiling carries some 89
// million characters, which as CR LF pairs would hold the window for minutes
// and take gigabytes, and an accessibility reader walks the whole text again.
// So a hidden text over either limit, about a second of work, is not shown:
// the user is offered a text file instead.
inline constexpr std::size_t kMostHiddenCharactersShown = 2000000;
inline constexpr std::size_t kMostHiddenLinesShown = 100000;

// True when a hidden text of these bytes, Windows-1252 or with `utf8` UTF-8,
// is within both limits above.
bool fitsTextBox(std::string_view hiddenText, bool utf8 = false);
// For a hidden text that does not fit: empties the box (one undoable edit),
// asks whether to save the text to a file and does so, and leaves the outcome
// on the status line.
void offerToSaveHiddenText(TextCommandContext& context, std::string_view hiddenText, bool utf8 = false);

// The warning a paste of `length` characters shows first, or empty for none.
QString pasteWarning(qsizetype length);

}  // namespace text
