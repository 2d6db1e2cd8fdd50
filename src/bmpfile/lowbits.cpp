#include "lowbits.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <tmmintrin.h>
#define MIRRORVANE_SSSE3_CHARACTERS 1
#endif

#include <array>
#include <new>

namespace bmpfile::detail {

namespace {

void lowBitsToColumnsScalar(const RowBlock& in, const BandColumns& out, std::int64_t fromRow, std::int64_t fromPixel)
{
    const std::int64_t step = out.topDown ? 1 : -1;
    for (std::int64_t k = fromRow; k < in.rows; ++k) {
        const std::uint8_t* row = in.data + k * in.stride;
        std::uint8_t* to = out.data + out.first + k * step;
        for (std::int64_t c = fromPixel; c < in.pixels; ++c)
            to[c * out.columnLength] = lowBits(row + c * in.bpp);
    }
}

#if defined(__SSE2__) || defined(_M_X64)
// Transposes a 16 x 16 block of bytes: row i of the block is at rows[i];
// column j comes back in columns[j], row 0 in its lowest byte.
inline void transpose16(const std::uint8_t* const* rows, __m128i* columns)
{
    __m128i a[16];
    __m128i b[16];
    for (int i = 0; i < 16; ++i)
        a[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[i]));
    // Each round interleaves pairs of vectors at twice the width of the last.
    for (int i = 0; i < 8; ++i) {
        b[2 * i] = _mm_unpacklo_epi8(a[2 * i], a[2 * i + 1]);
        b[2 * i + 1] = _mm_unpackhi_epi8(a[2 * i], a[2 * i + 1]);
    }
    for (int i = 0; i < 4; ++i)
        for (int h = 0; h < 2; ++h) {
            a[4 * i + 2 * h] = _mm_unpacklo_epi16(b[4 * i + h], b[4 * i + 2 + h]);
            a[4 * i + 2 * h + 1] = _mm_unpackhi_epi16(b[4 * i + h], b[4 * i + 2 + h]);
        }
    for (int i = 0; i < 2; ++i)
        for (int q = 0; q < 4; ++q) {
            b[8 * i + 2 * q] = _mm_unpacklo_epi32(a[8 * i + q], a[8 * i + 4 + q]);
            b[8 * i + 2 * q + 1] = _mm_unpackhi_epi32(a[8 * i + q], a[8 * i + 4 + q]);
        }
    // b[q] now holds columns 2q and 2q + 1 of rows 0-7, b[8 + q] of rows 8-15.
    for (int q = 0; q < 8; ++q) {
        columns[2 * q] = _mm_unpacklo_epi64(b[q], b[8 + q]);
        columns[2 * q + 1] = _mm_unpackhi_epi64(b[q], b[8 + q]);
    }
}

}  // namespace

ScratchBytes scratchBytes(std::size_t size)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::size_t kHugePage = std::size_t(2) << 20;
    if (size >= kHugePage) {
        void* p = nullptr;
        const std::size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
        if (posix_memalign(&p, kHugePage, rounded) != 0)
            throw std::bad_alloc();
        madvise(p, rounded, MADV_HUGEPAGE);  // only advice: ordinary pages do as well
        return ScratchBytes(static_cast<std::uint8_t*>(p));
    }
#endif
    auto* p = static_cast<std::uint8_t*>(std::malloc(size));
    if (p == nullptr)
        throw std::bad_alloc();
    return ScratchBytes(p);
}

