// Reading a hidden text from a BMP in place: bands of rows read on
// several threads, their low bits gathered column by column, the characters
// scanned for the end marker as they come.

#include "bmpstream.h"
#include "lowbits.h"
#include "positionedread.h"

#include "stego/body.h"
#include "stego/scanner.h"

#include <QTemporaryFile>

#include <QFileDevice>

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <new>
#include <span>
#include <system_error>
#include <thread>
#include <vector>

namespace bmpfile {

using namespace detail;

namespace {

constexpr std::size_t kFeedChunk = std::size_t(1) << 16;         // characters decoded between end-marker searches

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

    // Hands what was spilled to `sink`, every byte of it or why not.
    fileio::MaybeFailure deliverSpilled(const ByteSink& sink)
    {
        if (m_spilled == 0)
            return {};
        const QString cannotRead = QStringLiteral("The text found could not be read back from its temporary file: %1");
        if (!m_spill->seek(0))
            return fileio::unreadable(cannotRead.arg(m_spill->errorString()));
        constexpr qint64 kSpillBlock = qint64(1) << 20;
        std::vector<char> block(static_cast<std::size_t>(kSpillBlock));
        qint64 delivered = 0;
        while (delivered < m_spilled) {
            const qint64 got = m_spill->read(block.data(), std::min(kSpillBlock, m_spilled - delivered));
            if (got < 0)
                return fileio::unreadable(cannotRead.arg(m_spill->errorString()));
            if (got == 0)
                return fileio::unreadable(cannotRead.arg(QStringLiteral("it ended after %1 of %2 bytes").arg(delivered).arg(m_spilled)));
            if (!sink(QByteArrayView(block.data(), got)))
                return fileio::unwritable();
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
    Revealer(QIODevice& in, const Layout& layout, const ByteSink* sink, const RevealTuning& tuning)
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
                return {{}, fileio::unreadable(readError(m_in))};
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
                return {{}, fileio::unreadable(readError(m_in))};
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
            charactersOf(bits, n, m_chunk.data());
            bits += 3 * n;
            characters -= n;
            if (m_scan.feedCharacters(std::string_view(m_chunk.data(), n)))
                return true;
        }
        return false;
    }

    BmpReveal finish()
    {
        if (m_found.spillFailed())
            return {{}, fileio::unreadable(m_found.spillError())};
        const stego::ReadOutcome outcome = m_scan.outcome();
        if (outcome != stego::ReadOutcome::Found)
            return {{outcome, {}}, {}};
        if (m_sink == nullptr)
            return {{outcome, std::move(m_found.held())}, {}};
        BmpReveal delivered{{outcome, {}}, {}};
        if (m_encodingOut != nullptr)
            *m_encodingOut = m_found.encoding();
        delivered.failure = m_found.deliverSpilled(*m_sink);
        if (!delivered.ok())
            return delivered;
        const std::string& rest = m_found.held();
        if (!(*m_sink)(QByteArrayView(rest.data(), static_cast<qsizetype>(rest.size()))))
            delivered.failure = fileio::unwritable();
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
        // Where the slices are at least an eighth of the rows, a file not yet
        // in memory is read ahead over the band's rows: all of it in large
        // pieces costs less than a small disk read a row.
        if (static_cast<std::uint64_t>(slice) * 8 >= m_l.rowStride)
            willRead(m_in, m_l.pixelOffset + static_cast<std::uint64_t>(band.fileFirst) * m_l.rowStride,
                     static_cast<std::uint64_t>(rowCount) * m_l.rowStride);

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
    const Layout& m_l;
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

}  // namespace

BmpReveal revealBmp(QIODevice& in, const ByteSink* textSink, const RevealTuning& tuning)
{
    const BmpProbe probe = probeBmp(in);
    if (!probe.streamable)
        return {{}, fileio::refused(kNotStreamable)};
    if (probe.failure)
        return {{}, probe.failure};
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

}  // namespace bmpfile
