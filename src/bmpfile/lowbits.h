#pragma once

// The low bits of rows of pixels, gathered column by column: a band of rows
// read from the file becomes, for each pixel column, the run of its rows'
// low bits, from which the characters are read three pixels at a time.

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace bmpfile::detail {

// Red, green, blue low bits as red*4 + green*2 + blue, from a pixel's bytes
// blue, green, red.
inline std::uint8_t lowBits(const std::uint8_t* pixel) noexcept
{
    return static_cast<std::uint8_t>((pixel[2] & 1U) << 2 | (pixel[1] & 1U) << 1 | (pixel[0] & 1U));
}

struct FreeBytes {
    void operator()(std::uint8_t* p) const noexcept { std::free(p); }
};
using ScratchBytes = std::unique_ptr<std::uint8_t[], FreeBytes>;

// Uninitialised memory for a band's low bits.  On Linux in huge pages where
// the system grants them: a band of a few megabytes would otherwise cost a
// page fault, and the zeroing of a page, every four kilobytes.
ScratchBytes scratchBytes(std::size_t size);

// A band's low bits are followed by this many bytes of slack, so that a
// character's three can be read as one word.
constexpr std::size_t kBandSlack = 4;

// The character that three pixels' low bits (each 0..7) hold: their bits
// as b0 b1 b2 with the lowest dropped.  Read as one little-endian word, one
// multiplication moves the three fields side by side at bits 16..24; the
// other products land clear of them.
inline char characterOf(const std::uint8_t* bits) noexcept
{
    std::uint32_t word = 0;
    if constexpr (std::endian::native == std::endian::little)
        std::memcpy(&word, bits, sizeof word);
    else
        word = static_cast<std::uint32_t>(bits[0] | bits[1] << 8 | bits[2] << 16);
    const std::uint64_t fields = word & 0x070707U;
    return static_cast<char>(fields * 0x400801U >> 17);
}

// The `count` characters held by the low bits at `bits`, three a character
// as characterOf reads them, into `out`; sixteen at a time where the
// processor can shuffle bytes (SSSE3).  Every value at `bits` is 0..7.
void charactersOf(const std::uint8_t* bits, std::size_t count, char* out);

// Rows of pixels as read: `rows` rows `stride` bytes apart, `pixels` of
// `bpp` bytes each.
struct RowBlock {
    const std::uint8_t* data;
    std::int64_t stride;
    std::int64_t rows;
    std::int64_t pixels;
    int bpp;
};

// Where those rows' low bits go: pixel c of row k at
// data[c * columnLength + first + k] (top-down) or
// data[c * columnLength + first - k] (bottom-up).
struct BandColumns {
    std::uint8_t* data;
    std::int64_t columnLength;
    std::int64_t first;
    bool topDown;
};

// Gathers the low bits of every pixel of `in` into `out`; sixteen rows by
// sixteen pixels at a time where the processor has SSE2.
void lowBitsToColumns(const RowBlock& in, const BandColumns& out);

}  // namespace bmpfile::detail