// Sixteen rows by sixteen pixels at a time: the rows' bytes are transposed,
// so that each channel byte of a pixel lies in one vector over the sixteen
// rows, and the three low bits are combined sixteen rows at once.
void lowBitsToColumns(const RowBlock& in, const BandColumns& out)
{
    const std::int64_t fullRows = in.rows / 16 * 16;
    const std::int64_t fullPixels = in.pixels / 16 * 16;
    const __m128i one = _mm_set1_epi8(1);
    for (std::int64_t k0 = 0; k0 < fullRows; k0 += 16) {
        // Lane i is picture row first + k0 + i (top-down), or the rows taken
        // in reverse so that lane i is first - k0 - 15 + i (bottom-up).
        const std::uint8_t* rows[16];
        for (int i = 0; i < 16; ++i)
            rows[i] = in.data + (k0 + (out.topDown ? i : 15 - i)) * in.stride;
        const std::int64_t at = out.topDown ? out.first + k0 : out.first - k0 - 15;
        for (std::int64_t c0 = 0; c0 < fullPixels; c0 += 16) {
            __m128i bytes[64];
            for (int part = 0; part < in.bpp; ++part) {
                const std::uint8_t* partRows[16];
                for (int i = 0; i < 16; ++i)
                    partRows[i] = rows[i] + c0 * in.bpp + 16 * part;
                transpose16(partRows, bytes + 16 * part);
            }
            for (int j = 0; j < 16; ++j) {
                const __m128i* pixel = bytes + j * in.bpp;  // blue, green, red
                const __m128i blue = _mm_and_si128(pixel[0], one);
                const __m128i green = _mm_and_si128(pixel[1], one);
                const __m128i red = _mm_and_si128(pixel[2], one);
                const __m128i bits = _mm_or_si128(_mm_or_si128(blue, _mm_add_epi8(green, green)), _mm_slli_epi16(red, 2));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out.data + (c0 + j) * out.columnLength + at), bits);
            }
        }
    }
    // The pixels right of the last whole sixteen, then the rows below.
    if (fullPixels < in.pixels)
        lowBitsToColumnsScalar({in.data, in.stride, fullRows, in.pixels, in.bpp}, out, 0, fullPixels);
    lowBitsToColumnsScalar(in, out, fullRows, 0);
}
#else
void lowBitsToColumns(const RowBlock& in, const BandColumns& out)
{
    lowBitsToColumnsScalar(in, out, 0, 0);
}
#endif

namespace {

void charactersOfScalar(const std::uint8_t* bits, std::size_t count, char* out)
{
    for (std::size_t j = 0; j < count; ++j, bits += 3)
        out[j] = characterOf(bits);
}

#if defined(MIRRORVANE_SSSE3_CHARACTERS)
// The shuffle that gathers byte `place` (0..2) of each of sixteen
// characters from the `part`th of their 48 bytes' three vectors; -128
// clears the lanes whose byte lies in another part.
constexpr std::array<std::int8_t, 16> gatherMask(int place, int part)
{
    std::array<std::int8_t, 16> mask{};
    for (int j = 0; j < 16; ++j) {
        const int at = 3 * j + place - 16 * part;
        mask[static_cast<std::size_t>(j)] = static_cast<std::int8_t>(at >= 0 && at < 16 ? at : -128);
    }
    return mask;
}

constexpr std::array<std::array<std::array<std::int8_t, 16>, 3>, 3> kGather{{
    {gatherMask(0, 0), gatherMask(0, 1), gatherMask(0, 2)},
    {gatherMask(1, 0), gatherMask(1, 1), gatherMask(1, 2)},
    {gatherMask(2, 0), gatherMask(2, 1), gatherMask(2, 2)},
}};

__attribute__((target("ssse3"))) inline __m128i gather(__m128i a, __m128i b, __m128i c, __m128i ma, __m128i mb, __m128i mc)
{
    return _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, ma), _mm_shuffle_epi8(b, mb)), _mm_shuffle_epi8(c, mc));
}

__attribute__((target("ssse3"))) void charactersOfSsse3(const std::uint8_t* bits, std::size_t count, char* out)
{
    const auto mask = [](int place, int part) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(kGather[static_cast<std::size_t>(place)][static_cast<std::size_t>(part)].data()));
    };
    const __m128i m00 = mask(0, 0), m01 = mask(0, 1), m02 = mask(0, 2);
    const __m128i m10 = mask(1, 0), m11 = mask(1, 1), m12 = mask(1, 2);
    const __m128i m20 = mask(2, 0), m21 = mask(2, 1), m22 = mask(2, 2);
    const __m128i lowTwo = _mm_set1_epi8(3);
    std::size_t j = 0;
    for (; j + 16 <= count; j += 16, bits += 48) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bits));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bits + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bits + 32));
        // Each value is below 8, so no shift carries a bit into the next byte
        // but the right shift's, which the mask takes off.
        const __m128i first = _mm_slli_epi16(gather(a, b, c, m00, m01, m02), 5);
        const __m128i second = _mm_slli_epi16(gather(a, b, c, m10, m11, m12), 2);
        const __m128i third = _mm_and_si128(_mm_srli_epi16(gather(a, b, c, m20, m21, m22), 1), lowTwo);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j), _mm_or_si128(_mm_or_si128(first, second), third));
    }
    charactersOfScalar(bits, count - j, out + j);
}
#endif

}  // namespace

void charactersOf(const std::uint8_t* bits, std::size_t count, char* out)
{
#if defined(MIRRORVANE_SSSE3_CHARACTERS)
    static const bool shuffles = __builtin_cpu_supports("ssse3");
    if (shuffles)
        return charactersOfSsse3(bits, count, out);
#endif
    charactersOfScalar(bits, count, out);
}

}  // namespace bmpfile::detail
