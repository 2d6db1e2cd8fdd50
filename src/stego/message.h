#pragma once

// The hidden-message format.
//
// A message is the start marker, the text's bytes and the end marker, one
// byte a character.  Character c of that framed message lives in pixels 3c,
// 3c+1 and 3c+2, counted column by column from the top-left pixel
// (pixel p is at x = p / H, y = p % H).  Its bits 7..0 replace the lowest
// bit of R0 G0 B0 R1 G1 B1 R2 G2; B2 is left alone.  There is no length,
// checksum or version: the markers are the only structure.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A refusal's excess (HideReport::excess) is measured as capacity.h says.
#include "capacity.h"

namespace stego {

inline constexpr std::string_view kStartMarker = "LHE_S message";
inline constexpr std::string_view kEndMarker = "end message";
inline constexpr std::int64_t kMarkerLength = 24;  // both markers together
// The start marker's pixels: the 14th triple, where the start marker is
// tested, begins at pixel 39, so only a picture of 40 pixels or more has it.
inline constexpr std::int64_t kStartMarkerPixels = 3 * static_cast<std::int64_t>(kStartMarker.size());

// Where each bit of a character lies.  Pixel `place` (0, 1, 2) of the
// character's triple carries three of its bits as red*4 + green*2 + blue in
// the channels' lowest bits: bits 7 6 5, then 4 3 2, then 1 0 and nothing
// (the third pixel's blue keeps its own bit; 0 here).  Every road that
// writes or reads the format places bits by these two, or is tested
// against them.
constexpr std::uint32_t bitsOfPlace(std::uint8_t code, int place) noexcept
{
    const std::uint32_t bits = code;
    return place == 0 ? bits >> 5 : place == 1 ? (bits >> 2) & 7U : (bits << 1) & 6U;
}
constexpr std::uint8_t characterOfPlaces(std::uint32_t first, std::uint32_t second, std::uint32_t third) noexcept
{
    return static_cast<std::uint8_t>(((first & 7U) << 5 | (second & 7U) << 2 | (third & 7U) >> 1) & 0xFFU);
}

// A picture as the engine sees it: rows of 32-bit pixels laid out as Qt's
// Format_RGB32 keeps them, value 0xAARRGGBB (red in bits 16-23, green 8-15,
// blue 0-7; the top byte is ignored and preserved).  The caller owns the
// memory; the engine never copies the picture.
struct PixelSurface {
    std::uint32_t* pixels = nullptr;  // first pixel of the first row
    std::ptrdiff_t stride = 0;        // distance between rows, in pixels
    std::int64_t width = 0;
    std::int64_t height = 0;
};

struct ConstPixelSurface {
    const std::uint32_t* pixels = nullptr;
    std::ptrdiff_t stride = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;

    ConstPixelSurface() = default;
    ConstPixelSurface(const std::uint32_t* p, std::ptrdiff_t s, std::int64_t w, std::int64_t h)
        : pixels(p), stride(s), width(w), height(h) {}
    ConstPixelSurface(const PixelSurface& s)  // NOLINT: a writable surface is readable
        : pixels(s.pixels), stride(s.stride), width(s.width), height(s.height) {}
};

// The framed message: start marker, `text`, end marker.
std::string frameMessage(std::string_view text);

enum class HideOutcome {
    Hidden,       // the framed message is in pixels 0 .. 3L-1; nothing else changed
    TooMuchText,  // it does not fit; no pixel changed
};

struct HideReport {
    HideOutcome outcome = HideOutcome::Hidden;
    double excess = 0;  // TooMuchText: characters over capacity
};

// Frames `textBytes` and writes it into `surface`, or refuses it when
// 3 * (len + 24) > W * H.  An empty surface (W or H = 0) refuses everything.
HideReport hideBytes(PixelSurface surface, std::string_view textBytes);

enum class ReadOutcome {
    Found,          // an end marker was found; `text` holds what came before it
    NoStartMarker,  // the first 13 characters are not the start marker (checked only with >= 40 pixels)
    NoEndMarker,    // the scan passed the last pixel without an end marker
};

struct ReadResult {
    ReadOutcome outcome = ReadOutcome::NoEndMarker;
    std::string text;  // Found: the bytes between the markers (or before the end marker); else empty
};

// The scan, exactly as the reader walks it: column by column, triples
// running on across columns; when the 14th triple begins the first 13
// characters must be the start marker (which is then dropped); after every
// character the collected text is tested for ending in the end marker, from
// the first character on.  So a picture whose first 11 characters read
// "end message" yields Found with empty text.
ReadResult readMessage(ConstPixelSurface surface);

}  // namespace stego
