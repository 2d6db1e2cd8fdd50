#include "textinput.h"

#include "stego/codepage.h"

#include <QByteArrayView>
#include <QStringDecoder>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <limits>

#include <unistd.h>

namespace cli {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Where the last UTF-8 sequence of `bytes` starts when it is cut short, so
// that a sequence split between two reads is decoded whole; else the size.
std::size_t completePrefix(std::string_view bytes)
{
    const std::size_t size = bytes.size();
    for (std::size_t back = 1; back <= 4 && back <= size; ++back) {
        const auto b = static_cast<unsigned char>(bytes[size - back]);
        if ((b & 0xC0) == 0x80)
            continue;  // a continuation byte: the lead is further back
        const std::size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        return length > back ? size - back : size;
    }
    return size;
}

}  // namespace

TextConverter::TextConverter(std::int64_t capacity, bool raw, bool dropByteOrderMark)
    : m_capacity(capacity), m_raw(raw), m_checkByteOrderMark(!raw && dropByteOrderMark)
{
}

bool TextConverter::feed(std::string_view bytes)
{
    if (m_outcome.kind != TextOutcome::Ok && m_outcome.kind != TextOutcome::Unencodable)
        return false;
    if (m_raw) {
        const auto room = static_cast<std::size_t>(m_capacity + 1 - m_outcome.characters);
        const std::string_view kept = bytes.substr(0, std::min(room, bytes.size()));
        m_outcome.codes.append(kept);
        m_outcome.characters += static_cast<std::int64_t>(kept.size());
        if (m_outcome.characters > m_capacity)
            m_outcome.kind = TextOutcome::TooLong;
        return m_outcome.kind == TextOutcome::Ok;
    }
    m_pending.append(bytes);
    if (m_checkByteOrderMark) {
        if (m_pending.size() < kByteOrderMark.size() && kByteOrderMark.starts_with(m_pending))
            return true;  // too few bytes yet to tell
        if (m_pending.starts_with(kByteOrderMark))
            m_pending.erase(0, kByteOrderMark.size());
        m_checkByteOrderMark = false;
    }
    const std::size_t cut = completePrefix(m_pending);
    const bool going = convert(std::string_view(m_pending).substr(0, cut));
    m_pending.erase(0, cut);
    return going;
}

bool TextConverter::convert(std::string_view bytes)
{
    if (bytes.empty())
        return true;
    // Stateless, and a byte-order mark is a character: each piece is decoded
    // alone, and one that starts with the mark's bytes keeps them.
    QStringDecoder decoder(QStringConverter::Utf8,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    const QString text = decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (decoder.hasError()) {
        m_outcome.kind = TextOutcome::NotUtf8;
        return false;
    }
    const std::u16string_view units(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size()));
    stego::EncodeResult encoded = stego::encodeWindows1252(units, std::numeric_limits<std::size_t>::max());
    if (encoded.ok() && m_outcome.kind == TextOutcome::Ok) {
        m_outcome.codes += encoded.bytes;
    } else {
        // Once the text is refused its bytes are of no use; only the
        // offenders and the length still count.
        m_outcome.kind = TextOutcome::Unencodable;
        m_outcome.codes = std::string();
        for (const char32_t c : encoded.unencodable)
            if (m_seen.insert(c).second)
                m_outcome.unencodable.push_back(c);
    }
    count(units);
    if (m_outcome.characters > m_capacity && m_outcome.kind == TextOutcome::Ok) {
        m_outcome.kind = TextOutcome::TooLong;
        m_outcome.codes = std::string();
    }
    return m_outcome.characters <= m_capacity;
}

void TextConverter::count(std::u16string_view text)
{
    std::int64_t characters = 0;
    for (const char16_t unit : text)
        characters += (unit >= 0xDC00 && unit <= 0xDFFF) ? 0 : 1;  // a pair counts once
    m_outcome.characters += characters;
}

TextOutcome TextConverter::finish(bool complete)
{
    // What is left is a sequence cut short by the end of the input (or the
    // start of one): the decoder refuses it.
    if (!m_raw && complete && !m_pending.empty())
        convert(m_pending);
    m_outcome.complete = complete;
    return std::move(m_outcome);
}

TextOutcome convertText(std::string_view bytes, std::int64_t capacity, bool raw)
{
    // The command line's text is already in memory: it is converted whole,
    // so that a refusal can say by how much it is too long.
    TextConverter converter(std::numeric_limits<std::int64_t>::max() - 1, raw, false);
    converter.feed(bytes);
    TextOutcome outcome = converter.finish(true);
    if (outcome.kind == TextOutcome::Ok && outcome.characters > capacity) {
        outcome.kind = TextOutcome::TooLong;
        outcome.codes = std::string();
    }
    return outcome;
}

TextOutcome readText(int descriptor, std::int64_t capacity, bool raw)
{
    TextConverter converter(capacity, raw, true);
    std::string buffer(64 * 1024, '\0');
    for (;;) {
        const auto wanted = static_cast<std::size_t>(std::clamp<std::int64_t>(converter.room(), 1, std::int64_t(buffer.size())));
        const ssize_t got = ::read(descriptor, buffer.data(), wanted);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            TextOutcome failed;
            failed.kind = TextOutcome::ReadError;
            failed.error = QString::fromLocal8Bit(std::strerror(errno));
            return failed;
        }
        if (got == 0)
            return converter.finish(true);
        if (!converter.feed(std::string_view(buffer.data(), static_cast<std::size_t>(got))))
            return converter.finish(false);
    }
}

}  // namespace cli
