#pragma once

// Windows-1252, the single-byte code page in which every hidden and every
// text-file character is stored.  The five bytes the code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control characters of
// the same number, so all 256 bytes decode and re-encode unchanged.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace stego {

// The character of byte `b`.
char16_t windows1252ToUnicode(std::uint8_t b) noexcept;
// The byte of character `c`, or -1 when the code page has none.
int unicodeToWindows1252(char16_t c) noexcept;

// Every byte becomes one UTF-16 unit; never fails.
std::u16string decodeWindows1252(std::string_view bytes);

struct EncodeResult {
    std::string bytes;                  // one byte a character; empty when `unencodable` is not
    std::vector<char32_t> unencodable;  // distinct offending code points, in order of first appearance
    bool ok() const noexcept { return unencodable.empty(); }
};

// Encodes UTF-16 text.  A character outside Windows-1252 (a surrogate pair
// counts as one character, a lone surrogate as itself) makes the result
// fail: `bytes` is empty and `unencodable` lists the first `maxReported`
// distinct offenders.  Requires maxReported >= 1.
EncodeResult encodeWindows1252(std::u16string_view text, std::size_t maxReported = 10);

}  // namespace stego
