#include "textbox.h"

#include <QPlainTextEdit>
#include <QTextDocument>

#include <algorithm>

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

// toPlainText() would turn every no-break space into a plain space, which is
// a different Windows-1252 byte; the raw text keeps it and marks line breaks
// as paragraph separators.
QString textBoxText(const QPlainTextEdit* box)
{
    return toCrLf(box->document()->toRawText());
}

stego::EncodeResult textBoxWindows1252(const QPlainTextEdit* box)
{
    const QString raw = box->document()->toRawText();
    const char16_t* in = reinterpret_cast<const char16_t*>(raw.utf16());
    const qsizetype n = raw.size();
    qsizetype breaks = 0;
    for (qsizetype i = 0; i < n; ++i)
        breaks += isWidgetBreak(in[i]) ? 1 : 0;

    stego::EncodeResult result;
    result.bytes.resize(static_cast<std::size_t>(n + breaks));
    char* out = result.bytes.data();
    qsizetype i = 0;
    while (i < n) {
        // Typed text is nearly all ASCII: whole groups of it are copied
        // without looking at each character twice.
        constexpr qsizetype kGroup = 16;
        if (i + kGroup <= n) {
            char16_t seen = 0;
            bool lineFeed = false;
            for (qsizetype k = 0; k < kGroup; ++k) {
                seen |= in[i + k];
                lineFeed |= in[i + k] == u'\n';
            }
            if (seen < 0x80 && !lineFeed) {
                for (qsizetype k = 0; k < kGroup; ++k)
                    out[k] = static_cast<char>(in[i + k]);
                i += kGroup;
                out += kGroup;
                continue;
            }
        }
        const char16_t c = in[i++];
        if (isWidgetBreak(c)) {
            *out++ = '\r';
            *out++ = '\n';
            continue;
        }
        const int b = stego::unicodeToWindows1252(c);
        if (b < 0) {
            // Refused: the list of offenders (surrogate pairs joined, first
            // appearance first) is the general encoder's to make.
            const QString crlf = toCrLf(raw);
            return stego::encodeWindows1252(
                std::u16string_view(reinterpret_cast<const char16_t*>(crlf.utf16()), static_cast<std::size_t>(crlf.size())));
        }
        *out++ = static_cast<char>(b);
    }
    return result;
}

void setTextBoxText(QPlainTextEdit* box, const QString& text)
{
    // Qt's own insertion already takes CR LF, a lone CR and a lone LF as one
    // line break each, so the text goes in as it is, without another copy.
    box->setPlainText(text);
}

void setTextBoxWindows1252(QPlainTextEdit* box, std::string_view bytes)
{
    // Latin-1 agrees with Windows-1252 everywhere but 0x80..0x9F, which
    // are mended afterwards; most texts have none of them.
    QString text = QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    const auto isHighControl = [](char c) { return static_cast<unsigned char>(c) - 0x80u < 0x20u; };
    if (std::any_of(bytes.begin(), bytes.end(), isHighControl)) {
        char16_t* chars = reinterpret_cast<char16_t*>(text.data());
        for (std::size_t k = 0; k < bytes.size(); ++k) {
            if (isHighControl(bytes[k]))
                chars[k] = stego::windows1252ToUnicode(static_cast<std::uint8_t>(bytes[k]));
        }
    }
    box->setPlainText(text);
}

}  // namespace text
