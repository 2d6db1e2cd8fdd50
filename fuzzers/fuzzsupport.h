#pragma once

// What the fuzz targets share: a way to stop on a broken promise, and a
// second, deliberately plain reading of the hidden-message scan (one pixel at
// a time through (x, y), no batching, no shortcuts) that the engine's fast
// scan must agree with on every picture.

#include "stego/body.h"
#include "stego/message.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

// Stops the run with a readable reason; libFuzzer keeps the input that did it.
[[noreturn]] inline void fail(const char* what, const std::string& detail = {})
{
    std::fprintf(stderr, "broken promise: %s %s\n", what, detail.c_str());
    std::abort();
}

// Outside coverage: the fuzzer should steer by the engine's branches, not by
// this oracle's.
__attribute__((no_sanitize("coverage"))) inline stego::ReadResult referenceScan(const stego::ConstPixelSurface& surface)
{
    std::string collected;
    int triplesBegun = 0;
    int place = 0;  // position of the pixel in its triple
    unsigned code = 0;
    for (std::int64_t x = 0; x < surface.width; ++x) {
        for (std::int64_t y = 0; y < surface.height; ++y) {
            const std::uint32_t pixel = surface.pixels[y * surface.stride + x];
            const unsigned red = (pixel >> 16) & 1U;
            const unsigned green = (pixel >> 8) & 1U;
            const unsigned blue = pixel & 1U;
            if (place == 0) {
                if (triplesBegun < 14 && ++triplesBegun == 14) {
                    if (collected != stego::kStartMarker)
                        return {stego::ReadOutcome::NoStartMarker, {}};
                    collected.clear();
                }
                code = 128 * red + 64 * green + 32 * blue;
            } else if (place == 1) {
                code += 16 * red + 8 * green + 4 * blue;
            } else {
                code += 2 * red + green;
            }
            if (++place == 3) {
                place = 0;
                collected.push_back(static_cast<char>(code));
            }
            if (collected.ends_with(stego::kEndMarker)) {
                collected.resize(collected.size() - stego::kEndMarker.size());
                return {stego::ReadOutcome::Found, collected};
            }
        }
    }
    return {stego::ReadOutcome::NoEndMarker, {}};
}

inline const char* outcomeName(stego::ReadOutcome outcome)
{
    switch (outcome) {
    case stego::ReadOutcome::Found: return "Found";
    case stego::ReadOutcome::NoStartMarker: return "NoStartMarker";
    case stego::ReadOutcome::NoEndMarker: return "NoEndMarker";
    }
    return "?";
}

// Holds the engine's scan of `surface` to the plain one.
inline void checkScan(const stego::ConstPixelSurface& surface)
{
    const stego::ReadResult fast = stego::readMessage(surface);
    const stego::ReadResult plain = referenceScan(surface);
    if (fast.outcome != plain.outcome)
        fail("scan outcome differs:", std::string(outcomeName(fast.outcome)) + " instead of " + outcomeName(plain.outcome));
    if (fast.text != plain.text)
        fail("scan text differs, length", std::to_string(fast.text.size()) + " instead of " + std::to_string(plain.text.size()));
    // A body's encoding told as it arrives in pieces is the one told whole.
    stego::BodyClassifier pieces;
    pieces.feed(std::string_view(fast.text).substr(0, fast.text.size() / 3));
    pieces.feed(std::string_view(fast.text).substr(fast.text.size() / 3));
    if (pieces.encoding() != stego::bodyEncoding(fast.text))
        fail("a body's encoding differs when told in pieces");
}

}  // namespace fuzz
