// Making a deflate stream joinable: another stream appended after it must
// inflate to both inputs, whatever kinds of block the first one ends in.
#include "imagefile/deflateblocks.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <bit>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// A raw deflate stream of `input`, with room for what joinableDeflate appends.
Bytes deflated(const Bytes& input, int level, int strategy)
{
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, level, Z_DEFLATED, -15, 8, strategy), Z_OK);
    Bytes out(deflateBound(&stream, input.size()) + 5);
    stream.next_in = const_cast<std::uint8_t*>(input.data());
    stream.avail_in = static_cast<uInt>(input.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

Bytes inflated(const Bytes& stream, std::size_t expected)
{
    z_stream inflater{};
    EXPECT_EQ(inflateInit2(&inflater, -15), Z_OK);
    Bytes out(expected + 1);
    inflater.next_in = const_cast<std::uint8_t*>(stream.data());
    inflater.avail_in = static_cast<uInt>(stream.size());
    inflater.next_out = out.data();
    inflater.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&inflater, Z_FINISH);
    EXPECT_EQ(result, Z_STREAM_END);
    EXPECT_EQ(inflater.avail_in, 0U) << "the joined stream ends where its last block does";
    out.resize(inflater.total_out);
    inflateEnd(&inflater);
    return out;
}

TEST(DeflateBlocks, AJoinableStreamIsContinuedByTheNext)
{
    std::mt19937 random(7);
    Bytes noise(200000), grain(900000), skewed(100000), text;
    for (auto& byte : noise)
        byte = static_cast<std::uint8_t>(random());
    for (auto& byte : skewed)  // value k with chance 2^-(k+1): codes up to 15 bits
        byte = static_cast<std::uint8_t>(std::countr_zero(static_cast<std::uint32_t>(random()) | 0x80000000U));
    for (std::size_t i = 0; i < grain.size(); ++i)  // like a filtered photo: small values, some repeats
        grain[i] = static_cast<std::uint8_t>(i % 5000 < 300 ? 0 : random() % 7 + (i % 3) * 60);
    for (int i = 0; i < 3000; ++i)
        text.insert(text.end(), {'e', 'n', 'd', ' ', static_cast<std::uint8_t>('a' + i % 26), ' '});
    const struct {
        const char* why;
        Bytes input;
        int level, strategy;
    } rows[] = {
        {"nothing at all", {}, 1, Z_DEFAULT_STRATEGY},
        {"fixed codes", text, 1, Z_FIXED},
        {"dynamic codes with long lengths and far distances", grain, 1, Z_DEFAULT_STRATEGY},
        {"codes longer than the decoding table", skewed, 9, Z_HUFFMAN_ONLY},
        {"stored blocks", noise, 0, Z_DEFAULT_STRATEGY},
        {"incompressible bytes at the fastest level", noise, 1, Z_DEFAULT_STRATEGY},
    };
    const Bytes second(text.begin(), text.begin() + 1000);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        Bytes joined = deflated(row.input, row.level, row.strategy);
        const std::size_t size = joined.size();
        joined.resize(size + 5);
        const auto joinable = imagefile::joinableDeflate(joined.data(), size);
        ASSERT_TRUE(joinable);
        joined.resize(*joinable);
        const Bytes next = deflated(second, 1, Z_DEFAULT_STRATEGY);
        joined.insert(joined.end(), next.begin(), next.end());
        Bytes both = row.input;
        both.insert(both.end(), second.begin(), second.end());
        EXPECT_EQ(inflated(joined, both.size()), both);

        Bytes cut = deflated(row.input, row.level, row.strategy);
        cut.pop_back();
        EXPECT_FALSE(imagefile::findFinalBlock(cut)) << "a stream cut short has no final block";
    }
}

}  // namespace
