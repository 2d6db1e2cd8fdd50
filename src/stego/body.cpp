#include "body.h"

#include "codepage.h"
#include "message.h"
#include "scanner.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace stego {

bool Utf8Validator::feed(std::string_view bytes) noexcept
{
    if (m_failed)
        return false;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        if (m_pending == 0) {
            // ASCII runs, the bulk of most texts, eight bytes a step.
            while (i + 8 <= n) {
                std::uint64_t word = 0;
                std::memcpy(&word, p + i, sizeof word);
                if ((word & 0x8080808080808080ULL) != 0)
                    break;
                i += 8;
            }
            if (i == n)
                break;
            const unsigned char lead = p[i++];
            if (lead < 0x80)
                continue;
            m_pending = utf8SequenceLength(lead, m_low, m_high) - 1;
            if (m_pending < 0) {
                m_failed = true;
                return false;
            }
            continue;
        }
        const unsigned char next = p[i++];
        if (next < m_low || next > m_high) {
            m_failed = true;
            return false;
        }
        m_low = 0x80;
        m_high = 0xBF;
        --m_pending;
    }
    return true;
}

void BodyClassifier::feed(std::string_view bytes) noexcept
{
    if (m_seen < kUtf8Mark.size()) {
        const std::size_t n = std::min(bytes.size(), kUtf8Mark.size() - m_seen);
        m_marked = m_marked && bytes.substr(0, n) == kUtf8Mark.substr(m_seen, n);
        m_seen += n;
        bytes.remove_prefix(n);
    }
    if (m_marked)
        m_rest.feed(bytes);
}

BodyEncoding BodyClassifier::encoding() const noexcept
{
    return m_marked && m_seen == kUtf8Mark.size() && m_rest.valid() ? BodyEncoding::Utf8 : BodyEncoding::Windows1252;
}

BodyEncoding bodyEncoding(std::string_view body) noexcept
{
    BodyClassifier classifier;
    classifier.feed(body);
    return classifier.encoding();
}

std::string_view bodyText(std::string_view body, BodyEncoding encoding) noexcept
{
    return encoding == BodyEncoding::Utf8 ? body.substr(kUtf8Mark.size()) : body;
}

std::optional<std::string> utf16ToUtf8(std::u16string_view text, std::string_view prefix, bool breaksAsCrLf)
{
    // Written through a pointer into room for the longest result (three
    // bytes a unit), then cut to size: a million characters is a few
    // milliseconds of Hide Text, not a million appends.
    // Uninitialised room: clearing three bytes a unit would cost more than
    // the copy into the result.
    const std::unique_ptr<char[]> room(new char[prefix.size() + 3 * text.size() + 1]);  // one more: two bytes are written for one
    char* o = room.get();
    o = std::copy(prefix.begin(), prefix.end(), o);
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        char32_t c = text[i];
        if (c < 0x800 && c != u'\n') {
            // One or two bytes, written without a branch on which: most
            // scripts of Europe and the Middle East are here.
            const bool two = c >= 0x80;
            o[0] = static_cast<char>(two ? 0xC0 | (c >> 6) : c);
            o[1] = static_cast<char>(0x80 | (c & 0x3F));
            o += 1 + static_cast<int>(two);
            continue;
        }
        if (breaksAsCrLf && (c == u'\n' || c == 0x2028 || c == 0x2029)) {
            *o++ = '\r';
            *o++ = '\n';
            continue;
        }
        if (c == u'\n') {
            *o++ = '\n';
            continue;
        }
        if (c >= 0xD800 && c <= 0xDFFF) {
            if (c > 0xDBFF || i + 1 == n || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
                return std::nullopt;
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        if (c < 0x10000) {
            *o++ = static_cast<char>(0xE0 | (c >> 12));
            *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        } else {
            *o++ = static_cast<char>(0xF0 | (c >> 18));
            *o++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        }
        *o++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return std::string(room.get(), static_cast<std::size_t>(o - room.get()));
}

std::string utf8Body(std::string_view utf8)
{
    std::string body;
    body.reserve(kUtf8Mark.size() + utf8.size());
    body.append(kUtf8Mark).append(utf8);
    return body;
}

std::string windows1252Body(std::string bytes)
{
    if (bodyEncoding(bytes) == BodyEncoding::Windows1252)
        return bytes;
    return *utf16ToUtf8(decodeWindows1252(bytes), kUtf8Mark);
}

std::optional<std::int64_t> cutShortAt(std::string_view body) noexcept
{
    // A marker that ends inside the real end marker starts in the body's
    // last ten bytes, and one that starts in the start marker starts at its
    // final "e"; both are found in a short window of the framed bytes.
    constexpr std::size_t m = kEndMarker.size();
    char head[3 * m] = {};
    const std::size_t headBody = std::min(body.size(), m - 1);
    head[0] = kStartMarker.back();
    std::memcpy(head + 1, body.data(), headBody);
    std::memcpy(head + 1 + headBody, kEndMarker.data(), m);
    if (std::string_view(head, 1 + headBody + m).starts_with(kEndMarker))
        return -1;
    if (const std::optional<std::size_t> at = findEndMarker(body, 0))
        return static_cast<std::int64_t>(*at);
    const std::size_t tailBody = std::min(body.size(), m - 1);
    char tail[2 * m] = {};
    std::memcpy(tail, body.data() + body.size() - tailBody, tailBody);
    std::memcpy(tail + tailBody, kEndMarker.data(), m);
    const std::size_t at = std::string_view(tail, tailBody + m).find(kEndMarker);
    if (at < tailBody)
        return static_cast<std::int64_t>(body.size() - tailBody + at);
    return std::nullopt;
}

}  // namespace stego
