#include "textbox.h"

#include <QEvent>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace text {

namespace {

bool isWidgetBreak(char16_t c)
{
    return c == u'\n' || c == char16_t(QChar::ParagraphSeparator) || c == char16_t(QChar::LineSeparator);
}

// Copies the leading run of ASCII characters other than LF to `out` and
// returns its length.  Typed text is nearly all such characters, so they go
// sixteen at a time.  Up to 16 bytes past the run may be written: the caller
// leaves room, since every character still to come takes at least one byte.
qsizetype copyAsciiRun(const char16_t* in, qsizetype n, char* out)
{
    qsizetype i = 0;
#if defined(__SSE2__)
    const __m128i highBits = _mm_set1_epi16(static_cast<short>(0xFF80));
    const __m128i lineFeed = _mm_set1_epi16(u'\n');
    const __m128i zero = _mm_setzero_si128();
    const auto plainLanes = [&](__m128i v) {
        return _mm_andnot_si128(_mm_cmpeq_epi16(v, lineFeed), _mm_cmpeq_epi16(_mm_and_si128(v, highBits), zero));
    };
    for (; i + 16 <= n; i += 16) {
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(first, second));
        const auto plain = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(plainLanes(first), plainLanes(second))));
        if (plain != 0xFFFFu)
            return i + std::countr_one(plain);
    }
#endif
    for (; i < n && in[i] < 0x80 && in[i] != u'\n'; ++i)
        out[i] = static_cast<char>(in[i]);
    return i;
}

}  // namespace

// Texts reach a million characters, so the result is sized once and written
// through a raw pointer instead of appended character by character.
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

QString toLf(QString widgetText)
{
    for (QChar& c : widgetText) {
        if (isWidgetBreak(c.unicode()))
            c = u'\n';
    }
    return widgetText;
}

TextBox::TextBox(QWidget* parent)
    : QPlainTextEdit(parent)
{
    dropKerning();
}

void TextBox::changeEvent(QEvent* event)
{
    // The base class hands a changed widget font on to the document.
    QPlainTextEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        dropKerning();
}

void TextBox::dropKerning()
{
    QFont font = document()->defaultFont();
    if (!font.kerning())
        return;
    font.setKerning(false);
    document()->setDefaultFont(font);
}

QMimeData* TextBox::createMimeDataFromSelection() const
{
    auto* mime = new QMimeData;
    mime->setText(toLf(textCursor().selectedText()));
    return mime;
}

QString textBoxPlainText(const QPlainTextEdit* box)
{
    return toLf(box->document()->toRawText());
}

void replaceTextBoxText(QPlainTextEdit* box, const QString& text)
{
    QTextCursor cursor(box->document());
    cursor.beginEditBlock();
    cursor.select(QTextCursor::Document);
    if (text.isEmpty())
        cursor.removeSelectedText();
    else
        cursor.insertText(text);
    cursor.endEditBlock();
    cursor.movePosition(QTextCursor::Start);
    box->setTextCursor(cursor);
}

// toPlainText() would turn every no-break space into a plain space, which is
// a different Windows-1252 byte; the raw text keeps it and marks line breaks
// as paragraph separators.
QString textBoxText(const QPlainTextEdit* box)
{
    return toCrLf(box->document()->toRawText());
}

// The refusal of a text whose first character outside Windows-1252 is at
// `from`: the list of offenders (surrogate pairs joined, first appearance
// first) is the general encoder's to make, a stretch at a time from there,
// so that a long text is not copied whole to name its first few.
stego::EncodeResult offendersFrom(const QString& raw, qsizetype from)
{
    constexpr qsizetype kStretch = 4096;
    constexpr std::size_t kMostReported = 10;
    stego::EncodeResult result;
    while (from < raw.size() && result.unencodable.size() < kMostReported) {
        qsizetype end = std::min(raw.size(), from + kStretch);
        if (end < raw.size() && raw[end - 1].isHighSurrogate())
            ++end;  // a pair stays whole
        const QString crlf = toCrLf(raw.sliced(from, end - from));
        const stego::EncodeResult part = stego::encodeWindows1252(
            std::u16string_view(reinterpret_cast<const char16_t*>(crlf.utf16()), static_cast<std::size_t>(crlf.size())));
        for (const char32_t c : part.unencodable)
            if (result.unencodable.size() < kMostReported
                && std::find(result.unencodable.begin(), result.unencodable.end(), c) == result.unencodable.end())
                result.unencodable.push_back(c);
        from = end;
    }
    return result;
}

stego::EncodeResult textBoxWindows1252(const QPlainTextEdit* box)
{
    return rawTextWindows1252(box->document()->toRawText());
}

stego::EncodeResult rawTextWindows1252(const QString& raw)
{
    const char16_t* in = reinterpret_cast<const char16_t*>(raw.utf16());
    const qsizetype n = raw.size();
    // Counted without branches, so the compiler can do it many characters a step.
    qsizetype breaks = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = in[i];
        breaks += (c == u'\n') | (c == char16_t(QChar::ParagraphSeparator)) | (c == char16_t(QChar::LineSeparator));
    }

    stego::EncodeResult result;
    result.bytes.resize(static_cast<std::size_t>(n + breaks));
    char* out = result.bytes.data();
    qsizetype i = 0;
    while (i < n) {
        const qsizetype run = copyAsciiRun(in + i, n - i, out);
        i += run;
        out += run;
        if (i == n)
            break;
        const char16_t c = in[i++];
        if (isWidgetBreak(c)) {
            *out++ = '\r';
            *out++ = '\n';
            continue;
        }
        const int b = stego::unicodeToWindows1252(c);
        if (b < 0)
            return offendersFrom(raw, i - 1);
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
    replaceTextBoxText(box, text);
}

bool hasLongRun(QStringView text, qsizetype limit)
{
    qsizetype run = 0;
    for (const QChar c : text) {
        const bool breaks = c.isSpace() && c.decompositionTag() != QChar::NoBreak;
        run = breaks ? 0 : run + 1;
        if (run > limit)
            return true;
    }
    return false;
}

void adaptWrappingToLongRuns(QPlainTextEdit* box)
{
    box->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    QTextDocument* document = box->document();
    QObject::connect(document, &QTextDocument::contentsChange, box, [box, document](int position, int, int added) {
        if (document->isEmpty()) {
            box->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
            return;
        }
        // Typing cannot make such a run in any time that matters, and scanning
        // a long paragraph on every keystroke would slow typing down.
        constexpr int kTypedBurst = 64;
        if (box->wordWrapMode() == QTextOption::WrapAnywhere || added < kTypedBurst)
            return;
        // A run may straddle the insertion's edges, so the whole paragraphs it touched are looked at.
        for (QTextBlock block = document->findBlock(position);
             block.isValid() && block.position() <= position + added; block = block.next()) {
            if (block.length() > kLongestWordWrappedRun && hasLongRun(block.text())) {
                box->setWordWrapMode(QTextOption::WrapAnywhere);
                return;
            }
        }
    });
}

}  // namespace text
