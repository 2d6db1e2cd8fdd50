#include "message.h"

#include "capacity.h"
#include "codepage.h"
#include "scanner.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <memory>
#include <optional>

// Speed notes.  The format walks the picture column by column, but the
// surface is stored row by row, so a naive walk touches a new cache line (and
// often a new page) for every pixel.  Hiding and reading therefore work on
// bands of 16 adjacent columns (one 64-byte line a row), going down the band
// row by row with the rows ahead prefetched; only the order in which bits are
// combined follows the column-by-column sequence.  Pictures less than
// kMinBandHeight rows high take a plain pixel-by-pixel path.

namespace stego {

namespace {

constexpr std::uint32_t kLowBits = 0x00010101;    // lowest bit of red, green and blue
constexpr std::uint32_t kLowBitsRG = 0x00010100;  // third pixel of a triple: blue carries nothing
constexpr std::uint32_t kThirdPixelFlag = 0x01000000;  // in a staged value: keep this pixel's blue
constexpr std::int64_t kBand = 16;
constexpr std::int64_t kMinBandHeight = 16;
constexpr std::int64_t kChunkRows = 48;      // rows staged at a time when hiding
constexpr std::int64_t kPrefetchRows = 32;   // how far ahead of the walk rows are fetched
constexpr std::size_t kHeadChars = 13;

// kPlaced[4 * b + k]: the bits of byte b that pixel k of its triple carries,
// already in place in a pixel value; the third pixel's entry carries the
// keep-blue flag in the top byte, which is never written to the picture.
constexpr std::array<std::uint32_t, 1024> makePlacedBits()
{
    std::array<std::uint32_t, 1024> table{};
    for (std::uint32_t b = 0; b < 256; ++b) {
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t bits = bitsOfPlace(static_cast<std::uint8_t>(b), k);
            table[4 * b + static_cast<std::uint32_t>(k)] =
                (bits >> 2) << 16 | ((bits >> 1) & 1U) << 8 | (bits & 1U) | (k == 2 ? kThirdPixelFlag : 0U);
        }
    }
    return table;
}
constexpr std::array<std::uint32_t, 1024> kPlaced = makePlacedBits();

// A pixel with a staged value from kPlaced written into its low bits.
inline std::uint32_t withBits(std::uint32_t pixel, std::uint32_t staged) noexcept
{
    return (pixel & ~(kLowBits ^ (staged >> 24))) | (staged & kLowBits);
}

// The three low bits of a pixel as red*4 + green*2 + blue.
inline std::uint32_t lowBits(std::uint32_t pixel) noexcept
{
    return ((pixel >> 14) & 4U) | ((pixel >> 7) & 2U) | (pixel & 1U);
}

// Asks for the band's 16 pixels of a row ahead; rows are seldom 64-byte
// aligned, so that is usually two cache lines.
// The band loops are written so that the compiler vectorises them; on x86-64
// they are also built for AVX2, picked at load time where the processor has it.
// Defining MIRRORVANE_VECTOR_CLONES empty builds the baseline version only.
#if !defined(MIRRORVANE_VECTOR_CLONES)
#if defined(__GNUC__) && defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__)
#define MIRRORVANE_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define MIRRORVANE_VECTOR_CLONES
#endif
#endif

inline void prefetchBand(const std::uint32_t* first) noexcept
{
#if defined(__GNUC__)
    __builtin_prefetch(first);
    __builtin_prefetch(first + kBand - 1);
#else
    (void)first;
#endif
}

template <typename Pixel>
Pixel& pixelAt(Pixel* pixels, std::ptrdiff_t stride, std::int64_t height, std::int64_t p) noexcept
{
    return pixels[(p % height) * stride + p / height];
}

void writeFramedSimply(PixelSurface s, const std::uint8_t* msg, std::int64_t first, std::int64_t end)
{
    for (std::int64_t p = first; p < end; ++p) {
        std::uint32_t& pixel = pixelAt(s.pixels, s.stride, s.height, p);
        pixel = withBits(pixel, kPlaced[4U * msg[p / 3] + static_cast<std::uint32_t>(p % 3)]);
    }
}

// Staged values for pixels p .. p + rows - 1 of one column, one after the
// other.  Whole characters are copied as one 16-byte table entry (the
// fourth value is overwritten by the next character), so `staged` needs
// room for rows + 1 values.
void stageColumn(const std::uint8_t* msg, std::int64_t p, std::int64_t rows, std::uint32_t* staged)
{
    std::int64_t c = p / 3;
    std::int64_t r = 0;
    for (auto k = static_cast<std::uint32_t>(p % 3); k != 0 && k < 3 && r < rows; ++k, ++r)
        staged[r] = kPlaced[4U * msg[c] + k];
    if (p % 3 != 0)
        ++c;
    for (; r + 3 <= rows; r += 3, ++c)
        std::memcpy(staged + r, &kPlaced[4U * msg[c]], 4 * sizeof(std::uint32_t));
    for (std::uint32_t k = 0; r < rows; ++k, ++r)
        staged[r] = kPlaced[4U * msg[c] + k];
}

// Columns x0 .. x0+15, all within the message, three rows at a time.  Row
// 3g + r of a column holds part of the column's character g (or g - 1 above
// the row where its characters start), as pixel k of that character; which
// one, and k, are the same in every group, so each row is a handful of
// lane-wise operations on sixteen pixels.
MIRRORVANE_VECTOR_CLONES void writeBand(PixelSurface s, const std::uint8_t* msg, std::int64_t x0)
{
    const std::int64_t h = s.height;
    std::array<const std::uint8_t*, kBand> source{};  // the character that starts at the column's row `start`
    std::array<std::array<std::uint16_t, kBand>, 3> usePrevious{}, multiplier{};
    std::array<std::array<std::uint32_t, kBand>, 3> keep{};
    std::array<std::uint16_t, kBand> previous{}, current{};
    for (std::size_t j = 0; j < kBand; ++j) {
        const std::int64_t p = (x0 + static_cast<std::int64_t>(j)) * h;
        const std::int64_t start = (3 - p % 3) % 3;
        source[j] = msg + (p + start) / 3;
        previous[j] = start > 0 ? source[j][-1] : 0;
        for (std::int64_t r = 0; r < 3; ++r) {
            const std::int64_t k = (r - start + 3) % 3;
            usePrevious[static_cast<std::size_t>(r)][j] = r < start ? 0xFFFF : 0;
            // Moves the three bits this pixel carries up to bits 7, 6 and 5.
            multiplier[static_cast<std::size_t>(r)][j] = static_cast<std::uint16_t>(1U << (3 * k));
            keep[static_cast<std::size_t>(r)][j] = k == 2 ? ~kLowBitsRG : ~kLowBits;
        }
    }
    for (std::int64_t g = 0; 3 * g < h; ++g) {
        // The last group may ask for the character after the message, whose
        // rows lie below the picture: that is the string's terminating null.
        for (std::size_t j = 0; j < kBand; ++j)
            current[j] = source[j][g];
        for (std::size_t r = 0; r < 3 && 3 * g + static_cast<std::int64_t>(r) < h; ++r) {
            std::uint32_t* row = s.pixels + (3 * g + static_cast<std::int64_t>(r)) * s.stride + x0;
            if (3 * g + static_cast<std::int64_t>(r) + kPrefetchRows < h)
                prefetchBand(row + kPrefetchRows * s.stride);
            const auto& usePrev = usePrevious[r];
            const auto& mul = multiplier[r];
            const auto& keepMask = keep[r];
            for (std::size_t j = 0; j < kBand; ++j) {
                const auto b = static_cast<std::uint16_t>((previous[j] & usePrev[j]) | (current[j] & ~usePrev[j]));
                const std::uint32_t t = static_cast<std::uint16_t>(b * mul[j]);
                const std::uint32_t bits = ((t & 0x80U) << 9) | ((t & 0x40U) << 2) | ((t >> 5) & 1U);
                row[j] = (row[j] & keepMask[j]) | bits;
            }
        }
        previous = current;
    }
}

MIRRORVANE_VECTOR_CLONES void writeFramed(PixelSurface s, const std::string& framed)
{
    const auto* msg = reinterpret_cast<const std::uint8_t*>(framed.data());
    const std::int64_t h = s.height;
    const std::int64_t n = 3 * static_cast<std::int64_t>(framed.size());
    if (h < kMinBandHeight) {
        writeFramedSimply(s, msg, 0, n);
        return;
    }
    const std::int64_t fullColumns = n / h;
    constexpr std::int64_t columnStride = kChunkRows + 4;
    std::array<std::uint32_t, kBand * columnStride> staged{};
    for (std::int64_t x0 = 0; x0 < fullColumns; x0 += kBand) {
        const std::int64_t bw = std::min(kBand, fullColumns - x0);
        if (bw == kBand) {
            writeBand(s, msg, x0);
            continue;
        }
        for (std::int64_t y0 = 0; y0 < h; y0 += kChunkRows) {
            const std::int64_t rows = std::min(kChunkRows, h - y0);
            for (std::int64_t j = 0; j < bw; ++j)
                stageColumn(msg, (x0 + j) * h + y0, rows, staged.data() + j * columnStride);
            for (std::int64_t r = 0; r < rows; ++r) {
                std::uint32_t* row = s.pixels + (y0 + r) * s.stride + x0;
                if (y0 + r + kPrefetchRows < h)
                    prefetchBand(row + kPrefetchRows * s.stride);
                const std::uint32_t* values = staged.data() + r;
                if (bw == kBand) {
                    for (std::size_t j = 0; j < kBand; ++j)
                        row[j] = withBits(row[j], values[j * columnStride]);
                } else {
                    for (std::int64_t j = 0; j < bw; ++j)
                        row[j] = withBits(row[j], values[j * columnStride]);
                }
            }
        }
    }
    writeFramedSimply(s, msg, fullColumns * h, n);  // the message ends part way down this column
}

// Reads every character of the picture after the start marker, band by band,
// and hands each band's characters to the scanner once the band is
// complete.  out[c] is character c of the picture; the collected text is
// out[13] onward.
class BodyScanner {
public:
    BodyScanner(ConstPixelSurface s, MessageScanner& scanner)
        : m_s(s), m_scanner(scanner), m_chars(static_cast<std::size_t>(pixelCount(s.width, s.height) / 3)),
          m_out(new char[m_chars])
    {
    }

