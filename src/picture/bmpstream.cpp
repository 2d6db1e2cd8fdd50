#include "bmpstream.h"

#include "stego/body.h"
#include "stego/scanner.h"

#include <QFileDevice>
#include <QTemporaryFile>

#include <unistd.h>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include <cerrno>
#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <span>
#include <system_error>
#include <thread>
#include <vector>

namespace picture {

namespace {

constexpr std::int64_t kBlockBytes = std::int64_t(4) << 20;     // one read or write of the copy
constexpr std::size_t kFeedChunk = std::size_t(1) << 16;         // characters decoded between end-marker searches

const QString kNotStreamable = QStringLiteral("The picture is not an uncompressed 24 or 32-bit BMP");
const QString kReadFailed = QStringLiteral("The picture could not be read: %1");

// Reads exactly `n` bytes or fails: QIODevice::read may return less.
bool readFully(QIODevice& in, char* to, qint64 n)
{
    while (n > 0) {
        const qint64 got = in.read(to, n);
        if (got <= 0)
            return false;
        to += got;
        n -= got;
    }
    return true;
}

// Reads up to `n` bytes, fewer only at the end of the data.
qint64 readUpTo(QIODevice& in, char* to, qint64 n)
{
    qint64 total = 0;
    while (total < n) {
        const qint64 got = in.read(to + total, n - total);
        if (got < 0)
            return -1;
        if (got == 0 && !in.waitForReadyRead(-1))
            break;
        total += got;
    }
    return total;
}

// The descriptor of an unbuffered file, which positioned reads may read
// from several threads at once; -1 for any other device.
int positionedHandle(const QIODevice& in)
{
    const auto* file = qobject_cast<const QFileDevice*>(&in);
    return file != nullptr && (in.openMode() & QIODevice::Unbuffered) != 0 ? file->handle() : -1;
}

// The errno of the first positioned read that failed since the last probe:
// the QFile around the descriptor knows nothing of it, and the system's
// reason is the one to report.
std::atomic<int> g_positionedReadError{0};

// A positioned read: one pread on an unbuffered file (one system call a
// row slice, where seek and read would be two), seek and read otherwise.
bool readAt(QIODevice& in, std::uint64_t at, char* to, qint64 n)
{
    if (const int handle = positionedHandle(in); handle >= 0) {
        while (n > 0) {
            const ssize_t got = ::pread(handle, to, static_cast<std::size_t>(n), static_cast<off_t>(at));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                int none = 0;
                g_positionedReadError.compare_exchange_strong(none, errno);
            }
            if (got <= 0)
                return false;
            to += got;
            n -= got;
            at += static_cast<std::uint64_t>(got);
        }
        return true;
    }
    return in.seek(static_cast<qint64>(at)) && readFully(in, to, n);
}

// Red, green, blue low bits as red*4 + green*2 + blue, from a pixel's bytes
// blue, green, red.
inline std::uint8_t lowBits(const std::uint8_t* pixel) noexcept
{
    return static_cast<std::uint8_t>((pixel[2] & 1U) << 2 | (pixel[1] & 1U) << 1 | (pixel[0] & 1U));
}

QString readError(QIODevice& in)
{
    if (const int error = g_positionedReadError.load(); error != 0 && positionedHandle(in) >= 0)
        return kReadFailed.arg(QString::fromLocal8Bit(std::strerror(error)));
    const QString reason = in.errorString();
    return in.atEnd() || reason.isEmpty() || reason == QLatin1String("Unknown error")
               ? QString::fromLatin1(bmp::kTruncatedSentence)
               : kReadFailed.arg(reason);
}

struct FreeBytes {
    void operator()(std::uint8_t* p) const noexcept { std::free(p); }
};
using ScratchBytes = std::unique_ptr<std::uint8_t[], FreeBytes>;

// Uninitialised memory for a band's low bits.  On Linux in huge pages where
// the system grants them: a band of a few megabytes would otherwise cost a
// page fault, and the zeroing of a page, every four kilobytes.
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

// The text found, as the scanner hands it on: held in memory, and with a
// spill file, written there once it passes the spill size, so memory stays
// bounded however long the text runs before its end marker.  Its encoding
// is told as it comes.
class FoundText {
public:
    FoundText(QIODevice* spill, std::size_t spillChars) : m_spill(spill), m_spillChars(spillChars) {}

