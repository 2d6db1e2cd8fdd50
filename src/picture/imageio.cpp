#include "imageio.h"

#include <QFile>
#include <QImageReader>
#include <QSaveFile>
#include <QtEndian>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace picture {

namespace {

LoadResult failure(const QString& reason)
{
    return {QImage(), reason};
}

// The formats the program promises.  Qt's other plugins (TIFF, WebP, icons,
// text formats such as XPM) stay out: a file that one of them happens to
// claim would otherwise open as a picture nobody asked for.
bool isAcceptedFormat(const QByteArray& format)
{
    return format == "bmp" || format == "jpeg" || format == "gif" || format == "png";
}

// Qt's BMP reader stops quietly at the end of a short file and hands back a
// picture whose missing rows are whatever the allocation held.  For the
// uncompressed kinds the header tells how long the file must be, so a
// truncated one is refused instead of opened with invented pixels.
QString bmpTruncationError(QFile& file)
{
    const QByteArray head = file.peek(34);
    if (head.size() < 26)
        return QString();  // too short to describe itself; the reader refuses it
    const auto u16 = [&](int at) { return qFromLittleEndian<quint16>(head.constData() + at); };
    const auto u32 = [&](int at) { return qFromLittleEndian<quint32>(head.constData() + at); };
    const std::int64_t pixelOffset = u32(10);
    const quint32 headerSize = u32(14);
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::int64_t bitsPerPixel = 0;
    if (headerSize == 12) {  // the old OS/2 header: 16-bit sizes, never compressed
        width = u16(18);
        height = u16(20);
        bitsPerPixel = u16(24);
    } else if (headerSize >= 40 && head.size() >= 34) {
        const quint32 compression = u32(30);
        constexpr quint32 kRgb = 0;
        constexpr quint32 kBitFields = 3;
        if (compression != kRgb && compression != kBitFields)
            return QString();  // run-length data has no fixed length
        width = qFromLittleEndian<qint32>(head.constData() + 18);
        height = std::abs(static_cast<std::int64_t>(qFromLittleEndian<qint32>(head.constData() + 22)));
        bitsPerPixel = u16(28);
    } else {
        return QString();
    }
    if (width <= 0 || height <= 0 || bitsPerPixel <= 0 || bitsPerPixel > 64)
        return QString();  // nonsense sizes are the reader's to refuse
    const std::int64_t rowBytes = (width * bitsPerPixel + 31) / 32 * 4;  // below 2^38
    // A forged header can claim more than any file holds; the product would
    // overflow before the comparison could say so.
    if (height > (std::numeric_limits<std::int64_t>::max() - pixelOffset) / rowBytes)
        return QStringLiteral("The file ends before the picture's last pixel");
    if (file.size() < pixelOffset + rowBytes * height)
        return QStringLiteral("The file ends before the picture's last pixel");
    return QString();
}

// The size the file's own header declares, read without decoding.  Qt
// reports a GIF's first frame, not the logical screen it allocates, so a
// few-byte GIF can ask for gigabytes behind a 1 x 1 frame; and it turns away
// a BMP of more than 16384 x 16384 before saying how large it is.  Invalid
// when the header does not say or the reader's own size is to be trusted.
QSize declaredSize(QFile& file, const QByteArray& format)
{
    const QByteArray head = file.peek(26);
    if (format == "gif" && head.size() >= 10)
        return {qFromLittleEndian<quint16>(head.constData() + 6), qFromLittleEndian<quint16>(head.constData() + 8)};
    if (format == "bmp" && head.size() >= 26 && qFromLittleEndian<quint32>(head.constData() + 14) >= 40) {
        const qint32 height = qFromLittleEndian<qint32>(head.constData() + 22);
        if (height != std::numeric_limits<qint32>::min())
            return {qFromLittleEndian<qint32>(head.constData() + 18), std::abs(height)};
    }
    return {};
}

void forceOpaque(QImage& image)
{
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            row[x] |= 0xFF000000u;
    }
}

