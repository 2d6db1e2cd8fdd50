#pragma once

// `Text1`'s text as the program counts and stores it: line breaks are CR LF,
// whatever the widget keeps inside.

#include <QString>

class QPlainTextEdit;

namespace text {

// The box's text with every line break as CR LF.
QString textBoxText(const QPlainTextEdit* box);
// Sets the box's text; CR LF, a lone CR and a lone LF all become line breaks.
void setTextBoxText(QPlainTextEdit* box, const QString& text);

// Conversions between CR LF text and the widget's '\n' form.
QString toCrLf(const QString& widgetText);
QString fromCrLf(const QString& crlfText);

}  // namespace text
