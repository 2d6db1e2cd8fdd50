#include "message.h"

#include "codepage.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <memory>

// Speed notes.  The format walks the picture column by column, but the
// surface is stored row by row, so a naive walk touches a new cache line for
// every pixel.  Both hiding and reading therefore work on bands of adjacent
// columns (16 pixels = one 64-byte line) and go down the band row by row,
// which reads each line once; only the order in which the bits are combined
// follows the column-by-column sequence.

namespace stego {

namespace {

constexpr std::uint32_t kLowBits = 0x00010101;    // lowest bit of red, green and blue
constexpr std::uint32_t kLowBitsRG = 0x00010100;  // third pixel of a triple: blue carries nothing
constexpr std::int64_t kBand = 16;
constexpr std::int64_t kHeadPixels = 39;  // the start marker's 13 characters

// kPlaced[4 * b + k]: the bits of byte b that pixel k of its triple carries,
// already in place in a pixel value.
constexpr std::array<std::uint32_t, 1024> makePlacedBits()
{
    std::array<std::uint32_t, 1024> table{};
    for (std::uint32_t b = 0; b < 256; ++b) {
        auto bit = [b](int n) { return (b >> n) & 1U; };
        table[4 * b + 0] = bit(7) << 16 | bit(6) << 8 | bit(5);
        table[4 * b + 1] = bit(4) << 16 | bit(3) << 8 | bit(2);
        table[4 * b + 2] = bit(1) << 16 | bit(0) << 8;
    }
    return table;
}
constexpr std::array<std::uint32_t, 1024> kPlaced = makePlacedBits();
constexpr std::array<std::uint32_t, 3> kKeep = {~kLowBits, ~kLowBits, ~kLowBitsRG};

// The three low bits of a pixel as red*4 + green*2 + blue.
inline std::uint32_t lowBits(std::uint32_t pixel) noexcept
{
    return ((pixel >> 14) & 4U) | ((pixel >> 7) & 2U) | (pixel & 1U);
}

std::int64_t pixelCount(std::int64_t width, std::int64_t height) noexcept
{
    return width > 0 && height > 0 ? width * height : 0;
}

void writeFramed(PixelSurface s, std::string_view framed)
{
    const auto* msg = reinterpret_cast<const std::uint8_t*>(framed.data());
    const std::int64_t h = s.height;
    const std::int64_t n = 3 * static_cast<std::int64_t>(framed.size());
    const std::int64_t fullColumns = n / h;

    std::array<std::int64_t, kBand> charAt{};
    std::array<std::uint32_t, kBand> place{};
    for (std::int64_t x0 = 0; x0 < fullColumns; x0 += kBand) {
        const std::int64_t bw = std::min(kBand, fullColumns - x0);
        for (std::int64_t j = 0; j < bw; ++j) {
            const std::int64_t p = (x0 + j) * h;
            charAt[static_cast<std::size_t>(j)] = p / 3;
            place[static_cast<std::size_t>(j)] = static_cast<std::uint32_t>(p % 3);
        }
        for (std::int64_t y = 0; y < h; ++y) {
            std::uint32_t* row = s.pixels + y * s.stride + x0;
            for (std::size_t j = 0; j < static_cast<std::size_t>(bw); ++j) {
                const std::uint32_t k = place[j];
                row[j] = (row[j] & kKeep[k]) | kPlaced[4U * msg[charAt[j]] + k];
                if (++place[j] == 3) {
                    place[j] = 0;
                    ++charAt[j];
                }
            }
        }
    }
    // The message ends part way down this column.
    const std::int64_t rest = n - fullColumns * h;
    for (std::int64_t y = 0; y < rest; ++y) {
        const std::int64_t p = fullColumns * h + y;
        const auto k = static_cast<std::uint32_t>(p % 3);
        std::uint32_t& pixel = s.pixels[y * s.stride + fullColumns];
        pixel = (pixel & kKeep[k]) | kPlaced[4U * msg[p / 3] + k];
    }
}

bool endsWithEndMarker(const char* collected, std::size_t length) noexcept
{
    return length >= kEndMarker.size()
           && std::memcmp(collected + length - kEndMarker.size(), kEndMarker.data(), kEndMarker.size()) == 0;
}

// The characters after the start marker, from pixel 39 to the first end
// marker or the last pixel.
class BodyScanner {
public:
    explicit BodyScanner(ConstPixelSurface s)
        : m_s(s),
          m_maxChars(static_cast<std::size_t>((pixelCount(s.width, s.height) - kHeadPixels) / 3)),
          m_out(new char[m_maxChars + 1])
    {
    }

