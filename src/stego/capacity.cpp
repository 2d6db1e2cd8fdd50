#include "capacity.h"

#include "message.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace stego {

std::int64_t pixelCount(std::int64_t width, std::int64_t height) noexcept
{
    return width > 0 && height > 0 ? width * height : 0;
}

std::int64_t textCapacity(std::int64_t width, std::int64_t height) noexcept
{
    return std::max<std::int64_t>(0, pixelCount(width, height) / 3 - kMarkerLength);
}

double excessCharacters(std::int64_t framedLength, std::int64_t width, std::int64_t height) noexcept
{
    return static_cast<double>(3 * framedLength - pixelCount(width, height)) / 3.0;
}

std::string formatExcess(double value, std::string_view decimalSeparator)
{
    // to_chars rather than printf: the result must not depend on the C locale.
    std::array<char, 64> buffer{};
    const auto [end, error] =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::general, 15);
    std::string text = error == std::errc() ? std::string(buffer.data(), end) : std::string("0");
    if (const auto point = text.find('.'); point != std::string::npos)
        text.replace(point, 1, decimalSeparator);
    return text;
}

}  // namespace stego
