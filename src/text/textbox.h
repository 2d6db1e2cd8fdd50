#pragma once

// `Text1`'s text as the program counts and stores it: line breaks are CR LF,
// whatever the widget keeps inside.

#include <QString>

class QPlainTextEdit;

namespace text {

// The box's text with every line break as CR LF.  Every other character comes
// back exactly as it went in (a no-break space stays U+00A0).
QString textBoxText(const QPlainTextEdit* box);
// Sets the box's text; CR LF, a lone CR and a lone LF all become line breaks.
void setTextBoxText(QPlainTextEdit* box, const QString& text);

// Conversions between CR LF text and the widget's '\n' form.  toCrLf also
// turns the widget's paragraph and line separators (U+2029, U+2028) into CR LF.
QString toCrLf(const QString& widgetText);
QString fromCrLf(const QString& crlfText);

}  // namespace text
