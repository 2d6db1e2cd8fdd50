// The text-file decoder on arbitrary file contents.  Besides not crashing,
// it must keep its promise: UTF-16 little-endian when the second byte is zero,
// one character per pair with nothing dropped but a final odd byte (a
// byte-order mark stays), and otherwise Windows-1252 with one character per
// byte.

#include "fuzzsupport.h"
#include "stego/codepage.h"
#include "text/textcommands.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString text = text::decodeTextFile(bytes);

    if (size >= 2 && data[1] == 0) {
        if (static_cast<std::size_t>(text.size()) != size / 2)
            fuzz::fail("UTF-16 file decoded to the wrong length:", std::to_string(text.size()));
        for (std::size_t i = 0; i < size / 2; ++i) {
            const char16_t unit = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
            const char16_t got = text.at(static_cast<qsizetype>(i)).unicode();
            // A lone surrogate may come back as itself or as the replacement character.
            const bool surrogate = unit >= 0xD800 && unit <= 0xDFFF;
            if (got != unit && !(surrogate && got == 0xFFFD))
                fuzz::fail("UTF-16 unit changed at", std::to_string(i));
        }
    } else {
        const std::u16string expected =
            stego::decodeWindows1252(std::string_view(reinterpret_cast<const char*>(data), size));
        if (text.size() != static_cast<qsizetype>(expected.size()))
            fuzz::fail("Windows-1252 file decoded to the wrong length:", std::to_string(text.size()));
        if (std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), expected.size()) != expected)
            fuzz::fail("Windows-1252 file decoded to other characters");
    }
    return 0;
}