    bool take(std::string_view piece)
    {
        m_encoding.feed(piece);
        m_text.append(piece);
        if (m_spill == nullptr || m_text.size() < m_spillChars)
            return true;
        const auto out = static_cast<qint64>(m_text.size());
        if ((!m_spill->isOpen() && !openSpill()) || m_spill->write(m_text.data(), out) != out) {
            m_spillFailed = true;
            return false;
        }
        m_spilled += out;
        m_text.clear();
        return true;
    }

    void reserve(std::int64_t characters)
    {
        const auto most = static_cast<std::size_t>(std::max<std::int64_t>(0, characters));
        m_text.reserve(std::min(most, m_spillChars + kFeedChunk));
    }

    bool spillFailed() const { return m_spillFailed; }
    stego::BodyEncoding encoding() const { return m_encoding.encoding(); }
    std::string& held() { return m_text; }

    // Hands what was spilled to `sink`, every byte of it or the reason why not.
    QString deliverSpilled(const ByteSink& sink, bool& sinkFailed)
    {
        if (m_spilled == 0)
            return {};
        const QString unreadable = QStringLiteral("The text found could not be read back from its temporary file: %1");
        if (!m_spill->seek(0))
            return unreadable.arg(m_spill->errorString());
        constexpr qint64 kSpillBlock = qint64(1) << 20;
        std::vector<char> block(static_cast<std::size_t>(kSpillBlock));
        qint64 delivered = 0;
        while (delivered < m_spilled) {
            const qint64 got = m_spill->read(block.data(), std::min(kSpillBlock, m_spilled - delivered));
            if (got < 0)
                return unreadable.arg(m_spill->errorString());
            if (got == 0)
                return unreadable.arg(QStringLiteral("it ended after %1 of %2 bytes").arg(delivered).arg(m_spilled));
            if (!sink(QByteArrayView(block.data(), got))) {
                sinkFailed = true;
                return {};
            }
            delivered += got;
        }
        return {};
    }

    QString spillError() const
    {
        return m_spill->isOpen()
                   ? QStringLiteral("The text found could not be kept in a temporary file: %1").arg(m_spill->errorString())
                   : QStringLiteral("No temporary file could be made for the text: %1").arg(m_spill->errorString());
    }

private:
    bool openSpill()
    {
        if (auto* temporary = qobject_cast<QTemporaryFile*>(m_spill))
            return temporary->open();
        return m_spill->open(QIODevice::ReadWrite);
    }

    QIODevice* m_spill;
    std::size_t m_spillChars;
    bool m_spillFailed = false;
    qint64 m_spilled = 0;
    std::string m_text;
    stego::BodyClassifier m_encoding;
};

class Revealer {
public:
    Revealer(QIODevice& in, const bmp::Layout& layout, const ByteSink* sink, const RevealTuning& tuning)
        : m_in(in), m_l(layout), m_sink(sink), m_bands(tuning.bands),
          m_encodingOut(tuning.encoding),
          m_found(sink == nullptr ? nullptr : tuning.spill != nullptr ? tuning.spill : &m_ownSpill, tuning.spillChars),
          m_scan([this](std::string_view piece) { return m_found.take(piece); })
    {
    }

    stego::BodyEncoding encoding() const { return m_found.encoding(); }

