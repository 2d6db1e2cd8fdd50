#pragma once

// A deliberately plain model of the hidden-message format, written pixel by
// pixel through 0x00BBGGRR colours the way the format describes it, for the
// fast engine to be compared against; and a small test canvas.

#include "stego/message.h"

#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace stegotest {

// A picture with a few pixels of padding at the end of every row, so a
// mix-up of width and stride shows, and random top bytes that must survive.
class Canvas {
public:
    Canvas(std::int64_t width, std::int64_t height, std::ptrdiff_t padding = 3)
        : m_width(width), m_height(height), m_stride(static_cast<std::ptrdiff_t>(width) + padding),
          m_pixels(static_cast<std::size_t>(m_stride * std::max<std::int64_t>(height, 1)), 0xFF000000U)
    {
    }

    void fill(std::uint32_t colour)
    {
        for (auto& p : m_pixels)
            p = stego::pixelOf(colour);
    }
    void randomise(std::mt19937& random)
    {
        for (auto& p : m_pixels)
            p = static_cast<std::uint32_t>(random());
    }

    std::int64_t width() const { return m_width; }
    std::int64_t height() const { return m_height; }
    stego::PixelSurface surface() { return {m_pixels.data(), m_stride, m_width, m_height}; }
    stego::ConstPixelSurface surface() const { return {m_pixels.data(), m_stride, m_width, m_height}; }
    const std::vector<std::uint32_t>& raw() const { return m_pixels; }

    // Pixel p of the column-by-column sequence.
    std::uint32_t& at(std::int64_t p)
    {
        return m_pixels[static_cast<std::size_t>((p % m_height) * m_stride + p / m_height)];
    }
    std::uint32_t colour(std::int64_t x, std::int64_t y) const
    {
        return stego::colourOf(m_pixels[static_cast<std::size_t>(y * m_stride + x)]);
    }
    void setColour(std::int64_t x, std::int64_t y, std::uint32_t colour)
    {
        auto& p = m_pixels[static_cast<std::size_t>(y * m_stride + x)];
        p = (p & 0xFF000000U) | (stego::pixelOf(colour) & 0x00FFFFFFU);
    }

private:
    std::int64_t m_width;
    std::int64_t m_height;
    std::ptrdiff_t m_stride;
    std::vector<std::uint32_t> m_pixels;
};

// Writes `bytes` as characters firstChar, firstChar + 1, ... exactly as the
// format's write-one-character steps say, digit by digit from byteToBin.
inline void referenceWrite(Canvas& canvas, std::string_view bytes, std::int64_t firstChar = 0)
{
    const std::int64_t h = canvas.height();
    if (3 * (firstChar + static_cast<std::int64_t>(bytes.size())) > canvas.width() * h)
        throw std::logic_error("test writes past the last pixel");
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::int64_t c = firstChar + static_cast<std::int64_t>(i);
        const std::string d = stego::byteToBin(static_cast<std::int16_t>(static_cast<std::uint8_t>(bytes[i])));
        std::uint32_t rgb[3][3];
        for (int k = 0; k < 3; ++k) {
            const std::int64_t p = 3 * c + k;
            const std::uint32_t colour = canvas.colour(p / h, p % h);
            rgb[k][0] = colour & 0xFF;
            rgb[k][1] = (colour >> 8) & 0xFF;
            rgb[k][2] = (colour >> 16) & 0xFF;
        }
        for (int n = 0; n < 8; ++n) {
            std::uint32_t& channel = rgb[n / 3][n % 3];
            channel = channel - channel % 2 + static_cast<std::uint32_t>(d[static_cast<std::size_t>(n)] - '0');
        }
        for (int k = 0; k < 3; ++k) {
            const std::int64_t p = 3 * c + k;
            canvas.setColour(p / h, p % h, rgb[k][0] + 256 * rgb[k][1] + 65536 * rgb[k][2]);
        }
    }
}

// The reader's walk, state for state: column by column, the triple position
// running on across columns, a triple counter that stops at 14, and the
// end-marker test after every pixel.
inline stego::ReadResult referenceRead(const Canvas& canvas)
{
    int k = 0;
    int triples = 0;
    std::uint32_t code = 0;
    std::string collected;
    for (std::int64_t x = 0; x < canvas.width(); ++x) {
        for (std::int64_t y = 0; y < canvas.height(); ++y) {
            const std::uint32_t colour = canvas.colour(x, y);
            const std::uint32_t r = colour & 1, g = (colour >> 8) & 1, b = (colour >> 16) & 1;
            if (k == 0) {
                if (triples < 14) {
                    ++triples;
                    if (triples == 14) {
                        if (collected != stego::kStartMarker)
                            return {stego::ReadOutcome::NoStartMarker, {}};
                        collected.clear();
                    }
                }
                code = 128 * r + 64 * g + 32 * b;
            } else if (k == 1) {
                code += 16 * r + 8 * g + 4 * b;
            } else {
                code += 2 * r + g;
            }
            if (++k == 3) {
                k = 0;
                collected.push_back(static_cast<char>(code));
            }
            if (collected.size() >= 11 && collected.compare(collected.size() - 11, 11, stego::kEndMarker) == 0)
                return {stego::ReadOutcome::Found, collected.substr(0, collected.size() - 11)};
        }
    }
    return {stego::ReadOutcome::NoEndMarker, {}};
}

}  // namespace stegotest
