#include "bmpstream.h"
#include "positionedread.h"

#include "stego/body.h"

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

    Patcher(const Layout& layout, std::string framed)
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
    const Layout& m_l;
    std::string m_framed;
    std::int64_t m_pixels;
};

// True, with the refusal in `result`, when the framed text does not fit;
// then nothing may be written.
bool refuseTooMuchText(const Layout& l, std::string_view textBytes, BmpHide& result)
{
    const auto framedLength = static_cast<std::int64_t>(textBytes.size()) + stego::kMarkerLength;
    if (3 * framedLength <= l.width * l.height)
        return false;
    result.report = {stego::HideOutcome::TooMuchText, stego::excessCharacters(framedLength, l.width, l.height)};
    return true;
}

// The copy under a patched copy, kept a stretch ahead of the patches: each
// stretch is patched while it is fresh in the caches, and handed on as
// final once its rows are patched, so that writing it to disk overlaps
// making the rest rather than waiting for the end.
class CopyAhead {
public:
    CopyAhead(const PatchedCopy& out, qint64 size) : m_out(out), m_size(size) {}

    // Copies at least every byte before `end`.
    bool reach(qint64 end)
    {
        if (end <= m_copied)
            return true;
        end = std::min(m_size, std::max(end, m_copied + m_out.aheadBytes));
        if (!m_out.copyRange(m_copied, end - m_copied))
            return false;
        m_copied = end;
        return true;
    }

    // Every byte before `end` is final.
    void settle(qint64 end)
    {
        end = std::min(end, m_copied);
        if (m_out.settled && end > m_settled && (end - m_settled >= m_out.aheadBytes || end == m_size)) {
            m_out.settled(m_settled, end - m_settled);
            m_settled = end;
        }
    }

private:
    const PatchedCopy& m_out;
    qint64 m_size;
    qint64 m_copied = 0;
    qint64 m_settled = 0;
};

}  // namespace

BmpProbe probeBmp(QIODevice& in)
{
    BmpProbe probe;
    forgetReadError();
    std::array<char, kHeadBytes> head{};
    // A file that cannot be read is reported as such, not as another kind.
    const qint64 got = in.seek(0) ? readUpTo(in, head.data(), static_cast<qint64>(head.size())) : -1;
    if (got < 0) {
        probe.streamable = true;
        probe.failure = fileio::unreadable(readError(in));
        return probe;
    }
    if (got < 2 || head[0] != 'B' || head[1] != 'M')
        return probe;
    const Parsed parsed = parse({reinterpret_cast<const std::uint8_t*>(head.data()), static_cast<std::size_t>(got)});
    if (!parsed.ok() || !parsed.layout.direct)
        return probe;
    probe.layout = parsed.layout;
    probe.streamable = true;
    if (!in.isSequential())
        probe.failure = truncationError(parsed.layout, static_cast<std::uint64_t>(in.size()));
    return probe;
}

BmpHide hideBmp(QIODevice& in, std::string_view textBytes, const ByteSink& sink)
{
    BmpHide result;
    forgetReadError();
    if (!in.isSequential() && !in.seek(0)) {
        result.failure = fileio::unreadable(readError(in));
        return result;
    }
    std::vector<char> block(static_cast<std::size_t>(kBlockBytes) + Patcher::kPieceSlack);
    qint64 got = readUpTo(in, block.data(), kBlockBytes);
    if (got < 0) {
        result.failure = fileio::unreadable(readError(in));
        return result;
    }
    const Parsed parsed = parse({reinterpret_cast<const std::uint8_t*>(block.data()),
                                std::min<std::size_t>(kHeadBytes, static_cast<std::size_t>(got))});
    if (!parsed.ok() || !parsed.layout.direct) {
        result.failure = parsed.ok() ? fileio::refused(kNotStreamable) : parsed.failure;
        return result;
    }
    const Layout& l = parsed.layout;
    if (refuseTooMuchText(l, textBytes, result))
        return result;
    if (!in.isSequential()) {
        if ((result.failure = truncationError(l, static_cast<std::uint64_t>(in.size()))))
            return result;
    }
    const Patcher patcher(l, stego::frameMessage(textBytes));
    std::uint64_t position = 0;
    while (got > 0) {
        auto* bytes = reinterpret_cast<std::uint8_t*>(block.data());
        patcher.patch(bytes, position, position + static_cast<std::uint64_t>(got));
        if (!sink(QByteArrayView(block.data(), got))) {
            result.failure = fileio::unwritable();
            return result;
        }
        position += static_cast<std::uint64_t>(got);
        got = readUpTo(in, block.data(), kBlockBytes);
        if (got < 0) {
            result.failure = fileio::unreadable(readError(in));
            return result;
        }
    }
    // A file that shrank since its size was taken, or a pipe that ended early.
    if (position < l.pixelEnd)
        result.failure = fileio::unreadable(QString::fromLatin1(kTruncatedSentence));
    return result;
}

BmpHide hideBmp(QIODevice& in, std::string_view textBytes, const PatchedCopy& out)
{
    BmpHide result;
    const BmpProbe probe = probeBmp(in);
    if (!probe.streamable || in.isSequential()) {
        result.failure = fileio::refused(kNotStreamable);
        return result;
    }
    if (probe.failure) {
        result.failure = probe.failure;
        return result;
    }
    const Layout& l = probe.layout;
    if (refuseTooMuchText(l, textBytes, result))
        return result;
    CopyAhead copy(out, in.size());
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
        const auto groupEnd = static_cast<qint64>(l.pixelOffset + static_cast<std::uint64_t>(r0 + n) * l.rowStride);
        if (!copy.reach(groupEnd)) {
            result.failure = fileio::unwritable();
            return result;
        }
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
                    result.failure = fileio::unreadable(readError(in));
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
                    result.failure = fileio::unwritable();
                    return result;
                }
            }
        }
        copy.settle(groupEnd);
    }
    if (!copy.reach(in.size())) {
        result.failure = fileio::unwritable();
        return result;
    }
    copy.settle(in.size());
    return result;
}

}  // namespace bmpfile