    BmpReveal run()
    {
        const std::int64_t h = m_l.height;
        const std::int64_t total = m_l.width * h;
        for (std::int64_t p = 0; p < std::min(total, stego::kStartMarkerPixels); ++p) {
            std::array<char, 4> pixel{};
            if (!readAt(m_in, m_l.rowOffset(p % h) + static_cast<std::uint64_t>(p / h * m_l.bytesPerPixel()),
                        pixel.data(), 3))
                return {{}, readError(m_in)};
            if (m_scan.feedPixel(lowBits(reinterpret_cast<const std::uint8_t*>(pixel.data()))))
                return finish();
        }
        if (total <= stego::kStartMarkerPixels || m_scan.beginBody())
            return finish();
        const std::int64_t last = total - total % 3;  // pixels past the last whole triple carry nothing
        m_found.reserve((last - stego::kStartMarkerPixels) / 3);
        std::int64_t bandPixels = m_bands.firstPixels;
        std::int64_t p = stego::kStartMarkerPixels;
        while (p < last) {
            const std::int64_t x = p / h;
            std::int64_t columns = 1;
            std::int64_t firstRow = p % h;
            std::int64_t rowCount = std::min(h - firstRow, bandPixels);
            if (h <= bandPixels) {
                // Whole columns; the head's pixels at the top of the first are
                // read again.  A row's slice stays within a block, however
                // wide and low the picture.
                columns = std::min({bandPixels / h, m_l.width - x, kBlockBytes / m_l.bytesPerPixel()});
                firstRow = 0;
                rowCount = h;
            }
            // Otherwise a slice of a column taller than the budget.
            if (!loadBand(x, columns, firstRow, rowCount))
                return {{}, readError(m_in)};
            // The band holds pixels base .. base + columns * rowCount - 1 in order.
            const std::int64_t base = x * h + firstRow;
            const std::int64_t bandEnd = std::min(last, base + (columns - 1) * h + rowCount);
            const std::uint8_t* bits = m_bits.get();
            std::size_t i = static_cast<std::size_t>(p - base);
            const auto end = static_cast<std::size_t>(bandEnd - base);
            for (; i < end && !m_scan.atCharacterStart(); ++i)
                if (m_scan.feedPixel(bits[i]))
                    return finish();
            if (feedCharacters(bits + i, (end - i) / 3))
                return finish();
            i += 3 * ((end - i) / 3);
            for (; i < end; ++i)
                if (m_scan.feedPixel(bits[i]))
                    return finish();
            p = bandEnd;
            bandPixels = std::min(m_bands.largestPixels, bandPixels * 2);
        }
        return finish();
    }

private:
    // Whole characters from their pixels' low bits, three a character,
    // decoded a stretch at a time for the scanner.
    bool feedCharacters(const std::uint8_t* bits, std::size_t characters)
    {
        m_chunk.resize(std::min(characters, kFeedChunk));
        while (characters > 0) {
            const std::size_t n = std::min(characters, kFeedChunk);
            for (std::size_t j = 0; j < n; ++j, bits += 3)
                m_chunk[j] = characterOf(bits);
            characters -= n;
            if (m_scan.feedCharacters(std::string_view(m_chunk.data(), n)))
                return true;
        }
        return false;
    }

    BmpReveal finish()
    {
        if (m_found.spillFailed())
            return {{}, m_found.spillError()};
        const stego::ReadOutcome outcome = m_scan.outcome();
        if (outcome != stego::ReadOutcome::Found)
            return {{outcome, {}}, {}};
        if (m_sink == nullptr)
            return {{outcome, std::move(m_found.held())}, {}};
        BmpReveal delivered{{outcome, {}}, {}};
        if (m_encodingOut != nullptr)
            *m_encodingOut = m_found.encoding();
        delivered.error = m_found.deliverSpilled(*m_sink, delivered.sinkFailed);
        if (!delivered.ok())
            return delivered;
        const std::string& rest = m_found.held();
        delivered.sinkFailed = !(*m_sink)(QByteArrayView(rest.data(), static_cast<qsizetype>(rest.size())));
        return delivered;
    }