    void run()
    {
        if (m_s.height < kMinBandHeight) {
            runSimply();
            return;
        }
        for (std::int64_t x0 = 0; x0 < m_s.width; x0 += kBand) {
            const std::int64_t bw = std::min(kBand, m_s.width - x0);
            if (bw == kBand)
                readBand(x0);
            else
                for (std::int64_t x = x0; x < x0 + bw; ++x)
                    readColumn(x, 0);
            for (std::int64_t x = x0; x < x0 + bw; ++x)
                readStraddler(x);
            const std::int64_t firstPixelAfter = (x0 + bw) * m_s.height;
            const auto complete = std::min(m_chars, static_cast<std::size_t>((firstPixelAfter + 2) / 3));
            if (feedUpTo(complete))
                return;
        }
    }

private:
    // Characters m_fed .. complete - 1 to the scanner; true once it has decided.
    bool feedUpTo(std::size_t complete)
    {
        if (complete <= m_fed)
            return false;
        const std::size_t from = m_fed;
        m_fed = complete;
        return m_scanner.feedCharacters(std::string_view(m_out.get() + from, complete - from));
    }

    std::uint32_t lowBitsAt(std::int64_t p) const noexcept
    {
        return lowBits(pixelAt(m_s.pixels, m_s.stride, m_s.height, p));
    }