QString tooLargeError(const QSize& size)
{
    if (!size.isValid())
        return QString();
    // Width and height are each below 2^31, so their product fits; four bytes
    // a pixel might not, so the limit is compared in pixels.
    const qint64 pixels = qint64(size.width()) * size.height();
    constexpr qint64 kPixelsPerMB = (qint64(1) << 20) / 4;
    if (pixels <= qint64(kAllocationLimitMB) * kPixelsPerMB)
        return QString();
    const qint64 megabytes = (pixels + kPixelsPerMB - 1) / kPixelsPerMB;
    return QStringLiteral("The picture is too large: %1 x %2 pixels need %3 MB, more than the %4 MB allowed")
        .arg(size.width())
        .arg(size.height())
        .arg(megabytes)
        .arg(kAllocationLimitMB);
}

// The file header and the 40-byte information header of an uncompressed
// 24-bit BMP, field for field as Qt's own writer fills them.
constexpr qint64 kBmpHeaderSize = 14 + 40;
constexpr qint64 kWriteBlockBytes = qint64(4) << 20;

void writeBmpHeader(const QImage& image, qint64 pixelBytes, uchar* out)
{
    out[0] = 'B';
    out[1] = 'M';
    qToLittleEndian<quint32>(static_cast<quint32>(kBmpHeaderSize + pixelBytes), out + 2);
    qToLittleEndian<quint32>(0, out + 6);  // two reserved words
    qToLittleEndian<quint32>(static_cast<quint32>(kBmpHeaderSize), out + 10);
    qToLittleEndian<quint32>(40, out + 14);
    qToLittleEndian<qint32>(image.width(), out + 18);
    qToLittleEndian<qint32>(image.height(), out + 22);  // positive: bottom row first
    qToLittleEndian<quint16>(1, out + 26);              // planes
    qToLittleEndian<quint16>(24, out + 28);
    qToLittleEndian<quint32>(0, out + 30);  // no compression
    qToLittleEndian<quint32>(static_cast<quint32>(pixelBytes), out + 34);
    qToLittleEndian<qint32>(image.dotsPerMeterX(), out + 38);
    qToLittleEndian<qint32>(image.dotsPerMeterY(), out + 42);
    qToLittleEndian<quint32>(0, out + 46);  // no palette
    qToLittleEndian<quint32>(0, out + 50);
}

// One row of 0xAARRGGBB pixels as blue, green, red bytes.  Four pixels make
// three whole words, so the usual case runs on word stores, not byte ones.
void packBgrRow(const quint32* in, int width, uchar* out)
{
    int x = 0;
    for (; x + 4 <= width; x += 4, in += 4, out += 12) {
        qToLittleEndian<quint32>((in[0] & 0xFFFFFFu) | (in[1] << 24), out);
        qToLittleEndian<quint32>(((in[1] >> 8) & 0xFFFFu) | (in[2] << 16), out + 4);
        qToLittleEndian<quint32>(((in[2] >> 16) & 0xFFu) | (in[3] << 8), out + 8);
    }
    for (; x < width; ++x, ++in, out += 3) {
        out[0] = static_cast<uchar>(*in);
        out[1] = static_cast<uchar>(*in >> 8);
        out[2] = static_cast<uchar>(*in >> 16);
    }
}

}  // namespace