    // The low bits of columns x .. x+columns-1, rows firstRow .. +rowCount,
    // column by column.  Rows are read in the file's order, a group at a
    // time, and turned into columns sixteen rows by sixteen pixels at a time.
    bool loadBand(std::int64_t x, std::int64_t columns, std::int64_t firstRow, std::int64_t rowCount)
    {
        constexpr std::int64_t kRowsPerGroup = 64;
        const int bpp = m_l.bytesPerPixel();
        const auto bandBytes = static_cast<std::size_t>(columns * rowCount);
        if (bandBytes > m_bitsSize) {
            m_bits = scratchBytes(bandBytes + kBandSlack);  // every byte but the slack is written below
            m_bitsSize = bandBytes;
        }
        const bool wholeRows = x == 0 && columns == m_l.width;
        const auto slice = static_cast<qint64>(wholeRows ? m_l.rowStride : static_cast<std::uint64_t>(columns * bpp));
        const Band band{.x = x,
                        .columns = columns,
                        .firstRow = firstRow,
                        .rowCount = rowCount,
                        .wholeRows = wholeRows,
                        .slice = slice,
                        .group = std::clamp<std::int64_t>(kBlockBytes / slice, 1, wholeRows ? rowCount : kRowsPerGroup),
                        // File rows covering picture rows firstRow .. firstRow+rowCount-1.
                        .fileFirst = std::min(m_l.fileRow(firstRow), m_l.fileRow(firstRow + rowCount - 1))};
        m_buffers[0].resize(static_cast<std::size_t>(band.slice * band.group));

        // The reads and the turning into columns of one half of the rows
        // need nothing of the other half's.
        const std::int64_t half = rowCount / 2 / 16 * 16;
        if (positionedHandle(m_in) < 0 || half == 0 || columns * rowCount < m_bands.twoThreadPixels)
            return loadRows(band, 0, rowCount, m_buffers[0]);
        m_buffers[1].resize(m_buffers[0].size());
        bool secondDone = false;
        std::thread second;
        try {
            second = std::thread([&] { secondDone = loadRows(band, half, rowCount, m_buffers[1]); });
        } catch (const std::system_error&) {
            return loadRows(band, 0, rowCount, m_buffers[0]);  // no thread to be had: one does it all
        }
        const bool firstDone = loadRows(band, 0, half, m_buffers[0]);
        second.join();
        return firstDone && secondDone;
    }

    struct Band {
        std::int64_t x, columns, firstRow, rowCount;
        bool wholeRows;
        qint64 slice;            // bytes read a row
        std::int64_t group;      // rows read before they are turned into columns
        std::int64_t fileFirst;  // the band's first row in the file
    };

    // Rows from .. to - 1 of the band, counted from its first row in the
    // file, through `buffer`.  Safe to run beside itself on another part of
    // the band when the file is read with positioned reads.
    bool loadRows(const Band& band, std::int64_t from, std::int64_t to, std::vector<char>& buffer) const
    {
        const int bpp = m_l.bytesPerPixel();
        for (std::int64_t r = from; r < to; r += band.group) {
            const std::int64_t n = std::min(band.group, to - r);
            const std::int64_t fileRow = band.fileFirst + r;
            const std::uint64_t at = m_l.pixelOffset + static_cast<std::uint64_t>(fileRow) * m_l.rowStride
                                     + static_cast<std::uint64_t>(band.x * bpp);
            if (band.wholeRows) {
                // Whole rows are contiguous: the last one needs no more than its pixels.
                if (!readAt(m_in, at, buffer.data(), (n - 1) * band.slice + m_l.width * bpp))
                    return false;
            } else {
                for (std::int64_t k = 0; k < n; ++k)
                    if (!readAt(m_in, at + static_cast<std::uint64_t>(k) * m_l.rowStride, buffer.data() + k * band.slice,
                                band.slice))
                        return false;
            }
            // File row fileRow + k is picture row first + k * step.
            const RowBlock block{reinterpret_cast<const std::uint8_t*>(buffer.data()), band.slice, n, band.columns, bpp};
            const BandColumns columns{m_bits.get(), band.rowCount, m_l.fileRow(fileRow) - band.firstRow, m_l.topDown};
            lowBitsToColumns(block, columns);
        }
        return true;
    }