    ReadResult run()
    {
        const std::int64_t h = m_s.height;
        // Up to 1 MB of low bits per band; very tall pictures get narrower bands.
        const std::int64_t bandWidth = std::clamp<std::int64_t>((std::int64_t{1} << 20) / h, 1, kBand);
        std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[static_cast<std::size_t>(bandWidth * h)]);
        const std::int64_t firstColumn = kHeadPixels / h;
        for (std::int64_t x0 = firstColumn; x0 < m_s.width; x0 += bandWidth) {
            const std::int64_t bw = std::min(bandWidth, m_s.width - x0);
            extract(x0, bw, buffer.get());
            for (std::int64_t j = 0; j < bw; ++j) {
                const std::int64_t y0 = x0 + j == firstColumn ? kHeadPixels % h : 0;
                if (assembleColumn(buffer.get() + j, bw, y0))
                    return {ReadOutcome::Found, std::string(m_out.get(), m_length - kEndMarker.size())};
            }
        }
        return {ReadOutcome::NoEndMarker, {}};
    }

private:
    void extract(std::int64_t x0, std::int64_t bw, std::uint8_t* buffer) const
    {
        const std::int64_t h = m_s.height;
        if (bw == kBand) {
            // Fixed width so the compiler vectorises the row.
            for (std::int64_t y = 0; y < h; ++y) {
                const std::uint32_t* row = m_s.pixels + y * m_s.stride + x0;
                std::uint8_t* out = buffer + y * kBand;
                for (std::int64_t j = 0; j < kBand; ++j)
                    out[j] = static_cast<std::uint8_t>(lowBits(row[j]));
            }
            return;
        }
        for (std::int64_t y = 0; y < h; ++y) {
            const std::uint32_t* row = m_s.pixels + y * m_s.stride + x0;
            std::uint8_t* out = buffer + y * bw;
            for (std::int64_t j = 0; j < bw; ++j)
                out[j] = static_cast<std::uint8_t>(lowBits(row[j]));
        }
    }

    // Feeds one column's low bits (every `step`-th byte of `bits`) from row
    // y on; true once the collected text ends with the end marker.
    bool assembleColumn(const std::uint8_t* bits, std::int64_t step, std::int64_t y)
    {
        const std::int64_t h = m_s.height;
        // Finish a character begun in an earlier column.
        for (; m_pending != 0 && y < h; ++y) {
            m_code = m_code << 3 | bits[y * step];
            if (++m_pending == 3 && emit())
                return true;
        }
        for (; y + 3 <= h; y += 3) {
            m_code = static_cast<std::uint32_t>(bits[y * step]) << 6 | static_cast<std::uint32_t>(bits[(y + 1) * step]) << 3
                     | bits[(y + 2) * step];
            if (emit())
                return true;
        }
        for (; y < h; ++y) {
            m_code = m_code << 3 | bits[y * step];
            ++m_pending;
        }
        return false;
    }

    // Appends the character assembled in m_code (nine bits, the last one
    // being the unused blue bit).
    bool emit() noexcept
    {
        const auto c = static_cast<char>(m_code >> 1);
        m_code = 0;
        m_pending = 0;
        m_out[m_length++] = c;
        // The end marker ends in 'e', so only then can the text end with it.
        return c == 'e' && endsWithEndMarker(m_out.get(), m_length);
    }

