#pragma once

// A deliberately plain model of the format, pixel by pixel through 0x00BBGGRR
// colours, for the fast engine to be compared against (here and by the fuzz
// targets); and a test canvas.

#include "stego/message.h"

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

// Outside a fuzzer's coverage: it should steer by the engine's branches, not
// by this model's.
#ifdef __clang__
#define STEGOTEST_UNCOVERED __attribute__((no_sanitize("coverage")))
#else
#define STEGOTEST_UNCOVERED
#endif

namespace stegotest {

// Colours in the 0x00BBGGRR form (red in the low byte), as the format's
// worked examples write them, from the surface's pixel value; the swap of
// red and blue is its own inverse, so it turns a colour back into a pixel too.
inline std::uint32_t colourOf(std::uint32_t pixel) { return ((pixel >> 16) & 0xFFU) | (pixel & 0xFF00U) | ((pixel & 0xFFU) << 16); }

// Pixel p of the column-by-column sequence, and its colour.
template <typename Surface>
auto& pixelAt(const Surface& s, std::int64_t p) { return s.pixels[(p % s.height) * s.stride + p / s.height]; }
inline std::uint32_t colourAt(const stego::ConstPixelSurface& s, std::int64_t p) { return colourOf(pixelAt(s, p)); }
inline void setColour(const stego::PixelSurface& s, std::int64_t p, std::uint32_t colour)
{
    pixelAt(s, p) = (pixelAt(s, p) & 0xFF000000U) | colourOf(colour);
}

// The digits of `value` in binary, most significant first, padded with
// leading zeros to at least eight digits.
inline std::string byteToBin(std::int16_t value)
{
    std::string digits;
    for (int v = value; v >= 1; v /= 2)
        digits.insert(digits.begin(), static_cast<char>('0' + v % 2));
    return std::string(8 - std::min<std::size_t>(digits.size(), 8), '0') + digits;
}

// Writes `bytes` as characters 0, 1, ... digit by digit from byteToBin:
// clear the eight channels' low bits, add the digits, rebuild the colours
// (the top byte is left as it was).
STEGOTEST_UNCOVERED inline void referenceWrite(const stego::PixelSurface& surface, std::string_view bytes)
{
    if (3 * static_cast<std::int64_t>(bytes.size()) > surface.width * surface.height)
        throw std::logic_error("test writes past the last pixel");
    for (std::int64_t c = 0; c < static_cast<std::int64_t>(bytes.size()); ++c) {
        const std::string d = byteToBin(static_cast<std::uint8_t>(bytes[static_cast<std::size_t>(c)]));
        std::uint32_t rgb[3][3];
        for (int k = 0; k < 3; ++k)
            for (int ch = 0; ch < 3; ++ch)
                rgb[k][ch] = (colourAt(surface, 3 * c + k) >> (8 * ch)) & 0xFF;
        for (std::size_t n = 0; n < 8; ++n)
            rgb[n / 3][n % 3] = rgb[n / 3][n % 3] - rgb[n / 3][n % 3] % 2 + static_cast<std::uint32_t>(d[n] - '0');
        for (int k = 0; k < 3; ++k)
            setColour(surface, 3 * c + k, rgb[k][0] + 256 * rgb[k][1] + 65536 * rgb[k][2]);
    }
}

// The reader's walk, state for state: a triple counter that stops at 14, and
// the end-marker test after every pixel.
STEGOTEST_UNCOVERED inline stego::ReadResult referenceRead(const stego::ConstPixelSurface& surface)
{
    int triples = 0;
    std::uint32_t code = 0;
    std::string collected;
    for (std::int64_t p = 0; p < surface.width * surface.height; ++p) {
        const std::uint32_t colour = colourAt(surface, p);
        const std::uint32_t r = colour & 1, g = (colour >> 8) & 1, b = (colour >> 16) & 1;
        if (p % 3 == 0 && triples < 14 && ++triples == 14) {
            if (collected != stego::kStartMarker)
                return {stego::ReadOutcome::NoStartMarker, {}};
            collected.clear();
        }
        code += p % 3 == 0 ? 128 * r + 64 * g + 32 * b : p % 3 == 1 ? 16 * r + 8 * g + 4 * b : 2 * r + g;
        if (p % 3 == 2) {
            collected.push_back(static_cast<char>(code));
            code = 0;
        }
        if (collected.size() >= 11 && collected.compare(collected.size() - 11, 11, stego::kEndMarker) == 0)
            return {stego::ReadOutcome::Found, collected.substr(0, collected.size() - 11)};
    }
    return {stego::ReadOutcome::NoEndMarker, {}};
}

// Rows carry padding so a mix-up of width and stride shows; random top
// bytes must survive.
struct Canvas {
    STEGOTEST_UNCOVERED Canvas(std::int64_t w, std::int64_t h, unsigned seed = 1, std::ptrdiff_t padding = 3)
        : width(w), height(h), stride(w + padding), pixels(static_cast<std::size_t>(stride * std::max<std::int64_t>(h, 1)))
    {
        std::mt19937 random(seed);
        for (auto& p : pixels)
            p = static_cast<std::uint32_t>(random());
    }

    stego::PixelSurface surface() { return {pixels.data(), stride, width, height}; }
    stego::ConstPixelSurface surface() const { return {pixels.data(), stride, width, height}; }
    std::uint32_t& at(std::int64_t p) { return pixelAt(surface(), p); }

    std::int64_t width, height;
    std::ptrdiff_t stride;
    std::vector<std::uint32_t> pixels;
};

}  // namespace stegotest