    QIODevice& m_in;
    const bmp::Layout& m_l;
    const ByteSink* m_sink;
    BandSizes m_bands;
    stego::BodyEncoding* m_encodingOut;
    QTemporaryFile m_ownSpill;
    FoundText m_found;
    stego::MessageScanner m_scan;
    std::vector<char> m_chunk;
    ScratchBytes m_bits;
    std::size_t m_bitsSize = 0;
    std::array<std::vector<char>, 2> m_buffers;  // one for each thread
};

// Puts the bits of message character `byte` that place `place` (0, 1, 2)
// of its three pixels carries into the pixel's blue, green and red bytes;
// the third pixel's blue keeps its bit.  The pixel is read and written as
// one four-byte word whose fourth byte is written back as it was.
inline void patchPixel(std::uint8_t* pixel, unsigned byte, int place) noexcept
{
    // Bit 0 of blue, of green and of red for each three-bit value.
    static constexpr std::uint32_t kSpread[8] = {0, 0x1, 0x100, 0x101, 0x10000, 0x10001, 0x10100, 0x10101};
    const unsigned bits = stego::bitsOfPlace(static_cast<std::uint8_t>(byte), place);
    const std::uint32_t keep = place == 2 ? 0xFFFEFEFFU : 0xFFFEFEFEU;
    if constexpr (std::endian::native == std::endian::little) {
        std::uint32_t word = 0;
        std::memcpy(&word, pixel, sizeof word);
        word = (word & keep) | kSpread[bits];
        std::memcpy(pixel, &word, sizeof word);
    } else {
        for (int channel = 0; channel < 3; ++channel)
            pixel[channel] = static_cast<std::uint8_t>((pixel[channel] & (keep >> (8 * channel))) | (kSpread[bits] >> (8 * channel)));
    }
}

// Bytes of one row of pixels held in memory: file offsets start .. end - 1
// of file row `fileRow`, at `bytes`.
struct RowPiece {
    std::int64_t fileRow;
    std::uint8_t* bytes;
    std::uint64_t start;
    std::uint64_t end;
};

// Writes the framed message into the pixels of pieces of rows.
class Patcher {
public:
    // Rows patched together: consecutive message pixels lie in consecutive
    // rows of one column, so a group is patched column by column and the
    // message is read along, not one cache line (and page) a pixel.
    static constexpr std::int64_t kGroupRows = 32;

    Patcher(const bmp::Layout& layout, std::string framed)
        : m_l(layout), m_framed(std::move(framed)), m_pixels(3 * static_cast<std::int64_t>(m_framed.size()))
    {
    }

    // The pixels of the message in rows whose picture row is below this.
    std::int64_t rowsTouched() const { return std::min(m_l.height, m_pixels); }
    // How many pixels of picture row y the message reaches: it runs column by column.
    std::int64_t pixelsInRow(std::int64_t y) const
    {
        return y >= m_pixels ? 0 : std::min(m_l.width, (m_pixels - y + m_l.height - 1) / m_l.height);
    }

    // A block of the file starting at file offset `blockStart`.
    void patch(std::uint8_t* block, std::uint64_t blockStart, std::uint64_t blockEnd) const
    {
        const std::uint64_t dataStart = m_l.pixelOffset;
        if (blockEnd <= dataStart || blockStart >= m_l.pixelEnd)
            return;
        const std::uint64_t stride = m_l.rowStride;
        const auto firstFileRow = static_cast<std::int64_t>(blockStart > dataStart ? (blockStart - dataStart) / stride : 0);
        const auto lastFileRow = std::min(m_l.height - 1, static_cast<std::int64_t>((blockEnd - 1 - dataStart) / stride));
        std::array<RowPiece, kGroupRows> pieces{};
        for (std::int64_t r0 = firstFileRow; r0 <= lastFileRow; r0 += kGroupRows) {
            const std::int64_t n = std::min(kGroupRows, lastFileRow + 1 - r0);
            for (std::int64_t k = 0; k < n; ++k) {
                const std::uint64_t rowStart = dataStart + static_cast<std::uint64_t>(r0 + k) * stride;
                const std::uint64_t start = std::max(rowStart, blockStart);
                pieces[static_cast<std::size_t>(k)] = {r0 + k, block + (start - blockStart), start,
                                                       std::min(rowStart + stride, blockEnd)};
            }
            patchRows({pieces.data(), static_cast<std::size_t>(n)});
        }
    }

