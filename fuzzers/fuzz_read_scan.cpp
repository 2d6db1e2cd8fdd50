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

namespace {

// Keeps an input to well under a millisecond while still allowing every shape
// from 16384 x 1 to 1 x 16384.
constexpr std::int64_t kMaxPixels = std::int64_t{1} << 14;

STEGOTEST_UNCOVERED std::uint32_t noise(std::uint64_t n)
{
    n += 0x9E3779B97F4A7C15ULL;
    n = (n ^ (n >> 30)) * 0xBF58476D1CE4E5B9ULL;
    n = (n ^ (n >> 27)) * 0x94D049BB133111EBULL;
    return static_cast<std::uint32_t>(n ^ (n >> 31));
}

// Whole characters only: the model writes no part of one.
STEGOTEST_UNCOVERED std::vector<std::uint32_t> makePixels(bool characters, const stego::PixelSurface& shape,
                                                          const std::string& payload)
{
    std::vector<std::uint32_t> buffer(static_cast<std::size_t>(shape.stride * shape.height));
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        std::uint32_t pixel = 0;
        for (std::size_t b = 0; b < 4 && !characters && !payload.empty(); ++b)
            pixel = (pixel << 8) | static_cast<std::uint8_t>(payload[(4 * i + b) % payload.size()]);
        buffer[i] = characters || payload.empty() ? noise(i ^ (std::uint64_t{payload.size()} << 40)) : pixel;
    }
    if (characters)
        stegotest::referenceWrite({buffer.data(), shape.stride, shape.width, shape.height},
                                  std::string_view(payload).substr(0, std::size_t(shape.width * shape.height / 3)));
    return buffer;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 5)
        return 0;
    const std::int64_t width = data[1] | (data[2] << 8), requestedHeight = data[3] | (data[4] << 8);
    const std::int64_t height = width > 0 && width * requestedHeight > kMaxPixels ? kMaxPixels / width : requestedHeight;
    const std::string body(reinterpret_cast<const char*>(data + 5), size - 5);
    stego::PixelSurface surface{nullptr, width + ((data[0] >> 1) & 3), width, height};
    std::vector<std::uint32_t> pixels = makePixels((data[0] & 1U) != 0, surface, body);
    surface.pixels = pixels.empty() ? nullptr : pixels.data();
    fuzz::checkScan(surface);

    // The payload as a body hidden in these pixels: it reads back whole
    // unless the cut-short check refused it, and then exactly as far as
    // that check says.
    const std::optional<std::int64_t> cut = stego::cutShortAt(body);
    if (cut.value_or(0) >= 0 && stego::hideBytes(surface, body).outcome == stego::HideOutcome::Hidden) {
        const stego::ReadResult read = stego::readMessage(surface);
        const std::string expected = cut ? body.substr(0, static_cast<std::size_t>(*cut)) : body;
        if (read.outcome != stego::ReadOutcome::Found || read.text != expected)
            fuzz::fail(cut ? "a text refused as cut short reads back otherwise" : "a text passed as whole reads back cut short");
    }
    return 0;
}
