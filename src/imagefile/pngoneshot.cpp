#include "pngoneshot.h"

#include "deflateblocks.h"

#include "bmpfile/lowbits.h"

#include <QIODevice>

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <future>
#include <memory>
#include <optional>
#include <span>
#include <system_error>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace imagefile {

namespace {

using bmpfile::detail::ScratchBytes;
using bmpfile::detail::scratchBytes;

// The IDAT chunks' data size: few large writes to an unbuffered device.
constexpr std::size_t kIdatBytes = std::size_t(1) << 20;
// Below this many pixels a second thread costs more than it saves.
constexpr std::int64_t kTwoThreadPixels = std::int64_t(1) << 20;
// The share of rows, in hundredths, compressed on a second thread, which
// then walks its stream to make it joinable; the walk costs about two
// thirds of the compression, so both threads finish together when the
// second takes the upper 38 rows in a hundred.
constexpr std::int64_t kUpperRowsPercent = 38;

void putBigEndian(std::uint8_t* at, std::uint32_t value)
{
    at[0] = static_cast<std::uint8_t>(value >> 24);
    at[1] = static_cast<std::uint8_t>(value >> 16);
    at[2] = static_cast<std::uint8_t>(value >> 8);
    at[3] = static_cast<std::uint8_t>(value);
}

// Pixels [from, width) of a row filtered with Up: each pixel's red, green
// and blue less those of the pixel above (of nothing when `above` is null).
void upPixels(const std::uint32_t* current, const std::uint32_t* above, std::uint8_t* out, std::size_t from,
              std::size_t width)
{
    for (std::size_t x = from; x < width; ++x) {
        const std::uint32_t p = current[x], q = above ? above[x] : 0;
        out[3 * x] = static_cast<std::uint8_t>((p >> 16) - (q >> 16));
        out[3 * x + 1] = static_cast<std::uint8_t>((p >> 8) - (q >> 8));
        out[3 * x + 2] = static_cast<std::uint8_t>(p - q);
    }
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define MIRRORVANE_UP_SSSE3 1
// The same four pixels a step: their bytes subtracted at once and shuffled
// from B, G, R, X into R, G, B.  Each 16-byte store runs four bytes into the
// next pixels', which the next step overwrites; the steps stop where a store
// would pass the row's end.  Returns where upPixels goes on.
__attribute__((target("ssse3"))) std::size_t upPixelsSsse3(const std::uint32_t* current, const std::uint32_t* above,
                                                           std::uint8_t* out, std::size_t width)
{
    const __m128i order = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    std::size_t x = 0;
    for (; x + 6 <= width; x += 4) {
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(current + x));
        const __m128i q = above ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(above + x)) : _mm_setzero_si128();
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * x), _mm_shuffle_epi8(_mm_sub_epi8(p, q), order));
    }
    return x;
}
#endif

// Rows [first, last) as PNG rows from `out` on: the filter byte (2, Up) and
// the row's pixels filtered.
void filterRows(const QImage& pixels, std::uint8_t* out, int first, int last)
{
    const std::size_t width = static_cast<std::size_t>(pixels.width());
    const std::size_t rowBytes = 1 + 3 * width;
#ifdef MIRRORVANE_UP_SSSE3
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
#endif
    for (int y = first; y < last; ++y) {
        std::uint8_t* row = out + rowBytes * static_cast<std::size_t>(y - first);
        const auto* current = reinterpret_cast<const std::uint32_t*>(pixels.constScanLine(y));
        const auto* above = y > 0 ? reinterpret_cast<const std::uint32_t*>(pixels.constScanLine(y - 1)) : nullptr;
        row[0] = 2;
        std::size_t done = 0;
#ifdef MIRRORVANE_UP_SSSE3
        if (ssse3)
            done = upPixelsSsse3(current, above, row + 1, width);
#endif
        upPixels(current, above, row + 1, done, width);
    }
}

