#include "bmpwiden.h"

#include <QtEndian>

#include <algorithm>
#include <limits>
#include <vector>

namespace bmpfile {

namespace {

constexpr qint64 kHeaderSize = 54;

QByteArray header24(std::int64_t width, std::int64_t height, qint64 pixelBytes)
{
    QByteArray header(kHeaderSize, '\0');
    auto* out = reinterpret_cast<uchar*>(header.data());
    out[0] = 'B';
    out[1] = 'M';
    qToLittleEndian<quint32>(static_cast<quint32>(kHeaderSize + pixelBytes), out + 2);
    qToLittleEndian<quint32>(static_cast<quint32>(kHeaderSize), out + 10);
    qToLittleEndian<quint32>(40, out + 14);
    qToLittleEndian<qint32>(static_cast<qint32>(width), out + 18);
    qToLittleEndian<qint32>(static_cast<qint32>(height), out + 22);  // positive: bottom row first
    qToLittleEndian<quint16>(1, out + 26);
    qToLittleEndian<quint16>(24, out + 28);
    qToLittleEndian<quint32>(static_cast<quint32>(pixelBytes), out + 34);
    return header;
}

// The first `count` pixels of picture row `y`, as blue, green, red and the fourth byte.
bool readRow(QIODevice& in, const Layout& layout, std::int64_t y, qint64 count, QByteArray& row)
{
    row.resize(count * 4);
    return in.seek(static_cast<qint64>(layout.rowOffset(y))) && in.read(row.data(), row.size()) == row.size();
}

}  // namespace

BmpHide hideBmpAs24(QIODevice& in, const Layout& layout, std::string_view textBytes, const ByteSink& sink)
{
    BmpHide result;
    const std::int64_t width = layout.width, height = layout.height;
    const std::int64_t framed = static_cast<std::int64_t>(textBytes.size()) + stego::kMarkerLength;
    if (3 * framed > width * height) {
        result.report = {stego::HideOutcome::TooMuchText, stego::excessCharacters(framed, width, height)};
        return result;
    }
    const qint64 rowBytes = (width * 3 + 3) / 4 * 4;
    if (kHeaderSize + rowBytes * height > std::numeric_limits<qint32>::max()) {
        result.failure = fileio::refused(QStringLiteral("The picture is too large for a 24-bit BMP file"));
        return result;
    }

    // The message runs down the columns from the top-left pixel, so it lies
    // in the first `columns` columns: those are read and hidden in alone.
    const std::int64_t columns = std::min(width, (3 * framed + height - 1) / height);
    std::vector<std::uint32_t> band(static_cast<std::size_t>(columns * height));
    QByteArray row;
    for (std::int64_t y = 0; y < height; ++y) {
        if (!readRow(in, layout, y, columns, row)) {
            result.failure = fileio::unreadable(QString::fromLatin1(kTruncatedSentence));
            return result;
        }
        const auto* bytes = reinterpret_cast<const uchar*>(row.constData());
        for (std::int64_t x = 0; x < columns; ++x)
            band[static_cast<std::size_t>(y * columns + x)] = qFromLittleEndian<quint32>(bytes + 4 * x) | 0xFF000000u;
    }
    result.report = stego::hideBytes({band.data(), columns, columns, height}, textBytes);

    if (!sink(header24(width, height, rowBytes * height))) {
        result.failure = fileio::unwritable();
        return result;
    }
    QByteArray out(rowBytes, '\0');
    for (std::int64_t fileRow = 0; fileRow < height; ++fileRow) {
        const std::int64_t y = height - 1 - fileRow;
        if (!readRow(in, layout, y, width, row)) {
            result.failure = fileio::unreadable(QString::fromLatin1(kTruncatedSentence));
            return result;
        }
        const char* pixel = row.constData();
        char* target = out.data();
        for (std::int64_t x = 0; x < width; ++x, pixel += 4, target += 3) {
            if (x < columns) {
                const std::uint32_t hidden = band[static_cast<std::size_t>(y * columns + x)];
                target[0] = static_cast<char>(hidden);
                target[1] = static_cast<char>(hidden >> 8);
                target[2] = static_cast<char>(hidden >> 16);
            } else {
                std::copy(pixel, pixel + 3, target);
            }
        }
        if (!sink(out)) {
            result.failure = fileio::unwritable();
            return result;
        }
    }
    return result;
}

}  // namespace bmpfile