    ConstPixelSurface m_s;
    std::size_t m_maxChars;
    std::unique_ptr<char[]> m_out;
    std::size_t m_length = 0;
    std::uint32_t m_code = 0;
    int m_pending = 0;  // pixels of the current character already read
};

}  // namespace

std::uint32_t colourOf(std::uint32_t pixel) noexcept
{
    return ((pixel >> 16) & 0xFFU) | (pixel & 0xFF00U) | ((pixel & 0xFFU) << 16);
}

std::uint32_t pixelOf(std::uint32_t colour) noexcept
{
    return 0xFF000000U | ((colour & 0xFFU) << 16) | (colour & 0xFF00U) | ((colour >> 16) & 0xFFU);
}

std::string byteToBin(std::int16_t value)
{
    std::string digits;
    for (int v = value; v >= 1; v /= 2)
        digits.insert(digits.begin(), static_cast<char>('0' + v % 2));
    if (digits.size() < 8)
        digits.insert(0, 8 - digits.size(), '0');
    return digits;
}

std::string frameMessage(std::string_view text)
{
    std::string framed;
    framed.reserve(text.size() + static_cast<std::size_t>(kMarkerLength));
    framed.append(kStartMarker).append(text).append(kEndMarker);
    return framed;
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

HideReport hideBytes(PixelSurface surface, std::string_view textBytes)
{
    const auto framedLength = static_cast<std::int64_t>(textBytes.size()) + kMarkerLength;
    if (3 * framedLength > pixelCount(surface.width, surface.height))
        return {HideOutcome::TooMuchText, excessCharacters(framedLength, surface.width, surface.height), {}};
    writeFramed(surface, frameMessage(textBytes));
    return {};
}

HideReport hideText(PixelSurface surface, std::u16string_view text)
{
    EncodeResult encoded = encodeWindows1252(text, 10);
    if (!encoded.ok())
        return {HideOutcome::UnencodableCharacters, 0, std::move(encoded.unencodable)};
    return hideBytes(surface, encoded.bytes);
}

ReadResult readMessage(ConstPixelSurface surface)
{
    const std::int64_t total = pixelCount(surface.width, surface.height);
    const std::int64_t h = surface.height;

    // The first 13 characters, where the end-marker test already runs but
    // the start marker has not been checked yet.
    std::array<char, 13> head{};
    std::size_t headLength = 0;
    std::uint32_t code = 0;
    for (std::int64_t p = 0; p < std::min(total, kHeadPixels); ++p) {
        code = code << 3 | lowBits(surface.pixels[(p % h) * surface.stride + p / h]);
        if (p % 3 != 2)
            continue;
        head[headLength++] = static_cast<char>(code >> 1);
        code = 0;
        if (endsWithEndMarker(head.data(), headLength))
            return {ReadOutcome::Found, std::string(head.data(), headLength - kEndMarker.size())};
    }
    // Only a 40th pixel starts the 14th triple, where the start marker is checked.
    if (total <= kHeadPixels)
        return {ReadOutcome::NoEndMarker, {}};
    if (std::string_view(head.data(), head.size()) != kStartMarker)
        return {ReadOutcome::NoStartMarker, {}};
    return BodyScanner(surface).run();
}

bool isEncryptedText(std::u16string_view text) noexcept
{
    constexpr std::array<std::u16string_view, 4> fourCharacter = {u"K 02", u"K 01", u"Kk02", u"Kk01"};
    constexpr std::array<std::u16string_view, 2> threeCharacter = {u"\u00e9 K", u"\u00e9kK"};
    auto containsAny = [text](const auto& markers) {
        return std::any_of(markers.begin(), markers.end(),
                           [text](std::u16string_view m) { return text.find(m) != std::u16string_view::npos; });
    };
    return containsAny(fourCharacter) && containsAny(threeCharacter);
}

}  // namespace stego
