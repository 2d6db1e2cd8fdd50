#include "bmpreader.h"

#include "imagefile/refusals.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace imagefile {

namespace {

#if defined(__GNUC__) && defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__)
#define MIRRORVANE_ROW_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define MIRRORVANE_ROW_CLONES
#endif

constexpr quint32 kOpaque = 0xFF000000u;
constexpr std::int64_t kReadBlockBytes = std::int64_t(4) << 20;

// Blue, green, red (and an unused byte when bpp is 4) to opaque RGB32.
// Written for the compiler to vectorise; the fixed byte counts let it.
template <int Bpp>
inline void convertRow(const uchar* in, quint32* out, qsizetype width)
{
    for (qsizetype x = 0; x < width; ++x, in += Bpp)
        out[x] = kOpaque | quint32(in[0]) | quint32(in[1]) << 8 | quint32(in[2]) << 16;
}

MIRRORVANE_ROW_CLONES void convertRow24(const uchar* in, quint32* out, qsizetype width)
{
    convertRow<3>(in, out, width);
}

MIRRORVANE_ROW_CLONES void convertRow32(const uchar* in, quint32* out, qsizetype width)
{
    convertRow<4>(in, out, width);
}

fileio::Failure truncated()
{
    return fileio::unreadable(QString::fromLatin1(bmpfile::kTruncatedSentence));
}

// An opaque black picture of the layout's size.
QImage blackImage(const bmpfile::Layout& l)
{
    QImage image(static_cast<int>(l.width), static_cast<int>(l.height), QImage::Format_RGB32);
    if (!image.isNull())
        image.fill(kOpaque);
    return image;
}

class PaletteDecoder {
public:
    PaletteDecoder(QByteArrayView bytes, const bmpfile::Layout& l) : m_bytes(bytes), m_l(l)
    {
        // Entries the file does not hold stay black, as do indices past the
        // declared count.
        m_colours.fill(kOpaque);
        const auto size = static_cast<std::uint64_t>(bytes.size());
        const auto entry = static_cast<std::uint64_t>(l.paletteEntrySize);
        std::uint64_t at = l.headersEnd;
        for (std::uint64_t i = 0; i < l.paletteEntries && at + 3 <= size; ++i, at += entry) {
            const auto* p = reinterpret_cast<const uchar*>(bytes.data()) + at;
            m_colours[i] = kOpaque | quint32(p[2]) << 16 | quint32(p[1]) << 8 | p[0];
        }
        m_paletteEnd = std::min(size, l.headersEnd + l.paletteEntries * entry);
        // A pixel offset that points back into the headers means "right after the palette".
        m_dataStart = std::max(l.pixelOffset, m_paletteEnd);
    }

    BmpDecode run()
    {
        QImage image = blackImage(m_l);
        if (image.isNull())
            return {QImage(), notEnoughMemory()};
        if (m_l.compression == bmpfile::kRgb)
            return uncompressed(std::move(image));
        runLength(image);
        return {std::move(image), {}};
    }

private:
    BmpDecode uncompressed(QImage image)
    {
        const std::uint64_t stride = m_l.rowStride;
        if (static_cast<std::uint64_t>(m_bytes.size()) < m_dataStart
            || (static_cast<std::uint64_t>(m_bytes.size()) - m_dataStart) / stride < static_cast<std::uint64_t>(m_l.height))
            return {QImage(), truncated()};
        const int bits = m_l.bitsPerPixel;
        const unsigned mask = (1U << bits) - 1;
        for (std::int64_t y = 0; y < m_l.height; ++y) {
            const auto* row = reinterpret_cast<const uchar*>(m_bytes.data()) + m_dataStart
                              + static_cast<std::uint64_t>(m_l.fileRow(y)) * stride;
            auto* out = reinterpret_cast<quint32*>(image.scanLine(static_cast<int>(y)));
            for (std::int64_t x = 0; x < m_l.width; ++x) {
                const std::int64_t bit = x * bits;
                const unsigned index = (row[bit / 8] >> (8 - bits - bit % 8)) & mask;
                out[x] = m_colours[index];
            }
        }
        return {std::move(image), {}};
    }

