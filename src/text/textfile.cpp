#include "textfile.h"

#include "stego/body.h"
#include "stego/codepage.h"

#include <string_view>

namespace text {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool isHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

QString decodeUtf16(const unsigned char* data, qsizetype n, bool littleEndian)
{
    QString out(n / 2, Qt::Uninitialized);
    char16_t* o = reinterpret_cast<char16_t*>(out.data());
    const auto unitAt = [&](qsizetype k) {
        const unsigned lo = data[2 * k + (littleEndian ? 0 : 1)];
        const unsigned hi = data[2 * k + (littleEndian ? 1 : 0)];
        return static_cast<char16_t>(lo | (hi << 8));
    };
    const qsizetype units = n / 2;
    for (qsizetype k = 0; k < units; ++k) {
        const char16_t unit = unitAt(k);
        if (isHighSurrogate(unit) && k + 1 < units && isLowSurrogate(unitAt(k + 1))) {
            *o++ = unit;
            *o++ = unitAt(++k);
        } else {
            *o++ = isHighSurrogate(unit) || isLowSurrogate(unit) ? kReplacement : unit;
        }
    }
    return out;
}

QString decodeWindows1252(const unsigned char* data, qsizetype n)
{
    const std::u16string decoded =
        stego::decodeWindows1252(std::string_view(reinterpret_cast<const char*>(data), static_cast<std::size_t>(n)));
    return QString(reinterpret_cast<const QChar*>(decoded.data()), static_cast<qsizetype>(decoded.size()));
}

void appendUtf8(QByteArray& out, char32_t c)
{
    if (c < 0x80) {
        out.append(static_cast<char>(c));
    } else if (c < 0x800) {
        out.append(static_cast<char>(0xC0 | (c >> 6)));
        out.append(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.append(static_cast<char>(0xE0 | (c >> 12)));
        out.append(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.append(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.append(static_cast<char>(0xF0 | (c >> 18)));
        out.append(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.append(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.append(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

}  // namespace

std::optional<QString> decodeUtf8(QByteArrayView bytes)
{
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    QString out(n, Qt::Uninitialized);  // never more UTF-16 units than bytes
    char16_t* o = reinterpret_cast<char16_t*>(out.data());
    qsizetype i = 0;
    while (i < n) {
        const unsigned char lead = data[i];
        if (lead < 0x80) {
            *o++ = lead;
            ++i;
            continue;
        }
        unsigned char secondLow = 0;
        unsigned char secondHigh = 0;
        const int length = stego::utf8SequenceLength(lead, secondLow, secondHigh);
        if (length == 0)
            return std::nullopt;
        char32_t c = lead & (0x7F >> length);  // the lead's payload bits
        if (n - i < length || data[i + 1] < secondLow || data[i + 1] > secondHigh)
            return std::nullopt;
        for (int k = 1; k < length; ++k) {
            const unsigned char next = data[i + k];
            if ((next & 0xC0) != 0x80)
                return std::nullopt;
            c = (c << 6) | (next & 0x3F);
        }
        i += length;
        if (c >= 0x10000) {
            *o++ = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            *o++ = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            *o++ = static_cast<char16_t>(c);
        }
    }
    out.truncate(o - reinterpret_cast<char16_t*>(out.data()));
    return out;
}

QString decodeTextFile(const QByteArray& bytes)
{
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    if (n >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
        if (std::optional<QString> text = decodeUtf8(QByteArrayView(bytes).sliced(3)))
            return *text;
        return decodeWindows1252(data, n);
    }
    if (n >= 2 && data[0] == 0xFF && data[1] == 0xFE)
        return decodeUtf16(data + 2, n - 2, true);
    if (n >= 2 && data[0] == 0xFE && data[1] == 0xFF)
        return decodeUtf16(data + 2, n - 2, false);
    if (n >= 2 && data[1] == 0)
        return decodeUtf16(data, n, true);
    if (std::optional<QString> text = decodeUtf8(bytes))
        return *text;
    return decodeWindows1252(data, n);
}

QByteArray encodeTextFile(QStringView text)
{
    QByteArray out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80 && c != u'\r') {
            out.append(static_cast<char>(c));
        } else if (c == u'\r') {
            out.append('\n');
            if (i + 1 < n && text[i + 1] == u'\n')
                ++i;
        } else if (c == char16_t(QChar::ParagraphSeparator) || c == char16_t(QChar::LineSeparator)) {
            out.append('\n');
        } else if (isHighSurrogate(c) && i + 1 < n && isLowSurrogate(text[i + 1].unicode())) {
            appendUtf8(out, QChar::surrogateToUcs4(c, text[++i].unicode()));
        } else {
            appendUtf8(out, isHighSurrogate(c) || isLowSurrogate(c) ? kReplacement : c);
        }
    }
    return out;
}

QByteArray windows1252ToTextFile(std::string_view bytes)
{
    QByteArray out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<std::uint8_t>(bytes[i]);
        if (b == '\r') {
            out.append('\n');
            if (i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
        } else {
            appendUtf8(out, stego::windows1252ToUnicode(b));
        }
    }
    return out;
}

}  // namespace text
