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

namespace {

// Keeps an input to well under a millisecond while still allowing every shape
// from 16384 x 1 to 1 x 16384.
constexpr std::int64_t kMaxPixels = std::int64_t{1} << 14;

// Random pixels with the raw payload repeated over them, or with its
// characters written in (whole ones only: the model writes no part of one).
STEGOTEST_UNCOVERED stegotest::Canvas picture(const std::uint8_t* data, const std::string& payload)
{
    const std::int64_t width = data[1] | (data[2] << 8), asked = data[3] | (data[4] << 8);
    const std::int64_t height = width > 0 && width * asked > kMaxPixels ? kMaxPixels / width : asked;
    stegotest::Canvas canvas(width, height, static_cast<unsigned>(payload.size()), (data[0] >> 1) & 3);
    if ((data[0] & 1U) != 0)
        stegotest::referenceWrite(canvas.surface(), std::string_view(payload).substr(0, std::size_t(width * height / 3)));
    else
        for (std::size_t i = 0; !payload.empty() && i < canvas.pixels.size(); ++i)
            for (std::size_t b = 0; b < 4; ++b)
                canvas.pixels[i] = (canvas.pixels[i] << 8) | static_cast<std::uint8_t>(payload[(4 * i + b) % payload.size()]);
    return canvas;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 5)
        return 0;
    const std::string body(reinterpret_cast<const char*>(data + 5), size - 5);
    stegotest::Canvas canvas = picture(data, body);
    const stego::PixelSurface surface = canvas.surface();
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