class ChunkWriter {
public:
    explicit ChunkWriter(QIODevice& device) : m_device(device) {}

    bool write(const void* data, std::size_t size)
    {
        if (m_device.write(static_cast<const char*>(data), static_cast<qint64>(size)) == static_cast<qint64>(size))
            return true;
        m_reason = m_device.errorString();
        return false;
    }

    // A chunk whose data is `first` followed by `second`.
    bool chunk(const char (&type)[5], std::span<const std::uint8_t> first, std::span<const std::uint8_t> second = {})
    {
        std::array<std::uint8_t, 8> head{};
        putBigEndian(head.data(), static_cast<std::uint32_t>(first.size() + second.size()));
        std::memcpy(head.data() + 4, type, 4);
        std::uint32_t crc = libdeflate_crc32(0, head.data() + 4, 4);
        for (const auto part : {first, second}) {
            if (!part.empty())  // a null buffer would restart the sum
                crc = libdeflate_crc32(crc, part.data(), part.size());
        }
        std::array<std::uint8_t, 4> tail{};
        putBigEndian(tail.data(), crc);
        return write(head.data(), head.size()) && (first.empty() || write(first.data(), first.size()))
               && (second.empty() || write(second.data(), second.size())) && write(tail.data(), tail.size());
    }

    QString reason() const { return m_reason; }

private:
    QIODevice& m_device;
    QString m_reason;
};

// The zlib stream cut into IDAT chunks of kIdatBytes as it grows; only the
// last chunk is shorter.
class IdatStream {
public:
    explicit IdatStream(ChunkWriter& out) : m_out(out), m_buffer(new std::uint8_t[kIdatBytes]) {}

    bool append(const std::uint8_t* data, std::size_t size)
    {
        const std::size_t head = m_used > 0 ? std::min(room(), size) : 0;
        if (m_used + head == kIdatBytes) {  // a chunk of the held bytes and the first new ones
            if (!m_out.chunk("IDAT", {m_buffer.get(), m_used}, {data, head}))
                return false;
            m_used = 0;
        } else {
            std::memcpy(space(), data, head);
            m_used += head;
        }
        data += head;
        size -= head;
        for (; size >= kIdatBytes; data += kIdatBytes, size -= kIdatBytes) {
            if (!m_out.chunk("IDAT", {data, kIdatBytes}))
                return false;
        }
        std::memcpy(space(), data, size);
        m_used += size;
        return true;
    }

    bool flush()
    {
        const bool written = m_used == 0 || m_out.chunk("IDAT", {m_buffer.get(), m_used});
        m_used = 0;
        return written;
    }

private:
    std::uint8_t* space() { return m_buffer.get() + m_used; }
    std::size_t room() const { return kIdatBytes - m_used; }

    ChunkWriter& m_out;
    std::unique_ptr<std::uint8_t[]> m_buffer;
    std::size_t m_used = 0;
};

struct CompressorDeleter {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

// Rows [first, last) filtered and compressed in one libdeflate call, as a
// raw deflate stream that may be made joinable (deflateblocks.h).  Every
// buffer is had when it is made, so that no allocation fails later.
class DeflatedRows {
public:
    DeflatedRows(const QImage& pixels, int first, int last)
        : m_pixels(pixels), m_first(first), m_last(last),
          m_filteredBytes((1 + 3 * static_cast<std::size_t>(pixels.width())) * static_cast<std::size_t>(last - first)),
          m_compressor(libdeflate_alloc_compressor(1))
    {
        if (!m_compressor)
            throw std::bad_alloc();
        m_bound = libdeflate_deflate_compress_bound(m_compressor.get(), m_filteredBytes);
        // Not value-initialised: every byte is written before it is read.
        m_filtered = scratchBytes(m_filteredBytes);
        m_deflated = scratchBytes(m_bound + kJoinBytes);
    }

