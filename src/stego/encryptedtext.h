#pragma once

// Whether a text found in a picture was encrypted before it was hidden: it
// then carries the encrypter's markers, and the window says so.

#include <string>
#include <string_view>

namespace stego {

// True when `text` holds a four-character marker ("K 01", "K 02", "Kk01",
// "Kk02") and a three-character marker ("\u00e9 K", "\u00e9kK") anywhere.
bool isEncryptedText(std::u16string_view text) noexcept;

// The same test over a hidden text's bytes arriving in pieces, for texts
// too long to hold: feed the pieces in order, then ask.  The bytes are
// Windows-1252, or UTF-8 with `utf8`.
class EncryptedTextScanner {
public:
    explicit EncryptedTextScanner(bool utf8 = false) : m_utf8(utf8) {}
    void feed(std::string_view bytes);
    bool encrypted() const noexcept { return m_fourCharacter && m_threeCharacter; }

private:
    bool m_utf8;
    std::string m_tail;  // the last three bytes, where a marker may begin
    bool m_fourCharacter = false;
    bool m_threeCharacter = false;
};

}  // namespace stego
