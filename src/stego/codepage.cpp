#include "codepage.h"

namespace stego {

char16_t windows1252ToUnicode(std::uint8_t b) noexcept { return b; }  // TODO(engine)

std::u16string decodeWindows1252(std::string_view bytes)
{
    std::u16string out;
    out.reserve(bytes.size());
    for (char c : bytes)
        out.push_back(windows1252ToUnicode(static_cast<std::uint8_t>(c)));
    return out;
}

EncodeResult encodeWindows1252(std::u16string_view text, std::size_t)
{
    EncodeResult result;
    for (char16_t c : text)
        result.bytes.push_back(static_cast<char>(c));
    return result;
}

}  // namespace stego
