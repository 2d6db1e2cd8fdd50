// The hidden-message scan on arbitrary pixels and picture shapes.
//
// Input: one flags byte (bit 0: payload is characters rather than pixels;
// bits 1-2: extra pixels of row padding), the width and the height as 16-bit
// little-endian numbers, then the payload.  Raw payload bytes are repeated
// over the whole pixel buffer.  Character payloads are laid into the low bits
// the way a hidden message is, over pseudo-random upper bits, so that the
// fuzzer reaches the start-marker and end-marker branches without having to
// guess bit patterns.  The payload is also hidden as a body, to hold the
// check for texts that would read back cut short to the reader.

#include "fuzzsupport.h"

#include "stego/body.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The picture is built outside coverage: its loops say nothing about the
// code under test and would only slow every input down.
#define MIRRORVANE_NOT_COVERED __attribute__((no_sanitize("coverage")))

namespace {

// Keeps an input to well under a millisecond while still allowing every shape
// from 16384 x 1 to 1 x 16384.
constexpr std::int64_t kMaxPixels = std::int64_t{1} << 14;

struct Shape {
    bool characters = false;
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::int64_t stride = 0;
};

MIRRORVANE_NOT_COVERED std::uint32_t noise(std::uint64_t n)
{
    n += 0x9E3779B97F4A7C15ULL;
    n = (n ^ (n >> 30)) * 0xBF58476D1CE4E5B9ULL;
    n = (n ^ (n >> 27)) * 0x94D049BB133111EBULL;
    return static_cast<std::uint32_t>(n ^ (n >> 31));
}

// Replaces the low bit of the channel at `shift` (16 red, 8 green, 0 blue).
MIRRORVANE_NOT_COVERED std::uint32_t withLowBit(std::uint32_t pixel, int shift, unsigned bit)
{
    return (pixel & ~(std::uint32_t{1} << shift)) | (std::uint32_t{bit & 1U} << shift);
}

// `pixel` carrying its share of `code`, as pixel `place` (0, 1, 2) of a triple.
MIRRORVANE_NOT_COVERED std::uint32_t carrying(std::uint32_t pixel, int place, unsigned code)
{
    switch (place) {
    case 0:
        pixel = withLowBit(pixel, 16, code >> 7);
        pixel = withLowBit(pixel, 8, code >> 6);
        return withLowBit(pixel, 0, code >> 5);
    case 1:
        pixel = withLowBit(pixel, 16, code >> 4);
        pixel = withLowBit(pixel, 8, code >> 3);
        return withLowBit(pixel, 0, code >> 2);
    default:
        pixel = withLowBit(pixel, 16, code >> 1);
        return withLowBit(pixel, 8, code);
    }
}

MIRRORVANE_NOT_COVERED std::vector<std::uint32_t> makePixels(const Shape& shape, const std::uint8_t* payload,
                                                             std::size_t payloadSize)
{
    std::vector<std::uint32_t> buffer(static_cast<std::size_t>(shape.stride * shape.height));
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        if (shape.characters || payloadSize == 0) {
            buffer[i] = noise(i ^ (std::uint64_t{payloadSize} << 40));
        } else {
            std::uint32_t pixel = 0;
            for (std::size_t b = 0; b < 4; ++b)
                pixel = (pixel << 8) | payload[(4 * i + b) % payloadSize];
            buffer[i] = pixel;
        }
    }
    if (shape.characters && shape.height > 0) {
        const std::int64_t pixels = shape.width * shape.height;
        for (std::int64_t p = 0; p < pixels && static_cast<std::size_t>(p / 3) < payloadSize; ++p) {
            const std::int64_t x = p / shape.height;
            const std::int64_t y = p % shape.height;
            std::uint32_t& pixel = buffer[static_cast<std::size_t>(y * shape.stride + x)];
            pixel = carrying(pixel, static_cast<int>(p % 3), payload[p / 3]);
        }
    }
    return buffer;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 5)
        return 0;
    Shape shape;
    shape.characters = (data[0] & 1U) != 0;
    shape.width = data[1] | (data[2] << 8);
    shape.height = data[3] | (data[4] << 8);
    if (shape.width > 0 && shape.width * shape.height > kMaxPixels)
        shape.height = kMaxPixels / shape.width;
    shape.stride = shape.width + ((data[0] >> 1) & 3U);

    const std::vector<std::uint32_t> buffer = makePixels(shape, data + 5, size - 5);
    const stego::ConstPixelSurface surface(buffer.empty() ? nullptr : buffer.data(), shape.stride, shape.width,
                                           shape.height);
    fuzz::checkScan(surface);

    // The payload as a body hidden in these pixels: it reads back whole
    // unless the cut-short check refused it, and then exactly as far as
    // that check says.
    const std::string body(reinterpret_cast<const char*>(data + 5), size - 5);
    std::vector<std::uint32_t> pixels = buffer;
    const stego::PixelSurface writable{pixels.empty() ? nullptr : pixels.data(), shape.stride, shape.width, shape.height};
    const std::optional<std::int64_t> cut = stego::cutShortAt(body);
    if (cut.value_or(0) >= 0 && stego::hideBytes(writable, body).outcome == stego::HideOutcome::Hidden) {
        const stego::ReadResult read = stego::readMessage(writable);
        const std::string expected = cut ? body.substr(0, static_cast<std::size_t>(*cut)) : body;
        if (read.outcome != stego::ReadOutcome::Found || read.text != expected)
            fuzz::fail(cut ? "a text refused as cut short reads back otherwise" : "a text passed as whole reads back cut short");
    }
    return 0;
}