    // `joinable`: another stream will follow this one.
    void compress(bool joinable)
    {
        filterRows(m_pixels, m_filtered.get(), m_first, m_last);
        m_adler = libdeflate_adler32(1, m_filtered.get(), m_filteredBytes);
        m_deflatedBytes = libdeflate_deflate_compress(m_compressor.get(), m_filtered.get(), m_filteredBytes,
                                                      m_deflated.get(), m_bound);
        m_filtered.reset();
        if (joinable && m_deflatedBytes > 0)
            m_deflatedBytes = joinableDeflate(m_deflated.get(), m_deflatedBytes).value_or(0);
    }

    std::size_t filteredBytes() const { return m_filteredBytes; }
    std::uint32_t adler() const { return m_adler; }
    // Empty when libdeflate found the bound too small, or its stream could
    // not be walked, neither of which it allows.
    std::span<const std::uint8_t> deflated() const { return {m_deflated.get(), m_deflatedBytes}; }

private:
    static constexpr std::size_t kJoinBytes = 5;  // what joinableDeflate may append
    const QImage& m_pixels;
    int m_first, m_last;
    std::size_t m_filteredBytes;
    std::unique_ptr<libdeflate_compressor, CompressorDeleter> m_compressor;
    std::size_t m_bound = 0;
    ScratchBytes m_filtered, m_deflated;
    std::uint32_t m_adler = 1;
    std::size_t m_deflatedBytes = 0;
};

}  // namespace

fileio::MaybeFailure writePngInOneCall(const QImage& pixels, QIODevice& device)
{
    const int height = pixels.height();
    const int split = std::int64_t(pixels.width()) * height >= kTwoThreadPixels
                          ? static_cast<int>(height * kUpperRowsPercent / 100)
                          : 0;
    // Everything that may fail for memory comes before the first write, so
    // that the caller can still take the streaming road.
    std::optional<DeflatedRows> upper;
    if (split > 0)
        upper.emplace(pixels, 0, split);
    DeflatedRows lower(pixels, split, height);
    std::future<void> upperDone;
    if (upper) {
        try {
            upperDone = std::async(std::launch::async, [&upper] { upper->compress(true); });
        } catch (const std::system_error&) {
            upper->compress(true);  // no second thread to be had: one after the other
        }
    }
    lower.compress(false);
    if (upperDone.valid())
        upperDone.get();
    if (lower.deflated().empty() || (upper && upper->deflated().empty()))
        return fileio::unwritable(QStringLiteral("The picture could not be compressed"));

    ChunkWriter out(device);
    IdatStream idat(out);
    static constexpr std::uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::array<std::uint8_t, 13> header{};
    putBigEndian(header.data(), static_cast<std::uint32_t>(pixels.width()));
    putBigEndian(header.data() + 4, static_cast<std::uint32_t>(height));
    header[8] = 8;  // bits a channel
    header[9] = 2;  // RGB; compression, filter method and interlace stay 0
    // zlib's header: deflate with a 32 KB window, the fastest level.
    static constexpr std::uint8_t kZlibHeader[] = {0x78, 0x01};
    std::array<std::uint8_t, 4> adler{};
    putBigEndian(adler.data(), upper ? static_cast<std::uint32_t>(adler32_combine(
                                           upper->adler(), lower.adler(), static_cast<z_off_t>(lower.filteredBytes())))
                                     : lower.adler());
    const bool written = out.write(kSignature, sizeof kSignature) && out.chunk("IHDR", header)
                         && idat.append(kZlibHeader, sizeof kZlibHeader)
                         && (!upper || idat.append(upper->deflated().data(), upper->deflated().size()))
                         && idat.append(lower.deflated().data(), lower.deflated().size())
                         && idat.append(adler.data(), adler.size()) && idat.flush() && out.chunk("IEND", {});
    return written ? fileio::MaybeFailure() : fileio::unwritable(out.reason());
}

}  // namespace imagefile