    char charAt(std::int64_t c) const noexcept
    {
        return static_cast<char>(characterOfPlaces(lowBitsAt(3 * c), lowBitsAt(3 * c + 1), lowBitsAt(3 * c + 2)));
    }

    // Characters wholly inside column x, from its character `fromGroup` on.
    void readColumn(std::int64_t x, std::int64_t fromGroup)
    {
        const std::int64_t h = m_s.height;
        const std::int64_t firstChar = (x * h + 2) / 3;
        const std::int64_t endChar = (x + 1) * h / 3;
        for (std::int64_t c = firstChar + fromGroup; c < endChar; ++c)
            m_out[static_cast<std::size_t>(c)] = charAt(c);
    }

    // The character that runs from the foot of column x to the top of x + 1.
    void readStraddler(std::int64_t x)
    {
        const std::int64_t end = (x + 1) * m_s.height;
        if (end % 3 == 0)
            return;
        const std::int64_t c = end / 3;
        if (static_cast<std::size_t>(c) < m_chars)
            m_out[static_cast<std::size_t>(c)] = charAt(c);
    }

    // The characters wholly inside columns x0 .. x0+15, three rows at a
    // time: with the low bits of rows 3g .. 3g+4, each column's character
    // starts at row 3g, 3g+1 or 3g+2, whichever its place in the sequence
    // says, so one pass over a row serves all sixteen columns.
    MIRRORVANE_VECTOR_CLONES void readBand(std::int64_t x0)
    {
        const std::int64_t h = m_s.height;
        std::array<std::uint8_t, kBand> pick0{}, pick1{}, pick2{};
        std::array<char*, kBand> out{};
        for (std::size_t j = 0; j < kBand; ++j) {
            const std::int64_t start = (x0 + static_cast<std::int64_t>(j)) * h;
            const std::int64_t shift = (3 - start % 3) % 3;  // row of the column's first whole character
            pick0[j] = shift == 0 ? 0xFF : 0;
            pick1[j] = shift == 1 ? 0xFF : 0;
            pick2[j] = shift == 2 ? 0xFF : 0;
            out[j] = m_out.get() + (start + shift) / 3;
        }
        std::array<std::uint8_t, kBand> l0{}, l1{}, l2{}, l3{}, l4{}, code{};
        auto lowRow = [this, x0, h](std::int64_t y, std::array<std::uint8_t, kBand>& bits) {
            const std::uint32_t* row = m_s.pixels + y * m_s.stride + x0;
            if (y + kPrefetchRows < h)
                prefetchBand(row + kPrefetchRows * m_s.stride);
            for (std::size_t j = 0; j < kBand; ++j)
                bits[j] = static_cast<std::uint8_t>(lowBits(row[j]));
        };
        lowRow(0, l0);
        lowRow(1, l1);
        const std::int64_t groups = (h - 5) / 3 + 1;
        for (std::int64_t g = 0; g < groups; ++g) {
            lowRow(3 * g + 2, l2);
            lowRow(3 * g + 3, l3);
            lowRow(3 * g + 4, l4);
            for (std::size_t j = 0; j < kBand; ++j) {
                const auto c0 = static_cast<std::uint8_t>(l0[j] << 5 | l1[j] << 2 | l2[j] >> 1);
                const auto c1 = static_cast<std::uint8_t>(l1[j] << 5 | l2[j] << 2 | l3[j] >> 1);
                const auto c2 = static_cast<std::uint8_t>(l2[j] << 5 | l3[j] << 2 | l4[j] >> 1);
                code[j] = static_cast<std::uint8_t>((c0 & pick0[j]) | (c1 & pick1[j]) | (c2 & pick2[j]));
            }
            for (std::size_t j = 0; j < kBand; ++j)
                out[j][g] = static_cast<char>(code[j]);
            l0 = l3;
            l1 = l4;
        }
        for (std::int64_t j = 0; j < kBand; ++j)
            readColumn(x0 + j, groups);
    }

