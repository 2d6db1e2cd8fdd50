#include "deflateblocks.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace imagefile {

namespace {

// Bits are taken from the low end of a 64-bit buffer, bytes fed in at the
// top; past the stream's end zeros are fed, and counted, so that a walk
// that runs over is caught by its position.
class BitReader {
public:
    explicit BitReader(std::span<const std::uint8_t> stream) : m_begin(stream.data()), m_at(stream.data()), m_end(stream.data() + stream.size()) {}

    std::size_t position() const { return (static_cast<std::size_t>(m_at - m_begin) + m_zeroBytes) * 8 - m_count; }

    // At least 56 bits in the buffer afterwards.
    void refill()
    {
        if (m_end - m_at >= 8) {
            std::uint64_t word;
            std::memcpy(&word, m_at, sizeof word);
            if constexpr (std::endian::native == std::endian::big)
                word = __builtin_bswap64(word);
            m_bits |= word << m_count;
            m_at += (63 - m_count) / 8;
            m_count |= 56;
            return;
        }
        while (m_count <= 56) {
            if (m_at < m_end) {
                m_bits |= std::uint64_t(*m_at++) << m_count;
            } else {
                ++m_zeroBytes;
            }
            m_count += 8;
        }
    }

    std::uint64_t peek() const { return m_bits; }
    void drop(unsigned n)
    {
        m_bits >>= n;
        m_count -= n;
    }
    // n <= 56 and the buffer refilled for it.
    std::uint32_t take(unsigned n)
    {
        const auto value = static_cast<std::uint32_t>(m_bits & ((std::uint64_t(1) << n) - 1));
        drop(n);
        return value;
    }
    std::uint32_t read(unsigned n)
    {
        if (m_count < n)
            refill();
        return take(n);
    }
    unsigned count() const { return m_count; }
    // Past the stream's end by more than the buffer holds.
    bool exhausted() const { return m_zeroBytes > 8; }

    // Continues from byte `byte` of the stream.
    void seekByte(std::size_t byte)
    {
        m_at = m_begin + std::min<std::size_t>(byte, static_cast<std::size_t>(m_end - m_begin));
        m_zeroBytes = byte - static_cast<std::size_t>(m_at - m_begin);
        m_bits = 0;
        m_count = 0;
    }

private:
    const std::uint8_t* m_begin;
    const std::uint8_t* m_at;
    const std::uint8_t* m_end;
    std::size_t m_zeroBytes = 0;
    std::uint64_t m_bits = 0;
    unsigned m_count = 0;
};

// A canonical Huffman code: codes up to kTableBits long through a table
// indexed by the next bits of the stream (each entry symbol * 16 + the
// code's length, 0 where no such code starts), longer and rarer ones bit by
// bit.  A table for the longest codes would cost more to fill for each
// block than the walk through the block.
struct Decoder {
    static constexpr unsigned kTableBits = 10;
    std::array<std::uint16_t, std::size_t(1) << kTableBits> table{};
    std::array<unsigned, 16> counts{};
    std::array<std::uint16_t, 288> sorted{};  // the symbols by code length, then value

    bool build(std::span<const std::uint8_t> lengths)
    {
        counts.fill(0);
        for (const std::uint8_t length : lengths)
            ++counts[length];
        counts[0] = 0;
        std::array<unsigned, 16> next{}, offsets{};
        unsigned code = 0;
        for (unsigned length = 1; length < 16; ++length) {
            code = (code + counts[length - 1]) << 1;
            next[length] = code;
            offsets[length] = offsets[length - 1] + counts[length - 1];
            if (code + counts[length] > (1U << length))
                return false;  // more codes than a prefix code has room for
        }
        table.fill(0);
        for (std::size_t symbol = 0; symbol < lengths.size(); ++symbol) {
            const unsigned length = lengths[symbol];
            if (length == 0)
                continue;
            sorted[offsets[length]++] = static_cast<std::uint16_t>(symbol);
            if (length > kTableBits)
                continue;
            unsigned reversed = 0;
            for (unsigned i = 0, c = next[length]++; i < length; ++i, c >>= 1)
                reversed = reversed << 1 | (c & 1);
            const auto entry = static_cast<std::uint16_t>(symbol << 4 | length);
            for (std::size_t at = reversed; at < table.size(); at += std::size_t(1) << length)
                table[at] = entry;
        }
        return true;
    }

