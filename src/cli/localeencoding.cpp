#include "localeencoding.h"

#include "stego/codepage.h"

#include <QString>

#include <iconv.h>
#include <langinfo.h>

#include <memory>

namespace cli {

namespace {

struct IconvCloser {
    void operator()(iconv_t descriptor) const { iconv_close(descriptor); }
};
using Converter = std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvCloser>;

Converter openConverter(const char* to, const char* from)
{
    const iconv_t descriptor = iconv_open(to, from);
    return Converter(descriptor == reinterpret_cast<iconv_t>(-1) ? nullptr : descriptor);
}

// The whole of `in` converted, or nothing at the first byte that cannot be.
std::optional<std::string> convert(iconv_t converter, std::string_view in)
{
    std::string out(in.size() * 4 + 16, '\0');
    char* source = const_cast<char*>(in.data());
    std::size_t sourceLeft = in.size();
    char* target = out.data();
    std::size_t targetLeft = out.size();
    if (iconv(converter, &source, &sourceLeft, &target, &targetLeft) == static_cast<std::size_t>(-1)
        || iconv(converter, nullptr, nullptr, &target, &targetLeft) == static_cast<std::size_t>(-1))
        return std::nullopt;
    out.resize(out.size() - targetLeft);
    return out;
}

}  // namespace

const std::string& localeEncoding()
{
    static const std::string encoding = [] {
        const std::string codeset = nl_langinfo(CODESET);
        return codeset == "UTF-8" || codeset == "ANSI_X3.4-1968" ? std::string() : codeset;
    }();
    return encoding;
}

std::optional<std::string> localeToUtf8(std::string_view bytes)
{
    if (localeEncoding().empty())
        return std::string(bytes);
    const Converter converter = openConverter("UTF-8", localeEncoding().c_str());
    if (!converter)
        return std::nullopt;
    return convert(converter.get(), bytes);
}

std::optional<std::string> utf8CharacterToLocale(std::string_view character)
{
    if (localeEncoding().empty())
        return std::string(character);
    static const Converter converter = openConverter(localeEncoding().c_str(), "UTF-8");
    if (!converter)
        return std::nullopt;
    return convert(converter.get(), character);
}

const std::array<std::string, 256>* localeCharacters()
{
    static const std::unique_ptr<std::array<std::string, 256>> table = []() -> std::unique_ptr<std::array<std::string, 256>> {
        if (localeEncoding().empty())
            return nullptr;
        const Converter converter = openConverter(localeEncoding().c_str(), "UTF-8");
        if (!converter)
            return nullptr;
        auto characters = std::make_unique<std::array<std::string, 256>>();
        for (int byte = 0; byte < 256; ++byte) {
            const std::u16string c = stego::decodeWindows1252(std::string(1, static_cast<char>(byte)));
            const std::string utf8 = QString::fromUtf16(c.data(), static_cast<qsizetype>(c.size())).toStdString();
            (*characters)[static_cast<std::size_t>(byte)] = convert(converter.get(), utf8).value_or(std::string());
        }
        return characters;
    }();
    return table.get();
}

}  // namespace cli
