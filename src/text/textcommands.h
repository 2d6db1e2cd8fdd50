#pragma once

// Open Text, Save Text, Clear, Copy and Paste on `Text1`.

#include "platform/platform.h"

#include <QByteArray>
#include <QString>

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

// A text file's bytes as text: UTF-16 little-endian when it has two bytes or
// more and the second is zero (a final odd byte dropped, no byte-order mark
// removed), otherwise Windows-1252.
QString decodeTextFile(const QByteArray& bytes);

// The warning a paste of `length` characters shows first, or empty for none.
QString pasteWarning(qsizetype length);

}  // namespace text
