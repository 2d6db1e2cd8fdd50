#pragma once

// `Text1` and its text as the program takes it out: for the hidden message
// with CR LF line breaks, for the clipboard and text files with LF, whatever
// the widget keeps inside.

#include "stego/codepage.h"

#include <QPlainTextEdit>
#include <QString>

#include <string_view>

class QMimeData;

namespace text {

// `Text1`'s widget.  Its own copy, cut and drag-out put the selection on the
// clipboard exactly, as plain text with LF breaks: Qt's would turn every
// no-break space into a plain space and offer an HTML copy beside it.
//
// Whatever font it is given, it lays its text out without kerning: the
// shaper's kerning looks past every invisible character (soft hyphen,
// zero-width space) for the next visible one, which makes a long run of them
// cost about 4 us a character on each repaint, and a 2,000,000-character
// run seconds per cursor blink.
class TextBox : public QPlainTextEdit {
public:
    explicit TextBox(QWidget* parent = nullptr);

    QMimeData* createMimeDataFromSelection() const override;

protected:
    void changeEvent(QEvent* event) override;

private:
    void dropKerning();
};

// The box's text with every line break as CR LF.  Every other character comes
// back exactly as it went in (a no-break space stays U+00A0).
QString textBoxText(const QPlainTextEdit* box);
// The box's text with every line break as LF, as the clipboard and a text
// file take it; every other character exactly as it is.
QString textBoxPlainText(const QPlainTextEdit* box);
// Replaces the box's whole text as one edit the user can undo.
void replaceTextBoxText(QPlainTextEdit* box, const QString& text);
// Sets the box's text; CR LF, a lone CR and a lone LF all become line breaks.
void setTextBoxText(QPlainTextEdit* box, const QString& text);

// The box's text as Windows-1252 bytes with CR LF line breaks, read in one
// pass: the same result as encodeWindows1252(textBoxText(box)), without
// the million-character copies in between.
stego::EncodeResult textBoxWindows1252(const QPlainTextEdit* box);
// The same from the box's raw text (QTextDocument::toRawText), for a caller
// that needs that text again.
stego::EncodeResult rawTextWindows1252(const QString& raw);
// Replaces the box's text with Windows-1252 bytes as one undoable edit, line
// breaks as setTextBoxText takes them: a hidden text found in a picture must
// not take the user's typed text beyond Ctrl+Z.
void setTextBoxWindows1252(QPlainTextEdit* box, std::string_view bytes);

// Longest stretch of characters that word wrapping cannot break that the box
// still wraps between words.  Word wrapping measures the whole stretch again
// for every line it fills, so a longer one takes seconds to lay out, and the
// box wraps it anywhere instead.
inline constexpr qsizetype kLongestWordWrappedRun = 2000;

// True when `text` holds more than `limit` characters in a row without a
// space that word wrapping breaks at: no-break spaces (U+00A0, U+2007,
// U+202F) belong to the run, as they do for the line breaker.
bool hasLongRun(QStringView text, qsizetype limit = kLongestWordWrappedRun);

// Keeps `box` wrapping between words, except while it holds a run longer
// than kLongestWordWrappedRun: then any character may end a line.  Watches
// every insertion larger than a typed burst (pasted, dropped or set by a
// command) and scans the paragraphs it touched; an emptied box wraps between
// words again.
void adaptWrappingToLongRuns(QPlainTextEdit* box);

// The widget's text with its line breaks ('\n', and the paragraph and line
// separators U+2029, U+2028) as CR LF, or as LF.
QString toCrLf(const QString& widgetText);
QString toLf(QString widgetText);

}  // namespace text
