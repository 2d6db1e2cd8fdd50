#include "pngoneshot.h"

#include <QIODevice>

#include <libdeflate.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <thread>

namespace imagefile {

namespace {

// The IDAT chunks' data size: few large writes to an unbuffered device.
constexpr std::size_t kIdatBytes = std::size_t(1) << 20;
// Below this many pixels a second thread costs more than it saves.
constexpr std::int64_t kTwoThreadPixels = std::int64_t(1) << 20;

void putBigEndian(std::uint8_t* at, std::uint32_t value)
{
    at[0] = static_cast<std::uint8_t>(value >> 24);
    at[1] = static_cast<std::uint8_t>(value >> 16);
    at[2] = static_cast<std::uint8_t>(value >> 8);
    at[3] = static_cast<std::uint8_t>(value);
}

// Rows [first, last) as PNG rows: the filter byte (2, Up) and each pixel's
// red, green and blue less those of the pixel above (of nothing on row 0).
void filterRows(const QImage& pixels, std::uint8_t* out, int first, int last)
{
    const std::size_t width = static_cast<std::size_t>(pixels.width());
    const std::size_t rowBytes = 1 + 3 * width;
    for (int y = first; y < last; ++y) {
        std::uint8_t* row = out + rowBytes * static_cast<std::size_t>(y);
        const auto* current = reinterpret_cast<const std::uint32_t*>(pixels.constScanLine(y));
        const auto* above = y > 0 ? reinterpret_cast<const std::uint32_t*>(pixels.constScanLine(y - 1)) : nullptr;
        row[0] = 2;
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint32_t p = current[x], q = above ? above[x] : 0;
            row[1 + 3 * x] = static_cast<std::uint8_t>((p >> 16) - (q >> 16));
            row[2 + 3 * x] = static_cast<std::uint8_t>((p >> 8) - (q >> 8));
            row[3 + 3 * x] = static_cast<std::uint8_t>(p - q);
        }
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

    bool chunk(const char (&type)[5], const std::uint8_t* data, std::size_t size)
    {
        std::array<std::uint8_t, 8> head{};
        putBigEndian(head.data(), static_cast<std::uint32_t>(size));
        std::memcpy(head.data() + 4, type, 4);
        std::uint32_t crc = libdeflate_crc32(0, head.data() + 4, 4);
        if (size > 0)  // a null buffer would restart the sum
            crc = libdeflate_crc32(crc, data, size);
        std::array<std::uint8_t, 4> tail{};
        putBigEndian(tail.data(), crc);
        return write(head.data(), head.size()) && (size == 0 || write(data, size)) && write(tail.data(), tail.size());
    }

    QString reason() const { return m_reason; }

private:
    QIODevice& m_device;
    QString m_reason;
};

struct CompressorDeleter {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

}  // namespace

fileio::MaybeFailure writePngInOneCall(const QImage& pixels, QIODevice& device)
{
    const int height = pixels.height();
    const std::size_t rowBytes = 1 + 3 * static_cast<std::size_t>(pixels.width());
    const std::size_t filteredBytes = rowBytes * static_cast<std::size_t>(height);
    // Not value-initialised: every byte is written below.
    std::unique_ptr<std::uint8_t[]> filtered(new std::uint8_t[filteredBytes]);
    if (std::int64_t(pixels.width()) * height >= kTwoThreadPixels) {
        std::thread lowerHalf(filterRows, std::cref(pixels), filtered.get(), height / 2, height);
        filterRows(pixels, filtered.get(), 0, height / 2);
        lowerHalf.join();
    } else {
        filterRows(pixels, filtered.get(), 0, height);
    }

    const std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor(libdeflate_alloc_compressor(1));
    if (!compressor)
        throw std::bad_alloc();
    const std::size_t bound = libdeflate_zlib_compress_bound(compressor.get(), filteredBytes);
    std::unique_ptr<std::uint8_t[]> deflated(new std::uint8_t[bound]);
    const std::size_t deflatedBytes =
        libdeflate_zlib_compress(compressor.get(), filtered.get(), filteredBytes, deflated.get(), bound);
    filtered.reset();
    if (deflatedBytes == 0)
        return fileio::unwritable(QStringLiteral("The picture could not be compressed"));

    ChunkWriter out(device);
    static constexpr std::uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::array<std::uint8_t, 13> header{};
    putBigEndian(header.data(), static_cast<std::uint32_t>(pixels.width()));
    putBigEndian(header.data() + 4, static_cast<std::uint32_t>(height));
    header[8] = 8;  // bits a channel
    header[9] = 2;  // RGB; compression, filter method and interlace stay 0
    bool written = out.write(kSignature, sizeof kSignature) && out.chunk("IHDR", header.data(), header.size());
    for (std::size_t at = 0; written && at < deflatedBytes; at += kIdatBytes)
        written = out.chunk("IDAT", deflated.get() + at, std::min(kIdatBytes, deflatedBytes - at));
    if (written)
        written = out.chunk("IEND", nullptr, 0);
    return written ? fileio::MaybeFailure() : fileio::unwritable(out.reason());
}

}  // namespace imagefile
