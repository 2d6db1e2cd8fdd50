#pragma once

// Where a deflate stream's last block lies.  libdeflate compresses only a
// whole buffer and always marks its last block final; knowing where that
// block begins and where the stream's bits end lets such a stream be
// continued by another one (see joinableDeflate).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace imagefile {

struct FinalBlock {
    std::size_t headerBit = 0;  // the BFINAL bit, counted from the stream's first bit
    std::size_t endBit = 0;     // the bit after the final block's end-of-block code
};

// Walks `stream` block by block (Huffman codes decoded, nothing inflated).
// Empty when it is not a well-formed deflate stream that ends in its last
// byte.
std::optional<FinalBlock> findFinalBlock(std::span<const std::uint8_t> stream);

// Turns the stream in `stream[0, size)` into one that another raw deflate
// stream may follow from the next byte on: the final block's mark cleared
// and an empty stored block appended to reach a byte boundary.  `stream`
// must have room for 5 more bytes.  Returns the new size, or nothing when
// findFinalBlock finds no final block.
std::optional<std::size_t> joinableDeflate(std::uint8_t* stream, std::size_t size);

}  // namespace imagefile