    // Pieces of up to kGroupRows rows, one a row, of consecutive file rows
    // (a piece may be empty).
    void patchRows(std::span<const RowPiece> pieces) const
    {
        const auto bpp = static_cast<std::uint64_t>(m_l.bytesPerPixel());
        struct Row {
            std::int64_t y;
            std::uint64_t rowStart, from, to;
        };
        std::array<Row, kGroupRows> rows{};
        std::uint64_t fromAll = UINT64_MAX;
        std::uint64_t toAll = 0;
        for (std::size_t k = 0; k < pieces.size(); ++k) {
            const RowPiece& piece = pieces[k];
            const std::int64_t y = m_l.fileRow(piece.fileRow);  // the mapping is its own inverse
            const std::uint64_t rowStart = m_l.pixelOffset + static_cast<std::uint64_t>(piece.fileRow) * m_l.rowStride;
            // Pixels with a byte in the piece; one cut by its edge is patched byte by byte.
            const std::uint64_t from = piece.start > rowStart ? (piece.start - rowStart) / bpp : 0;
            const std::uint64_t to = std::min<std::uint64_t>(static_cast<std::uint64_t>(pixelsInRow(y)),
                                                             (piece.end - rowStart + bpp - 1) / bpp);
            rows[k] = {y, rowStart, from, to};
            if (from < to) {
                fromAll = std::min(fromAll, from);
                toAll = std::max(toAll, to);
            }
        }
        const std::int64_t h = m_l.height;
        const int step = m_l.topDown ? 1 : -1;  // picture rows along the group
        const std::int64_t y0 = rows[0].y;
        for (std::uint64_t x = fromAll; x < toAll; ++x) {
            // Message pixel p = x * H + y: character p / 3, place p % 3,
            // stepped along the group's rows rather than divided each time.
            const std::int64_t p0 = static_cast<std::int64_t>(x) * h + y0;
            std::int64_t character = p0 / 3;
            int place = static_cast<int>(p0 % 3);
            for (std::size_t k = 0; k < pieces.size(); ++k) {
                if (k > 0) {
                    place += step;
                    if (place == 3) {
                        place = 0;
                        ++character;
                    } else if (place < 0) {
                        place = 2;
                        --character;
                    }
                }
                const Row& row = rows[k];
                if (x < row.from || x >= row.to)
                    continue;
                const auto byte = static_cast<unsigned>(static_cast<std::uint8_t>(m_framed[static_cast<std::size_t>(character)]));
                const std::uint64_t at = row.rowStart + x * bpp;
                const RowPiece& piece = pieces[k];
                if (at >= piece.start && at + 4 <= piece.end + kPieceSlack) {
                    patchPixel(piece.bytes + (at - piece.start), byte, place);
                    continue;
                }
                // A pixel cut by the piece's edge: patched in a copy, and
                // the bytes the piece holds put back.
                std::array<std::uint8_t, 4> pixel{};
                for (std::uint64_t i = 0; i < 3; ++i)
                    if (at + i >= piece.start && at + i < piece.end)
                        pixel[i] = piece.bytes[at + i - piece.start];
                patchPixel(pixel.data(), byte, place);
                for (std::uint64_t i = 0; i < 3; ++i)
                    if (at + i >= piece.start && at + i < piece.end)
                        piece.bytes[at + i - piece.start] = pixel[i];
            }
        }
    }

    // Bytes a piece's buffer may be read and written (unchanged) past its
    // end: a pixel is patched as one four-byte word.
    static constexpr std::uint64_t kPieceSlack = 1;

private:
    const bmp::Layout& m_l;
    std::string m_framed;
    std::int64_t m_pixels;
};

// True, with the refusal in `result`, when the framed text does not fit;
// then nothing may be written.
bool refuseTooMuchText(const bmp::Layout& l, std::string_view textBytes, BmpHide& result)
{
    const auto framedLength = static_cast<std::int64_t>(textBytes.size()) + stego::kMarkerLength;
    if (3 * framedLength <= l.width * l.height)
        return false;
    result.report = {stego::HideOutcome::TooMuchText, stego::excessCharacters(framedLength, l.width, l.height)};
    return true;
}

}  // namespace