LoadResult loadPicture(const QString& path)
{
    QImageReader::setAllocationLimit(kAllocationLimitMB);

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failure(file.errorString());

    // The content decides, so a JPEG saved under a .bmp name still opens.
    const QByteArray format = QImageReader::imageFormat(&file);
    if (!isAcceptedFormat(format))
        return failure(QStringLiteral("The file is not a BMP, JPEG, GIF or PNG picture"));
    // Qt refuses an oversized picture with a bare "Unable to read image
    // data"; say what is wrong while the header alone is read.
    const QString declaredTooLarge = tooLargeError(declaredSize(file, format));
    if (!declaredTooLarge.isEmpty())
        return failure(declaredTooLarge);
    if (format == "bmp") {
        const QString truncated = bmpTruncationError(file);
        if (!truncated.isEmpty())
            return failure(truncated);
    }

    QImage image;
    {
        file.seek(0);
        QImageReader reader(&file, format);
        // Upright as the camera meant it.  A turned photo is briefly held twice
        // while Qt turns it; an upright one (the usual case) never is.
        reader.setAutoTransform(true);

        const QString tooLarge = tooLargeError(reader.size());
        if (!tooLarge.isEmpty())
            return failure(tooLarge);

        // An animated GIF gives its first frame: the first read is that frame.
        if (!reader.read(&image))
            return failure(reader.errorString());
        // The reader goes here: a GIF reader keeps a share of the frame it
        // handed out, and a shared picture is converted by copying it whole.
    }

    // In place where the depth allows (ARGB32 from a GIF or PNG with
    // transparency), so a big picture is not held twice.  A transparent pixel
    // keeps the colour stored with it (Qt's GIF reader gives a transparent
    // palette entry its RGB with alpha 0), and alpha is simply dropped.
    if (image.format() != QImage::Format_RGB32) {
        image.convertTo(QImage::Format_RGB32);
        if (image.format() != QImage::Format_RGB32 || image.isNull())
            return failure(QStringLiteral("There is not enough memory to hold the picture"));
    }
    // Some readers hand out RGB32 whose top byte is not 0xFF (a GIF frame
    // with no pixel data, a BMP whose pixel offset points at its header), and
    // Qt draws RGB32 on the assumption that it is.  The JPEG reader never does.
    if (format != "jpeg")
        forceOpaque(image);
    return {std::move(image), QString()};
}

QString saveBmp(const QImage& image, const QString& path)
{
    if (image.isNull())
        return QStringLiteral("There is no picture to save");

    // Every other format is written as its RGB32 colours, as Qt's own BMP
    // writer would after the same conversion.
    QImage converted;
    if (image.format() != QImage::Format_RGB32) {
        converted = image.convertToFormat(QImage::Format_RGB32);
        if (converted.isNull())
            return QStringLiteral("There is not enough memory to convert the picture");
    }
    const QImage& pixels = converted.isNull() ? image : converted;

    const qint64 rowBytes = (qint64(pixels.width()) * 3 + 3) / 4 * 4;
    const qint64 pixelBytes = rowBytes * pixels.height();
    if (kBmpHeaderSize + pixelBytes > std::numeric_limits<qint32>::max())
        return QStringLiteral("The picture is too large for a BMP file");

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    // Rows go out in blocks of a few megabytes: row by row, a photo costs
    // thousands of small writes.
    const qint64 rowsPerBlock = std::clamp<qint64>(kWriteBlockBytes / rowBytes, 1, pixels.height());
    QByteArray block(kBmpHeaderSize, Qt::Uninitialized);
    writeBmpHeader(pixels, pixelBytes, reinterpret_cast<uchar*>(block.data()));
    bool written = file.write(block) == block.size();
    block = QByteArray(rowsPerBlock * rowBytes, '\0');  // the padding bytes stay zero
    for (qint64 y = pixels.height() - 1; written && y >= 0;) {  // a BMP starts with the bottom row
        uchar* out = reinterpret_cast<uchar*>(block.data());
        qint64 rows = 0;
        for (; rows < rowsPerBlock && y >= 0; ++rows, --y, out += rowBytes)
            packBgrRow(reinterpret_cast<const quint32*>(pixels.constScanLine(static_cast<int>(y))), pixels.width(), out);
        written = file.write(block.constData(), rows * rowBytes) == rows * rowBytes;
    }
    if (!written) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return reason;
    }
    // commit() reports a failed write (a full disk) and the failed rename;
    // either way the temporary file is removed and the target left alone.
    if (!file.commit())
        return file.errorString();
    return QString();
}

stego::PixelSurface surfaceOf(QImage& image)
{
    if (image.isNull())
        return {};
    return {reinterpret_cast<std::uint32_t*>(image.bits()), image.bytesPerLine() / 4, image.width(),
            image.height()};
}

stego::ConstPixelSurface surfaceOf(const QImage& image)
{
    if (image.isNull())
        return {};
    return {reinterpret_cast<const std::uint32_t*>(image.constBits()), image.bytesPerLine() / 4,
            image.width(), image.height()};
}

}  // namespace picture
