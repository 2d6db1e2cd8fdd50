// Making a deflate stream joinable: another stream appended after it must
// inflate to both inputs, whatever kinds of block the first one ends in.
#include "imagefile/deflateblocks.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// `input` run to its end through `stream`'s `step` (deflate or inflate), into at most `room` bytes.
Bytes streamed(z_stream& stream, const Bytes& input, std::size_t room, int (*step)(z_streamp, int))
{
    Bytes out(room);
    stream.next_in = const_cast<std::uint8_t*>(input.data());
    stream.avail_in = static_cast<uInt>(input.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(step(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    return out;
}

// A raw deflate stream of `input`.
Bytes deflated(const Bytes& input, int level, int strategy)
{
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, level, Z_DEFLATED, -15, 8, strategy), Z_OK);
    Bytes out = streamed(stream, input, deflateBound(&stream, input.size()), deflate);
    deflateEnd(&stream);
    return out;
}

Bytes inflated(const Bytes& input, std::size_t expected)
{
    z_stream stream{};
    EXPECT_EQ(inflateInit2(&stream, -15), Z_OK);
    Bytes out = streamed(stream, input, expected + 1, inflate);
    EXPECT_EQ(stream.avail_in, 0U) << "the joined stream ends where its last block does";
    inflateEnd(&stream);
    return out;
}

TEST(DeflateBlocks, AJoinableStreamIsContinuedByTheNext)
{
    std::mt19937 random(7);
    Bytes noise(200000), grain(900000), skewed(100000), text;
    std::generate(noise.begin(), noise.end(), [&] { return static_cast<std::uint8_t>(random()); });
    for (auto& byte : skewed)  // value k with chance 2^-(k+1): codes up to 15 bits
        byte = static_cast<std::uint8_t>(std::countr_zero(static_cast<std::uint32_t>(random()) | 0x80000000U));
    for (std::size_t i = 0; i < grain.size(); ++i)  // like a filtered photo: small values, some repeats
        grain[i] = static_cast<std::uint8_t>(i % 5000 < 300 ? 0 : random() % 7 + (i % 3) * 60);
    for (int i = 0; i < 3000; ++i)
        text.insert(text.end(), {'e', 'n', 'd', ' ', static_cast<std::uint8_t>('a' + i % 26), ' '});
    const struct { const char* why; Bytes input; int level, strategy; } rows[] = {
        {"nothing at all", {}, 1, Z_DEFAULT_STRATEGY},
        {"fixed codes", text, 1, Z_FIXED},
        {"dynamic codes with long lengths and far distances", grain, 1, Z_DEFAULT_STRATEGY},
        {"codes longer than the decoding table", skewed, 9, Z_HUFFMAN_ONLY},
        {"stored blocks", noise, 0, Z_DEFAULT_STRATEGY},
        {"incompressible bytes at the fastest level", noise, 1, Z_DEFAULT_STRATEGY},
    };
    const Bytes second(text.begin(), text.begin() + 1000), next = deflated(second, 1, Z_DEFAULT_STRATEGY);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        Bytes joined = deflated(row.input, row.level, row.strategy);
        const std::size_t size = joined.size();
        EXPECT_FALSE(imagefile::findFinalBlock(Bytes(joined.begin(), joined.end() - 1))) << "a stream cut short has no final block";
        joined.resize(size + 5);  // room for what joinableDeflate appends
        const auto joinable = imagefile::joinableDeflate(joined.data(), size);
        ASSERT_TRUE(joinable);
        joined.resize(*joinable);
        joined.insert(joined.end(), next.begin(), next.end());
        Bytes both = row.input;
        both.insert(both.end(), second.begin(), second.end());
        EXPECT_EQ(inflated(joined, both.size()), both);
    }
}

}  // namespace
