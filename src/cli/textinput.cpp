#include "textinput.h"

#include "stego/body.h"
#include "stego/codepage.h"

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <limits>

#include <sys/stat.h>
#include <unistd.h>

namespace cli {

namespace {

constexpr std::string_view kByteOrderMark = stego::kUtf8Mark;
// How far past the picture's room input that may never end is still
// counted, so that the usual mistakes get the exact figure.
constexpr std::int64_t kCountingBound = std::int64_t(1) << 20;

}  // namespace

TextConverter::TextConverter(std::int64_t capacity, TextOptions options, bool dropByteOrderMark)
    : m_capacity(capacity), m_options(options), m_checkByteOrderMark(!options.raw && dropByteOrderMark)
{
}

std::int64_t TextConverter::bodyLength() const
{
    if (m_options.raw || m_unencodable.empty())
        return m_characters;
    return static_cast<std::int64_t>(kByteOrderMark.size()) + m_utf8Bytes;
}

void TextConverter::dropBodies()
{
    m_keeping = false;
    m_windows1252 = std::string();
    m_utf8 = std::string();
}

void TextConverter::take(char32_t c, std::string_view bytes)
{
    ++m_characters;
    m_utf8Bytes += static_cast<std::int64_t>(bytes.size());
    const int b = c <= 0xFFFF ? stego::unicodeToWindows1252(static_cast<char16_t>(c)) : -1;
    // With UTF-8 allowed the first offender settles the encoding; without,
    // the refusal names them all.
    if (b < 0 && (m_unencodable.empty() || !m_options.utf8) && m_seen.insert(c).second) {
        m_unencodable.push_back(c);
        m_windows1252 = std::string();  // no longer of use
    }
    if (m_keeping) {
        if (m_unencodable.empty())
            m_windows1252.push_back(static_cast<char>(b));
        if (m_options.utf8)
            m_utf8.append(bytes);
    }
}

void TextConverter::feed(std::string_view bytes)
{
    if (m_invalid)
        return;
    if (m_options.raw) {
        m_characters += static_cast<std::int64_t>(bytes.size());
        if (m_keeping)
            m_windows1252.append(bytes);
        if (tooLong())
            dropBodies();
        return;
    }
    m_pending.append(bytes);
    if (m_checkByteOrderMark) {
        if (m_pending.size() < kByteOrderMark.size() && kByteOrderMark.starts_with(m_pending))
            return;  // too few bytes yet to tell
        if (m_pending.starts_with(kByteOrderMark))
            m_pending.erase(0, kByteOrderMark.size());
        m_checkByteOrderMark = false;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(m_pending.data());
    const std::size_t n = m_pending.size();
    std::size_t i = 0;
    while (i < n) {
        if (p[i] < 0x80) {
            // ASCII runs, the bulk of most texts, are taken whole.
            std::size_t end = i + 1;
            while (end < n && p[end] < 0x80)
                ++end;
            const std::string_view run(m_pending.data() + i, end - i);
            m_characters += static_cast<std::int64_t>(run.size());
            m_utf8Bytes += static_cast<std::int64_t>(run.size());
            if (m_keeping && m_unencodable.empty())
                m_windows1252.append(run);
            if (m_keeping && m_options.utf8)
                m_utf8.append(run);
            i = end;
        } else {
            unsigned char low = 0, high = 0;
            const int length = stego::utf8SequenceLength(p[i], low, high);
            if (length == 0) {
                m_invalid = true;
                return;
            }
            if (n - i < static_cast<std::size_t>(length)) {
                // Cut short by this piece's end: decoded whole with the next.
                for (std::size_t k = i + 1; k < n; ++k)
                    if ((k == i + 1 && (p[k] < low || p[k] > high)) || (k > i + 1 && (p[k] & 0xC0) != 0x80)) {
                        m_invalid = true;
                        return;
                    }
                break;
            }
            char32_t c = p[i] & (0x7F >> length);
            for (int k = 1; k < length; ++k) {
                const unsigned char next = p[i + static_cast<std::size_t>(k)];
                if ((k == 1 && (next < low || next > high)) || (next & 0xC0) != 0x80) {
                    m_invalid = true;
                    return;
                }
                c = (c << 6) | (next & 0x3F);
            }
            take(c, std::string_view(m_pending.data() + i, static_cast<std::size_t>(length)));
            i += static_cast<std::size_t>(length);
        }
        if (m_keeping && tooLong())
            dropBodies();
    }
    m_pending.erase(0, i);
}

TextOutcome TextConverter::finish(bool complete)
{
    TextOutcome outcome;
    outcome.complete = complete;
    // What is left is a sequence cut short by the end of the input (or a
    // mark's first bytes alone).
    if (m_invalid || (complete && !m_pending.empty())) {
        outcome.kind = TextOutcome::NotUtf8;
        return outcome;
    }
    outcome.utf8 = !m_options.raw && !m_unencodable.empty();
    if (outcome.utf8 && !m_options.utf8) {
        outcome.kind = TextOutcome::Unencodable;
        outcome.unencodable = std::move(m_unencodable);
        return outcome;
    }
    outcome.length = bodyLength();
    if (tooLong()) {
        outcome.kind = TextOutcome::TooLong;
        return outcome;
    }
    if (m_options.raw)
        outcome.codes = std::move(m_windows1252);
    else
        outcome.codes = outcome.utf8 ? stego::utf8Body(m_utf8) : stego::windows1252Body(std::move(m_windows1252));
    return outcome;
}

TextOutcome convertText(std::string_view bytes, std::int64_t capacity, TextOptions options)
{
    TextConverter converter(capacity, options, false);
    converter.feed(bytes);
    return converter.finish(true);
}

TextOutcome readText(int descriptor, std::int64_t capacity, TextOptions options)
{
    struct stat st {};
    const bool ends = ::fstat(descriptor, &st) == 0 && S_ISREG(st.st_mode);
    TextConverter converter(capacity, options, true);
    std::string buffer(64 * 1024, '\0');
    std::int64_t pastRoom = 0;  // bytes read since the text became too long
    for (;;) {
        const ssize_t got = ::read(descriptor, buffer.data(), buffer.size());
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
        const bool wasTooLong = converter.tooLong();
        converter.feed(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
        if (wasTooLong)
            pastRoom += got;
        if (converter.invalid() || (!ends && pastRoom > kCountingBound))
            return converter.finish(false);
    }
}

}  // namespace cli
