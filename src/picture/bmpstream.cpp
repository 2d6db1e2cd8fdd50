#include "bmpstream.h"

#include <QFileDevice>
#include <QTemporaryFile>

#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace picture {

namespace {

constexpr std::int64_t kBlockBytes = std::int64_t(4) << 20;     // one read or write of the copy
constexpr std::int64_t kHeadPixels = 39;                         // the start marker's 13 characters
constexpr std::size_t kSpillChars = std::size_t(8) << 20;        // text held before it goes to the spill file

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

// A positioned read: one pread on an unbuffered file (one system call a
// row slice, where seek and read would be two), seek and read otherwise.
bool readAt(QIODevice& in, std::uint64_t at, char* to, qint64 n)
{
    const auto* file = qobject_cast<const QFileDevice*>(&in);
    if (file != nullptr && file->handle() >= 0 && (in.openMode() & QIODevice::Unbuffered) != 0) {
        while (n > 0) {
            const ssize_t got = ::pread(file->handle(), to, static_cast<std::size_t>(n), static_cast<off_t>(at));
            if (got < 0 && errno == EINTR)
                continue;
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
    const QString reason = in.errorString();
    return in.atEnd() || reason.isEmpty() || reason == QLatin1String("Unknown error")
               ? QString::fromLatin1(bmp::kTruncatedSentence)
               : kReadFailed.arg(reason);
}

// The engine's scan as a machine fed one pixel's low bits at a time, in the
// column order of the format.  With a spill file, the text collected goes
// there once it passes kSpillChars, all but its last few characters, so
// memory stays bounded however long the text runs before its end marker.
class Scanner {
public:
    explicit Scanner(QIODevice* spill) : m_spill(spill) {}

    // True once the outcome is decided (or the spill file failed).
    bool feed(std::uint8_t bits)
    {
        m_code = m_code << 3 | bits;
        if (++m_place < 3)
            return false;
        m_place = 0;
        m_text.push_back(static_cast<char>(m_code >> 1));
        m_code = 0;
        if (m_spill != nullptr && m_text.size() >= kSpillChars && !spill())
            return true;
        return endsWithEndMarker();
    }

    // Three pixels' low bits at once, from the start of a character.
    bool feedCharacter(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2)
    {
        m_text.push_back(static_cast<char>((b0 << 6 | b1 << 3 | b2) >> 1));
        if (m_spill != nullptr && m_text.size() >= kSpillChars && !spill())
            return true;
        return endsWithEndMarker();
    }

    bool atCharacterStart() const { return m_place == 0; }
    bool spillFailed() const { return m_spillFailed; }

    // At the 14th triple, in a picture of at least 40 pixels.
    bool startMarkerMissing() const { return m_text != stego::kStartMarker; }
    void dropStartMarker() { m_text.clear(); }

    // The text before the end marker: in memory, or spilled and then the rest.
    stego::ReadResult found()
    {
        m_text.resize(m_text.size() - stego::kEndMarker.size());
        return {stego::ReadOutcome::Found, std::move(m_text)};
    }

private:
    bool spill()
    {
        // The last characters stay, so the end marker is always whole in memory.
        const auto keep = static_cast<std::ptrdiff_t>(2 * stego::kEndMarker.size());
        const auto out = static_cast<qint64>(m_text.size()) - keep;
        if (m_spill->write(m_text.data(), out) != out) {
            m_spillFailed = true;
            return false;
        }
        m_text.erase(0, static_cast<std::size_t>(out));
        return true;
    }

    bool endsWithEndMarker() const
    {
        const std::size_t m = stego::kEndMarker.size();
        return m_text.size() >= m && m_text.back() == 'e'
               && std::memcmp(m_text.data() + m_text.size() - m, stego::kEndMarker.data(), m) == 0;
    }

    QIODevice* m_spill;
    bool m_spillFailed = false;
    std::uint32_t m_code = 0;
    int m_place = 0;
    std::string m_text;
};

class Revealer {
public:
    Revealer(QIODevice& in, const bmp::Layout& layout, const ByteSink* sink, BandSizes bands)
        : m_in(in), m_l(layout), m_sink(sink), m_bands(bands), m_scan(sink != nullptr ? &m_spill : nullptr)
    {
    }

    BmpReveal run()
    {
        const std::int64_t h = m_l.height;
        const std::int64_t total = m_l.width * h;
        for (std::int64_t p = 0; p < std::min(total, kHeadPixels); ++p) {
            std::array<char, 4> pixel{};
            if (!readAt(m_in, m_l.rowOffset(p % h) + static_cast<std::uint64_t>(p / h * m_l.bytesPerPixel()),
                        pixel.data(), 3))
                return {{}, readError(m_in)};
            if (m_scan.feed(lowBits(reinterpret_cast<const std::uint8_t*>(pixel.data()))))
                return finish();
        }
        if (total <= kHeadPixels)
            return {{stego::ReadOutcome::NoEndMarker, {}}, {}};
        if (m_scan.startMarkerMissing())
            return {{stego::ReadOutcome::NoStartMarker, {}}, {}};
        m_scan.dropStartMarker();
        if (m_sink != nullptr && !m_spill.open())
            return {{}, QStringLiteral("No temporary file could be made for the text: %1").arg(m_spill.errorString())};

        const std::int64_t last = total - total % 3;  // pixels past the last whole triple carry nothing
        std::int64_t bandPixels = m_bands.firstPixels;
        std::int64_t p = kHeadPixels;
        while (p < last) {
            const std::int64_t x = p / h;
            std::int64_t columns = 1;
            std::int64_t firstRow = p % h;
            std::int64_t rowCount = std::min(h - firstRow, bandPixels);
            if (h <= bandPixels) {
                // Whole columns; the head's pixels at the top of the first are read again.
                columns = std::min(bandPixels / h, m_l.width - x);
                firstRow = 0;
                rowCount = h;
            }
            // Otherwise a slice of a column taller than the budget.
            if (!loadBand(x, columns, firstRow, rowCount))
                return {{}, readError(m_in)};
            // The band holds pixels base .. base + columns * rowCount - 1 in order.
            const std::int64_t base = x * h + firstRow;
            const std::int64_t bandEnd = std::min(last, base + (columns - 1) * h + rowCount);
            const std::uint8_t* bits = m_bits.data();
            std::size_t i = static_cast<std::size_t>(p - base);
            const auto end = static_cast<std::size_t>(bandEnd - base);
            for (; i < end && !m_scan.atCharacterStart(); ++i)
                if (m_scan.feed(bits[i]))
                    return finish();
            for (; i + 3 <= end; i += 3)
                if (m_scan.feedCharacter(bits[i], bits[i + 1], bits[i + 2]))
                    return finish();
            for (; i < end; ++i)
                if (m_scan.feed(bits[i]))
                    return finish();
            p = bandEnd;
            bandPixels = std::min(m_bands.largestPixels, bandPixels * 2);
        }
        return {{stego::ReadOutcome::NoEndMarker, {}}, {}};
    }

private:
    BmpReveal finish()
    {
        if (m_scan.spillFailed())
            return {{}, QStringLiteral("The text found could not be kept in a temporary file: %1").arg(m_spill.errorString())};
        stego::ReadResult result = m_scan.found();
        if (m_sink == nullptr)
            return {std::move(result), {}};
        BmpReveal delivered{{stego::ReadOutcome::Found, {}}, {}};
        if (m_spill.isOpen()) {
            m_spill.seek(0);
            std::vector<char> block(static_cast<std::size_t>(kBlockBytes));
            for (qint64 got = 0; (got = m_spill.read(block.data(), kBlockBytes)) > 0;) {
                if (!(*m_sink)(QByteArrayView(block.data(), got))) {
                    delivered.sinkFailed = true;
                    return delivered;
                }
            }
        }
        delivered.sinkFailed = !(*m_sink)(QByteArrayView(result.text.data(), static_cast<qsizetype>(result.text.size())));
        return delivered;
    }

    // The low bits of columns x .. x+columns-1, rows firstRow .. +rowCount,
    // column by column.  Rows are read in the file's order, a group at a
    // time, and turned into columns group by group, so that each column
    // takes a run of bytes rather than one byte a cache line.
    bool loadBand(std::int64_t x, std::int64_t columns, std::int64_t firstRow, std::int64_t rowCount)
    {
        constexpr std::int64_t kRowsPerGroup = 16;
        const int bpp = m_l.bytesPerPixel();
        m_bits.resize(static_cast<std::size_t>(columns * rowCount));
        const bool wholeRows = x == 0 && columns == m_l.width;
        const auto slice = static_cast<qint64>(wholeRows ? m_l.rowStride : static_cast<std::uint64_t>(columns * bpp));
        const std::int64_t group = wholeRows ? std::max<std::int64_t>(1, kBlockBytes / slice) : kRowsPerGroup;
        m_buffer.resize(static_cast<std::size_t>(slice * group));
        // File rows covering picture rows firstRow .. firstRow+rowCount-1.
        const std::int64_t fileFirst = std::min(m_l.fileRow(firstRow), m_l.fileRow(firstRow + rowCount - 1));
        for (std::int64_t r = 0; r < rowCount; r += group) {
            const std::int64_t n = std::min(group, rowCount - r);
            const std::int64_t fileRow = fileFirst + r;
            const std::uint64_t at = m_l.pixelOffset + static_cast<std::uint64_t>(fileRow) * m_l.rowStride
                                     + static_cast<std::uint64_t>(x * bpp);
            if (wholeRows) {
                // Whole rows are contiguous: the last one needs no more than its pixels.
                if (!readAt(m_in, at, m_buffer.data(), (n - 1) * slice + m_l.width * bpp))
                    return false;
            } else {
                for (std::int64_t k = 0; k < n; ++k)
                    if (!readAt(m_in, at + static_cast<std::uint64_t>(k) * m_l.rowStride, m_buffer.data() + k * slice, slice))
                        return false;
            }
            // File row fileRow + k is picture row first + k * step.
            const std::int64_t first = m_l.fileRow(fileRow) - firstRow;
            const std::int64_t step = m_l.topDown ? 1 : -1;
            const auto* rows = reinterpret_cast<const std::uint8_t*>(m_buffer.data());
            for (std::int64_t c = 0; c < columns; ++c) {
                std::uint8_t* column = m_bits.data() + c * rowCount + first;
                const std::uint8_t* pixel = rows + c * bpp;
                for (std::int64_t k = 0; k < n; ++k)
                    column[k * step] = lowBits(pixel + k * slice);
            }
        }
        return true;
    }

    QIODevice& m_in;
    const bmp::Layout& m_l;
    const ByteSink* m_sink;
    BandSizes m_bands;
    QTemporaryFile m_spill;
    Scanner m_scan;
    std::vector<std::uint8_t> m_bits;
    std::vector<char> m_buffer;
};

// Writes the framed message into the pixels of one block of the file that
// starts at file offset `blockStart`.
class Patcher {
public:
    Patcher(const bmp::Layout& layout, std::string framed)
        : m_l(layout), m_framed(std::move(framed)), m_pixels(3 * static_cast<std::int64_t>(m_framed.size()))
    {
    }

    void patch(std::uint8_t* block, std::uint64_t blockStart, std::uint64_t blockEnd) const
    {
        const std::uint64_t dataStart = m_l.pixelOffset;
        if (blockEnd <= dataStart || blockStart >= m_l.pixelEnd)
            return;
        const std::uint64_t stride = m_l.rowStride;
        const auto firstFileRow = static_cast<std::int64_t>(blockStart > dataStart ? (blockStart - dataStart) / stride : 0);
        const auto lastFileRow = std::min(m_l.height - 1, static_cast<std::int64_t>((blockEnd - 1 - dataStart) / stride));
        const auto bpp = static_cast<std::uint64_t>(m_l.bytesPerPixel());
        for (std::int64_t r = firstFileRow; r <= lastFileRow; ++r) {
            const std::int64_t y = m_l.fileRow(r);  // the mapping is its own inverse
            if (y >= m_pixels)
                continue;
            const std::int64_t count = std::min(m_l.width, (m_pixels - y + m_l.height - 1) / m_l.height);
            const std::uint64_t rowStart = dataStart + static_cast<std::uint64_t>(r) * stride;
            const std::uint64_t from = blockStart > rowStart ? (blockStart - rowStart) / bpp : 0;
            const std::uint64_t to = std::min<std::uint64_t>(static_cast<std::uint64_t>(count), (blockEnd - rowStart + bpp - 1) / bpp);
            for (std::uint64_t x = from; x < to; ++x) {
                const std::int64_t p = static_cast<std::int64_t>(x) * m_l.height + y;
                const auto byte = static_cast<std::uint8_t>(m_framed[static_cast<std::size_t>(p / 3)]);
                const int shift = 5 - 3 * static_cast<int>(p % 3);  // the bit blue carries; green and red the next two up
                const std::uint64_t at = rowStart + x * bpp;
                for (int channel = shift < 0 ? 1 : 0; channel < 3; ++channel) {
                    const std::uint64_t pos = at + static_cast<std::uint64_t>(channel);
                    if (pos < blockStart || pos >= blockEnd)
                        continue;
                    std::uint8_t& b = block[pos - blockStart];
                    b = static_cast<std::uint8_t>((b & 0xFEU) | ((byte >> (shift + channel)) & 1U));
                }
            }
        }
    }

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
    result.report = {stego::HideOutcome::TooMuchText, stego::excessCharacters(framedLength, l.width, l.height), {}};
    return true;
}

}  // namespace

BmpProbe probeBmp(QIODevice& in)
{
    BmpProbe probe;
    std::array<char, bmp::kHeadBytes> head{};
    if (!in.seek(0))
        return probe;
    const qint64 got = readUpTo(in, head.data(), static_cast<qint64>(head.size()));
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

BmpReveal revealBmp(QIODevice& in, const ByteSink* textSink, BandSizes bands)
{
    const BmpProbe probe = probeBmp(in);
    if (!probe.streamable)
        return {{}, kNotStreamable};
    if (!probe.error.isEmpty())
        return {{}, probe.error};
    return Revealer(in, probe.layout, textSink, bands).run();
}

BmpReveal revealBmp(QIODevice& in)
{
    return revealBmp(in, nullptr, BandSizes{});
}

BmpReveal revealBmp(QIODevice& in, const ByteSink& textSink)
{
    return revealBmp(in, &textSink, BandSizes{});
}

BmpHide hideBmp(QIODevice& in, std::string_view textBytes, const ByteSink& sink)
{
    BmpHide result;
    if (!in.isSequential() && !in.seek(0)) {
        result.error = readError(in);
        return result;
    }
    std::vector<char> block(static_cast<std::size_t>(kBlockBytes));
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
    // first few pixels: one slice a row, read from the original.
    const Patcher patcher(l, stego::frameMessage(textBytes));
    const std::int64_t pixels = 3 * (static_cast<std::int64_t>(textBytes.size()) + stego::kMarkerLength);
    const std::int64_t bpp = l.bytesPerPixel();
    std::vector<char> slice;
    for (std::int64_t r = 0; r < l.height; ++r) {
        const std::int64_t y = l.fileRow(r);
        if (y >= pixels)
            continue;
        const std::int64_t count = std::min(l.width, (pixels - y + l.height - 1) / l.height);
        const std::uint64_t at = l.pixelOffset + static_cast<std::uint64_t>(r) * l.rowStride;
        slice.resize(static_cast<std::size_t>(count * bpp));
        if (!readAt(in, at, slice.data(), count * bpp)) {
            result.error = readError(in);
            return result;
        }
        patcher.patch(reinterpret_cast<std::uint8_t*>(slice.data()), at, at + slice.size());
        if (!out.writeAt(at, QByteArrayView(slice.data(), static_cast<qsizetype>(slice.size())))) {
            result.sinkFailed = true;
            return result;
        }
    }
    return result;
}

}  // namespace picture
