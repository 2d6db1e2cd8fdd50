#pragma once

// The message body: the bytes between the start and the end marker.
//
// A text that Windows-1252 holds is hidden one byte a character, exactly as
// every version has done.  Any other text may be hidden as the UTF-8
// byte-order mark EF BB BF followed by the text in UTF-8.  A reader takes a
// body as UTF-8 only when it starts with the mark and the rest is strict
// UTF-8; every other body is Windows-1252, mark and all, so no earlier
// message reads differently.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace stego {

inline constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

enum class BodyEncoding { Windows1252, Utf8 };

// Length of the strict UTF-8 sequence that starts with `lead` and the range
// its second byte must lie in (no overlong forms, no surrogates, nothing past
// U+10FFFF); 0 for a byte that starts none.
constexpr int utf8SequenceLength(std::uint8_t lead, std::uint8_t& low, std::uint8_t& high) noexcept
{
    low = 0x80;
    high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF) {
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
        return 4;
    }
    return 0;
}

// Strict UTF-8, fed in pieces that may split a sequence: no overlong forms,
// no surrogates, nothing past U+10FFFF, nothing cut short at the end.
class Utf8Validator {
public:
    // False once the bytes so far cannot be UTF-8; stays false.
    bool feed(std::string_view bytes) noexcept;
    // After the last piece: true when every sequence was complete and valid.
    bool valid() const noexcept { return !m_failed && m_pending == 0; }

private:
    bool m_failed = false;
    int m_pending = 0;              // continuation bytes still owed
    std::uint8_t m_low = 0x80;      // range of the next continuation byte
    std::uint8_t m_high = 0xBF;
};

// Tells a body's encoding from its bytes arriving in order, in constant
// memory, so that a body too long to hold is still told apart.
class BodyClassifier {
public:
    void feed(std::string_view bytes) noexcept;
    BodyEncoding encoding() const noexcept;

private:
    std::size_t m_seen = 0;
    bool m_marked = true;  // the first bytes so far agree with the mark
    Utf8Validator m_rest;
};

BodyEncoding bodyEncoding(std::string_view body) noexcept;

// The text of a body, without the mark: UTF-8 bytes for a UTF-8 body, the
// Windows-1252 bytes as they are otherwise.
std::string_view bodyText(std::string_view body, BodyEncoding encoding) noexcept;

// UTF-16 text in UTF-8 after `prefix` (kUtf8Mark makes it a body), or
// nothing when it holds a lone surrogate, which UTF-8 cannot carry.  With
// `breaksAsCrLf` every LF and every line or paragraph separator becomes CR
// LF, as a text box's lines are hidden.
std::optional<std::string> utf16ToUtf8(std::u16string_view text, std::string_view prefix = {},
                                       bool breaksAsCrLf = false);

// The mark and `utf8` as a body.
std::string utf8Body(std::string_view utf8);

// The body for a text's Windows-1252 bytes: those bytes, unless they would
// read back as UTF-8 (a text that starts with the mark's characters, "\u00EF\u00BB\u00BF",
// and goes on like UTF-8); such a text is hidden as UTF-8, so that it reads
// back as it was.
std::string windows1252Body(std::string bytes);

// Where reading the framed `body` would stop short: the offset in the body
// at which the first end marker of start marker + body + end marker begins,
// when that is before the real end marker (-1 for a match that starts in
// the start marker's final "e").  Nothing when the body reads back whole.
std::optional<std::int64_t> cutShortAt(std::string_view body) noexcept;

}  // namespace stego