BmpProbe probeBmp(QIODevice& in)
{
    BmpProbe probe;
    g_positionedReadError.store(0);
    std::array<char, bmp::kHeadBytes> head{};
    // A file that cannot be read is reported as such, not as another kind.
    const qint64 got = in.seek(0) ? readUpTo(in, head.data(), static_cast<qint64>(head.size())) : -1;
    if (got < 0) {
        probe.streamable = true;
        probe.error = readError(in);
        return probe;
    }
    if (got < 2 || head[0] != 'B' || head[1] != 'M')
        return probe;
    const bmp::Parsed parsed = bmp::parse({reinterpret_cast<const std::uint8_t*>(head.data()), static_cast<std::size_t>(got)});
    if (!parsed.ok() || !parsed.layout.direct)
        return probe;
    probe.layout = parsed.layout;
    probe.streamable = true;
    if (!in.isSequential())
        probe.error = QString::fromStdString(bmp::truncationError(parsed.layout, static_cast<std::uint64_t>(in.size())));
    return probe;
}

BmpReveal revealBmp(QIODevice& in, const ByteSink* textSink, const RevealTuning& tuning)
{
    const BmpProbe probe = probeBmp(in);
    if (!probe.streamable)
        return {{}, kNotStreamable};
    if (!probe.error.isEmpty())
        return {{}, probe.error};
    Revealer revealer(in, probe.layout, textSink, tuning);
    BmpReveal revealed = revealer.run();
    revealed.encoding = revealer.encoding();
    return revealed;
}

BmpReveal revealBmp(QIODevice& in, const ByteSink* textSink, BandSizes bands)
{
    return revealBmp(in, textSink, RevealTuning{.bands = bands});
}

BmpReveal revealBmp(QIODevice& in)
{
    return revealBmp(in, nullptr, RevealTuning{});
}

BmpReveal revealBmp(QIODevice& in, const ByteSink& textSink)
{
    return revealBmp(in, &textSink, RevealTuning{});
}

BmpReveal revealBmp(QIODevice& in, const ByteSink& textSink, stego::BodyEncoding& encoding)
{
    return revealBmp(in, &textSink, RevealTuning{.encoding = &encoding});
}

BmpHide hideBmp(QIODevice& in, std::string_view textBytes, const ByteSink& sink)
{
    BmpHide result;
    g_positionedReadError.store(0);
    if (!in.isSequential() && !in.seek(0)) {
        result.error = readError(in);
        return result;
    }
    std::vector<char> block(static_cast<std::size_t>(kBlockBytes) + Patcher::kPieceSlack);
    qint64 got = readUpTo(in, block.data(), kBlockBytes);
    if (got < 0) {
        result.error = readError(in);
        return result;
    }
    const bmp::Parsed parsed = bmp::parse({reinterpret_cast<const std::uint8_t*>(block.data()),
                                           std::min<std::size_t>(bmp::kHeadBytes, static_cast<std::size_t>(got))});
    if (!parsed.ok() || !parsed.layout.direct) {
        result.error = parsed.ok() ? kNotStreamable
                                   : QString::fromStdString(parsed.error);
        return result;
    }
    const bmp::Layout& l = parsed.layout;
    if (refuseTooMuchText(l, textBytes, result))
        return result;
    if (!in.isSequential()) {
        const std::string truncated = bmp::truncationError(l, static_cast<std::uint64_t>(in.size()));
        if (!truncated.empty()) {
            result.error = QString::fromStdString(truncated);
            return result;
        }
    }
    const Patcher patcher(l, stego::frameMessage(textBytes));
    std::uint64_t position = 0;
    while (got > 0) {
        auto* bytes = reinterpret_cast<std::uint8_t*>(block.data());
        patcher.patch(bytes, position, position + static_cast<std::uint64_t>(got));
        if (!sink(QByteArrayView(block.data(), got))) {
            result.sinkFailed = true;
            return result;
        }
        position += static_cast<std::uint64_t>(got);
        got = readUpTo(in, block.data(), kBlockBytes);
        if (got < 0) {
            result.error = readError(in);
            return result;
        }
    }
    // A file that shrank since its size was taken, or a pipe that ended early.
    if (position < l.pixelEnd)
        result.error = QString::fromLatin1(bmp::kTruncatedSentence);
    return result;
}