    // RLE8 and RLE4: runs, absolute stretches and escapes, from the bottom
    // row up.  A run or stretch past the row's end is cut there; a delta past
    // the picture's edge stops at the last column or row; data that ends
    // early leaves the rest black.
    void runLength(QImage& image)
    {
        const bool four = m_l.compression == bmpfile::kRle4;
        const auto* data = reinterpret_cast<const uchar*>(m_bytes.data());
        const auto size = static_cast<std::uint64_t>(m_bytes.size());
        std::uint64_t at = m_dataStart;
        const std::int64_t w = m_l.width;
        const std::int64_t h = m_l.height;
        std::int64_t x = 0;
        std::int64_t y = 0;  // counted from the bottom
        auto put = [&](unsigned index) {
            if (x < w && y < h)
                reinterpret_cast<quint32*>(image.scanLine(static_cast<int>(h - 1 - y)))[x] = m_colours[index];
            ++x;
        };
        while (y < h && at + 2 <= size) {
            const unsigned count = data[at];
            const unsigned value = data[at + 1];
            at += 2;
            if (count > 0) {
                for (unsigned i = 0; i < count && x < w; ++i)
                    put(four ? (i % 2 == 0 ? value >> 4 : value & 0xF) : value);
                continue;
            }
            if (value == 0) {  // end of line
                x = 0;
                ++y;
            } else if (value == 1) {  // end of picture
                break;
            } else if (value == 2) {  // delta
                if (at + 2 > size)
                    break;
                x = std::min<std::int64_t>(x + data[at], w - 1);
                y = std::min<std::int64_t>(y + data[at + 1], h - 1);
                at += 2;
            } else {  // `value` pixels given one by one, padded to a 16-bit boundary
                const std::uint64_t bytes = four ? (value + 1) / 2 : value;
                for (unsigned i = 0; i < value && at + (four ? i / 2 : i) < size; ++i) {
                    const unsigned b = data[at + (four ? i / 2 : i)];
                    if (x >= w)
                        break;
                    put(four ? (i % 2 == 0 ? b >> 4 : b & 0xF) : b);
                }
                at += bytes + bytes % 2;
            }
        }
    }

    QByteArrayView m_bytes;
    const bmpfile::Layout& m_l;
    std::array<quint32, 256> m_colours{};
    std::uint64_t m_paletteEnd = 0;
    std::uint64_t m_dataStart = 0;
};

// File rows first .. first + count - 1, given one after the other from
// `rows`, into their places in `image`.
void convertFileRows(const uchar* rows, std::int64_t first, std::int64_t count, const bmpfile::Layout& l, QImage& image)
{
    for (std::int64_t r = first; r < first + count; ++r, rows += l.rowStride) {
        auto* out = reinterpret_cast<quint32*>(image.scanLine(static_cast<int>(l.fileRow(r))));
        if (l.bitsPerPixel == 24)
            convertRow24(rows, out, l.width);
        else
            convertRow32(rows, out, l.width);
    }
}

BmpDecode decodeDirect(QByteArrayView bytes, const bmpfile::Layout& l)
{
    if (bmpfile::truncationError(l, static_cast<std::uint64_t>(bytes.size())))
        return {QImage(), truncated()};
    QImage image(static_cast<int>(l.width), static_cast<int>(l.height), QImage::Format_RGB32);
    if (image.isNull())
        return {QImage(), notEnoughMemory()};
    convertFileRows(reinterpret_cast<const uchar*>(bytes.data()) + l.pixelOffset, 0, l.height, l, image);
    return {std::move(image), {}};
}

// One colour of a 16- or 32-bit pixel under its mask: a mask of up to eight
// bits multiplied by 256 / (its largest value + 1), as Qt's reader does; a
// wider one gives its top eight bits (Qt's reader makes it black).
class MaskedChannel {
public:
    explicit MaskedChannel(std::uint32_t mask) : m_mask(mask)
    {
        std::uint32_t largest = mask;
        while (largest >= 0x100 || (largest != 0 && (largest & 1) == 0)) {
            ++m_shift;
            largest >>= 1;
        }
        m_scale = 256 / (largest + 1);
    }
    std::uint32_t operator()(std::uint32_t pixel) const { return ((pixel & m_mask) >> m_shift) * m_scale; }

private:
    std::uint32_t m_mask;
    int m_shift = 0;
    std::uint32_t m_scale = 1;
};

// 16 bits a pixel, or 32 with other masks than the direct kind's: each
// colour where its mask says, the file's masks only with the bit-fields
// method (the later headers carry mask fields whatever the method).
BmpDecode decodeMasked(QByteArrayView bytes, const bmpfile::Layout& l)
{
    if (bmpfile::truncationError(l, static_cast<std::uint64_t>(bytes.size())))
        return {QImage(), truncated()};
    const bool fields = l.compression == bmpfile::kBitFields;
    const bool sixteen = l.bitsPerPixel == 16;
    const MaskedChannel red(fields ? l.redMask : sixteen ? 0x7C00U : 0xFF0000U);
    const MaskedChannel green(fields ? l.greenMask : sixteen ? 0x03E0U : 0xFF00U);
    const MaskedChannel blue(fields ? l.blueMask : sixteen ? 0x001FU : 0xFFU);
    QImage image(static_cast<int>(l.width), static_cast<int>(l.height), QImage::Format_RGB32);
    if (image.isNull())
        return {QImage(), notEnoughMemory()};
    const std::uint64_t start = std::max(l.pixelOffset, l.headersEnd);
    for (std::int64_t y = 0; y < l.height; ++y) {
        const auto* in = reinterpret_cast<const uchar*>(bytes.data()) + start + static_cast<std::uint64_t>(l.fileRow(y)) * l.rowStride;
        auto* out = reinterpret_cast<quint32*>(image.scanLine(static_cast<int>(y)));
        for (std::int64_t x = 0; x < l.width; ++x) {
            const std::uint32_t pixel = sixteen ? std::uint32_t(in[2 * x] | in[2 * x + 1] << 8)
                                                : std::uint32_t(in[4 * x]) | std::uint32_t(in[4 * x + 1]) << 8
                                                      | std::uint32_t(in[4 * x + 2]) << 16 | std::uint32_t(in[4 * x + 3]) << 24;
            out[x] = kOpaque | red(pixel) << 16 | green(pixel) << 8 | blue(pixel);
        }
    }
    return {std::move(image), {}};
}

void setResolution(QImage& image, QByteArrayView head, const bmpfile::Layout& l)
{
    if (l.infoSize == 12 || head.size() < 46)
        return;
    const auto* h = reinterpret_cast<const uchar*>(head.data());
    const auto s32 = [h](int at) {
        return static_cast<qint32>(quint32(h[at]) | quint32(h[at + 1]) << 8 | quint32(h[at + 2]) << 16 | quint32(h[at + 3]) << 24);
    };
    image.setDotsPerMeterX(s32(38));
    image.setDotsPerMeterY(s32(42));
}

}  // namespace

