#include "textbox.h"

#include <QPlainTextEdit>
#include <QTextDocument>

namespace text {

namespace {

bool isWidgetBreak(char16_t c)
{
    return c == u'\n' || c == char16_t(QChar::ParagraphSeparator) || c == char16_t(QChar::LineSeparator);
}

}  // namespace

// Texts reach a million characters, so both conversions size their result
// once and write through raw pointers instead of appending character by
// character.
QString toCrLf(const QString& widgetText)
{
    const char16_t* in = reinterpret_cast<const char16_t*>(widgetText.utf16());
    const qsizetype n = widgetText.size();
    qsizetype breaks = 0;
    for (qsizetype i = 0; i < n; ++i)
        breaks += isWidgetBreak(in[i]) ? 1 : 0;
    if (breaks == 0)
        return widgetText;

    QString out(n + breaks, Qt::Uninitialized);
    char16_t* o = reinterpret_cast<char16_t*>(out.data());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = in[i];
        if (isWidgetBreak(c)) {
            *o++ = u'\r';
            *o++ = u'\n';
        } else {
            *o++ = c;
        }
    }
    return out;
}

QString fromCrLf(const QString& crlfText)
{
    if (!crlfText.contains(u'\r'))
        return crlfText;
    const char16_t* in = reinterpret_cast<const char16_t*>(crlfText.utf16());
    const qsizetype n = crlfText.size();
    QString out(n, Qt::Uninitialized);
    char16_t* const begin = reinterpret_cast<char16_t*>(out.data());
    char16_t* o = begin;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = in[i];
        if (c == u'\r') {
            *o++ = u'\n';
            if (i + 1 < n && in[i + 1] == u'\n')
                ++i;
        } else {
            *o++ = c;
        }
    }
    out.truncate(o - begin);
    return out;
}

QString textBoxText(const QPlainTextEdit* box)
{
    // toPlainText() would turn every no-break space into a plain space, which
    // is a different Windows-1252 byte; the raw text keeps it and marks line
    // breaks as paragraph separators.
    return toCrLf(box->document()->toRawText());
}

void setTextBoxText(QPlainTextEdit* box, const QString& text)
{
    box->setPlainText(fromCrLf(text));
}

}  // namespace text