    // The next symbol with its code dropped, or -1.  The reader holds at
    // least 15 bits.
    int decode(BitReader& in) const
    {
        const std::uint16_t entry = table[in.peek() & (table.size() - 1)];
        if (entry != 0) {
            in.drop(entry & 15);
            return entry >> 4;
        }
        // Canonical decoding: the codes of each length follow those of the
        // shorter lengths, doubled.
        const std::uint64_t bits = in.peek();
        unsigned code = 0, first = 0, index = 0;
        for (unsigned length = 1; length < 16; ++length) {
            code |= static_cast<unsigned>(bits >> (length - 1)) & 1;
            if (code - first < counts[length]) {
                in.drop(length);
                return sorted[index + code - first];
            }
            index += counts[length];
            first = (first + counts[length]) << 1;
            code <<= 1;
        }
        return -1;
    }
};

constexpr std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                             6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// The codes of a dynamic block's header into `literals` and `distances`.
bool readDynamicCodes(BitReader& in, Decoder& literals, Decoder& distances)
{
    in.refill();
    const unsigned literalCount = in.take(5) + 257, distanceCount = in.take(5) + 1, lengthCodes = in.take(4) + 4;
    if (literalCount > 286 || distanceCount > 30)
        return false;
    static constexpr std::uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    std::array<std::uint8_t, 19> lengthLengths{};
    for (unsigned i = 0; i < lengthCodes; ++i)
        lengthLengths[kOrder[i]] = static_cast<std::uint8_t>(in.read(3));
    Decoder lengthDecoder;
    if (!lengthDecoder.build(lengthLengths))
        return false;
    std::array<std::uint8_t, 286 + 30> lengths{};
    for (unsigned at = 0; at < literalCount + distanceCount;) {
        in.refill();
        const int symbol = lengthDecoder.decode(in);
        unsigned repeat = 1;
        std::uint8_t value = 0;
        if (symbol < 0) {
            return false;
        } else if (symbol < 16) {
            value = static_cast<std::uint8_t>(symbol);
        } else if (symbol == 16) {
            if (at == 0)
                return false;
            value = lengths[at - 1];
            repeat = 3 + in.take(2);
        } else {
            repeat = symbol == 17 ? 3 + in.take(3) : 11 + in.take(7);
        }
        if (at + repeat > literalCount + distanceCount)
            return false;
        std::fill_n(lengths.begin() + at, repeat, value);
        at += repeat;
    }
    if (lengths[256] == 0)
        return false;  // no end-of-block code
    return literals.build({lengths.data(), literalCount})
           && distances.build({lengths.data() + literalCount, distanceCount});
}

// A compressed block's symbols up to its end-of-block code.  The reader is
// copied in and out so that its state stays in registers: stores through
// the decoders' tables could otherwise alias it.
bool skipSymbols(BitReader& reader, const Decoder& literals, const Decoder& distances)
{
    BitReader in = reader;
    for (;;) {
        if (in.count() < 48) {  // a length and a distance with their extra bits
            in.refill();
            if (in.exhausted())
                return false;
        }
        const int symbol = literals.decode(in);
        if (symbol < 256) {
            if (symbol < 0)
                return false;
            continue;
        }
        if (symbol == 256)
            break;
        if (symbol > 285)
            return false;
        in.drop(kLengthExtra[symbol - 257]);
        const int distance = distances.decode(in);
        if (distance < 0 || distance > 29)
            return false;
        in.drop(kDistanceExtra[distance]);
    }
    reader = in;
    return true;
}

}  // namespace

std::optional<FinalBlock> findFinalBlock(std::span<const std::uint8_t> stream)
{
    BitReader in(stream);
    Decoder literals, distances;
    Decoder fixedLiterals, fixedDistances;
    const std::size_t streamBits = stream.size() * 8;
    for (;;) {
        const std::size_t headerBit = in.position();
        in.refill();
        const bool final = in.take(1) != 0;
        const unsigned type = in.take(2);
        if (type == 0) {
            const std::size_t byte = (in.position() + 7) / 8;
            if (byte + 4 > stream.size())
                return std::nullopt;
            const unsigned length = stream[byte] | stream[byte + 1] << 8;
            const unsigned complement = stream[byte + 2] | stream[byte + 3] << 8;
            if ((length ^ 0xFFFFU) != complement)
                return std::nullopt;
            in.seekByte(byte + 4 + length);
        } else if (type == 1) {
            if (fixedLiterals.counts[8] == 0) {
                std::array<std::uint8_t, 288> lengths{};
                std::fill_n(lengths.begin(), 144, 8);
                std::fill_n(lengths.begin() + 144, 112, 9);
                std::fill_n(lengths.begin() + 256, 24, 7);
                std::fill_n(lengths.begin() + 280, 8, 8);
                const std::array<std::uint8_t, 30> distanceLengths = [] {
                    std::array<std::uint8_t, 30> all{};
                    all.fill(5);
                    return all;
                }();
                fixedLiterals.build(lengths);
                fixedDistances.build(distanceLengths);
            }
            if (!skipSymbols(in, fixedLiterals, fixedDistances))
                return std::nullopt;
        } else if (type == 2) {
            if (!readDynamicCodes(in, literals, distances) || !skipSymbols(in, literals, distances))
                return std::nullopt;
        } else {
            return std::nullopt;
        }
        const std::size_t at = in.position();
        if (at > streamBits)
            return std::nullopt;
        if (final) {
            if (streamBits - at >= 8)
                return std::nullopt;  // bytes after the last block
            return FinalBlock{headerBit, at};
        }
    }
}

std::optional<std::size_t> joinableDeflate(std::uint8_t* stream, std::size_t size)
{
    const std::optional<FinalBlock> last = findFinalBlock({stream, size});
    if (!last)
        return std::nullopt;
    stream[last->headerBit / 8] &= static_cast<std::uint8_t>(~(1U << (last->headerBit % 8)));
    // A stored block's header, three zero bits, then zeros to the byte
    // boundary: in the padding after the end-of-block code where it has room.
    if (last->endBit % 8 != 0)
        stream[size - 1] &= static_cast<std::uint8_t>((1U << (last->endBit % 8)) - 1);
    if (size * 8 - last->endBit < 3)
        stream[size++] = 0;
    static constexpr std::uint8_t kEmptyStored[] = {0x00, 0x00, 0xFF, 0xFF};  // length 0 and its complement
    std::copy(std::begin(kEmptyStored), std::end(kEmptyStored), stream + size);
    return size + sizeof kEmptyStored;
}

}  // namespace imagefile