BmpDecode decodeBmp(QByteArrayView bytes, const bmpfile::Layout& layout)
{
    BmpDecode result;
    if (layout.direct)
        result = decodeDirect(bytes, layout);
    else if (layout.bitsPerPixel <= 8)
        result = PaletteDecoder(bytes, layout).run();
    else if ((layout.bitsPerPixel == 16 || layout.bitsPerPixel == 32) && layout.uncompressed())
        result = decodeMasked(bytes, layout);
    else
        return {QImage(), {}, false};
    if (!result.image.isNull())
        setResolution(result.image, bytes, layout);
    return result;
}

BmpDecode readDirectBmp(QIODevice& in, QByteArrayView head, const bmpfile::Layout& layout)
{
    if (bmpfile::truncationError(layout, static_cast<std::uint64_t>(in.size())))
        return {QImage(), truncated()};
    QImage image(static_cast<int>(layout.width), static_cast<int>(layout.height), QImage::Format_RGB32);
    if (image.isNull())
        return {QImage(), notEnoughMemory()};
    const auto stride = static_cast<std::int64_t>(layout.rowStride);
    const std::int64_t rowsPerRead = std::max<std::int64_t>(1, kReadBlockBytes / stride);
    QByteArray block(rowsPerRead * stride, Qt::Uninitialized);
    if (!in.seek(static_cast<qint64>(layout.pixelOffset)))
        return {QImage(), fileio::unreadable(in.errorString())};
    for (std::int64_t r = 0; r < layout.height; r += rowsPerRead) {
        const std::int64_t n = std::min(rowsPerRead, layout.height - r);
        // The size was checked above; a short read means the file shrank since.
        const qint64 got = in.read(block.data(), n * stride);
        if (got != n * stride)
            return {QImage(), got < 0 ? fileio::unreadable(in.errorString()) : truncated()};
        convertFileRows(reinterpret_cast<const uchar*>(block.constData()), r, n, layout, image);
    }
    setResolution(image, head, layout);
    return {std::move(image), {}};
}

}  // namespace imagefile