BmpHide hideBmp(QIODevice& in, std::string_view textBytes, const PatchedCopy& out)
{
    BmpHide result;
    const BmpProbe probe = probeBmp(in);
    if (!probe.streamable || in.isSequential()) {
        result.error = kNotStreamable;
        return result;
    }
    if (!probe.error.isEmpty()) {
        result.error = probe.error;
        return result;
    }
    const bmp::Layout& l = probe.layout;
    if (refuseTooMuchText(l, textBytes, result))
        return result;
    if (!out.copyWhole(in.size())) {
        result.sinkFailed = true;
        return result;
    }
    // Pixel p lies in column p / H, so every row holds the message in its
    // first few pixels: one slice a row, read from the original, a group of
    // rows at a time; in a picture too wide for a group's slices to fit a
    // block, a stretch of columns at a time.
    const Patcher patcher(l, stego::frameMessage(textBytes));
    const std::int64_t bpp = l.bytesPerPixel();
    // The rows the message reaches are the first picture rows, at the top
    // or the bottom of the file.
    const std::int64_t touched = patcher.rowsTouched();
    const std::int64_t fileFirst = l.topDown ? 0 : l.height - touched;
    const std::int64_t widest = patcher.pixelsInRow(0);
    const std::int64_t stretch = std::min(widest, std::max<std::int64_t>(1, kBlockBytes / (Patcher::kGroupRows * bpp)));
    const auto sliceBytes = static_cast<std::size_t>(stretch * bpp);
    std::vector<std::uint8_t> slices(sliceBytes * static_cast<std::size_t>(Patcher::kGroupRows) + Patcher::kPieceSlack);
    std::array<RowPiece, Patcher::kGroupRows> pieces{};
    for (std::int64_t r0 = fileFirst; r0 < fileFirst + touched; r0 += Patcher::kGroupRows) {
        const std::int64_t n = std::min(Patcher::kGroupRows, fileFirst + touched - r0);
        for (std::int64_t x0 = 0; x0 < widest; x0 += stretch) {
            for (std::int64_t k = 0; k < n; ++k) {
                const std::int64_t r = r0 + k;
                // Empty where the message ends before this stretch in this row.
                const std::int64_t x1 = std::max(x0, std::min(x0 + stretch, patcher.pixelsInRow(l.fileRow(r))));
                const std::uint64_t at = l.pixelOffset + static_cast<std::uint64_t>(r) * l.rowStride
                                         + static_cast<std::uint64_t>(x0 * bpp);
                const auto bytes = static_cast<std::uint64_t>((x1 - x0) * bpp);
                std::uint8_t* slice = slices.data() + static_cast<std::size_t>(k) * sliceBytes;
                if (bytes > 0 && !readAt(in, at, reinterpret_cast<char*>(slice), static_cast<qint64>(bytes))) {
                    result.error = readError(in);
                    return result;
                }
                pieces[static_cast<std::size_t>(k)] = {r, slice, at, at + bytes};
            }
            patcher.patchRows({pieces.data(), static_cast<std::size_t>(n)});
            for (std::int64_t k = 0; k < n; ++k) {
                const RowPiece& piece = pieces[static_cast<std::size_t>(k)];
                if (piece.end > piece.start
                    && !out.writeAt(piece.start, QByteArrayView(reinterpret_cast<const char*>(piece.bytes),
                                                                static_cast<qsizetype>(piece.end - piece.start)))) {
                    result.sinkFailed = true;
                    return result;
                }
            }
        }
    }
    return result;
}

}  // namespace picture
