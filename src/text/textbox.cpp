#include "textbox.h"

#include <QPlainTextEdit>

namespace text {

QString toCrLf(const QString& widgetText)
{
    QString out;
    out.reserve(widgetText.size() + widgetText.size() / 16);
    for (const QChar c : widgetText) {
        if (c == u'\n' || c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            out += QStringLiteral("\r\n");
        else
            out += c;
    }
    return out;
}

QString fromCrLf(const QString& crlfText)
{
    QString out;
    out.reserve(crlfText.size());
    const qsizetype n = crlfText.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = crlfText.at(i);
        if (c == u'\r') {
            out += u'\n';
            if (i + 1 < n && crlfText.at(i + 1) == u'\n')
                ++i;
        } else {
            out += c;
        }
    }
    return out;
}

QString textBoxText(const QPlainTextEdit* box)
{
    return toCrLf(box->toPlainText());
}

void setTextBoxText(QPlainTextEdit* box, const QString& text)
{
    box->setPlainText(fromCrLf(text));
}

}  // namespace text