    // Short pictures: character by character, a stretch at a time.
    void runSimply()
    {
        constexpr std::size_t kStretch = 4096;
        for (std::size_t c = kHeadChars; c < m_chars; c += kStretch) {
            const std::size_t end = std::min(m_chars, c + kStretch);
            for (std::size_t k = c; k < end; ++k)
                m_out[k] = charAt(static_cast<std::int64_t>(k));
            if (feedUpTo(end))
                return;
        }
    }

    ConstPixelSurface m_s;
    MessageScanner& m_scanner;
    std::size_t m_chars;
    std::unique_ptr<char[]> m_out;
    std::size_t m_fed = kHeadChars;  // characters handed to the scanner
};

ReadResult resultOf(MessageScanner& scanner)
{
    const ReadOutcome outcome = scanner.outcome();
    return {outcome, outcome == ReadOutcome::Found ? scanner.takeText() : std::string()};
}

}  // namespace

std::string frameMessage(std::string_view text)
{
    std::string framed;
    framed.reserve(text.size() + static_cast<std::size_t>(kMarkerLength));
    framed.append(kStartMarker).append(text).append(kEndMarker);
    return framed;
}

HideReport hideBytes(PixelSurface surface, std::string_view textBytes)
{
    const auto framedLength = static_cast<std::int64_t>(textBytes.size()) + kMarkerLength;
    if (3 * framedLength > pixelCount(surface.width, surface.height))
        return {HideOutcome::TooMuchText, excessCharacters(framedLength, surface.width, surface.height)};
    writeFramed(surface, frameMessage(textBytes));
    return {};
}

ReadResult readMessage(ConstPixelSurface surface)
{
    const std::int64_t total = pixelCount(surface.width, surface.height);
    MessageScanner scanner;
    // The first 13 characters, where the end-marker test already runs but
    // the start marker has not been checked yet.
    for (std::int64_t p = 0; p < std::min(total, kStartMarkerPixels); ++p)
        if (scanner.feedPixel(lowBits(pixelAt(surface.pixels, surface.stride, surface.height, p))))
            return resultOf(scanner);
    // Only a 40th pixel starts the 14th triple, where the start marker is checked.
    if (total <= kStartMarkerPixels || scanner.beginBody())
        return resultOf(scanner);
    BodyScanner(surface, scanner).run();
    return resultOf(scanner);
}

}  // namespace stego
