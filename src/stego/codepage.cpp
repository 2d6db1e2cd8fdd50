#include "codepage.h"

#include <algorithm>
#include <array>

namespace stego {

namespace {

// Bytes 0x80..0x9F; every other byte is its own code point.  The five holes
// of the code page keep their own number so that every byte survives a
// decode/encode round trip.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Returns the byte for `c`, or -1 when the code page has none.
int byteOf(char16_t c) noexcept
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    const auto* hit = std::find(kHighControls.begin(), kHighControls.end(), c);
    if (hit == kHighControls.end())
        return -1;
    return 0x80 + static_cast<int>(hit - kHighControls.begin());
}

bool isHighSurrogate(char16_t c) noexcept { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char16_t c) noexcept { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

int unicodeToWindows1252(char16_t c) noexcept
{
    return byteOf(c);
}

char16_t windows1252ToUnicode(std::uint8_t b) noexcept
{
    if (b >= 0x80 && b < 0xA0)
        return kHighControls[static_cast<std::size_t>(b - 0x80)];
    return b;
}

std::u16string decodeWindows1252(std::string_view bytes)
{
    std::u16string out;
    out.resize(bytes.size());
    std::transform(bytes.begin(), bytes.end(), out.begin(),
                   [](char c) { return windows1252ToUnicode(static_cast<std::uint8_t>(c)); });
    return out;
}

EncodeResult encodeWindows1252(std::u16string_view text, std::size_t maxReported)
{
    EncodeResult result;
    result.bytes.resize(text.size());
    std::size_t written = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int b = byteOf(text[i]);
        if (b >= 0) {
            result.bytes[written++] = static_cast<char>(b);
            continue;
        }
        char32_t offender = text[i];
        if (isHighSurrogate(text[i]) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            offender = 0x10000 + ((static_cast<char32_t>(text[i]) - 0xD800) << 10)
                       + (static_cast<char32_t>(text[i + 1]) - 0xDC00);
            ++i;
        }
        auto& list = result.unencodable;
        if (std::find(list.begin(), list.end(), offender) == list.end()) {
            list.push_back(offender);
            if (list.size() >= maxReported)
                break;
        }
    }
    if (result.ok())
        result.bytes.resize(written);
    else
        result.bytes.clear();
    return result;
}

}  // namespace stego
