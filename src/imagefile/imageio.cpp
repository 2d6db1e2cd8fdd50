#include "imageio.h"

#include "imagefile/bmpreader.h"
#include "imagefile/decoders.h"
#include "imagefile/librarymessages.h"
#include "imagefile/webpdecoder.h"

#include "fileio/fileio.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QtEndian>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>
#include <span>

namespace imagefile {

namespace {

LoadResult failure(fileio::Failure failure)
{
    return {QImage(), std::move(failure)};
}

QString fileTooLargeError()
{
    return QStringLiteral("The file is larger than the %1 MB a picture may take").arg(kMaxPictureFileBytes >> 20);
}

// Qt's readers explain little ("Unable to read image data"); the format is
// at least known here, and the user can act on "damaged or cut short".
fileio::Failure readerError(const QByteArray& format, const QImageReader& reader)
{
    if (reader.error() == QImageReader::InvalidDataError || reader.error() == QImageReader::UnknownError)
        return damaged(format.constData());
    return fileio::unreadable(reader.errorString());
}

void forceOpaque(QImage& image)
{
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            row[x] |= 0xFF000000u;
    }
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

LoadResult decodeFormat(QIODevice& in, qint64 heldBytes);

LoadResult readAndDecode(const QString& path, FileKinds kinds, qint64 heldBytes)
{
    QFile file;
    if (kinds == FileKinds::RegularOnly) {
        if (const fileio::MaybeFailure failed = fileio::openRegularFile(file, path))
            return failure(*failed);
        if (file.size() > kMaxPictureFileBytes)
            return failure(fileio::refused(fileTooLargeError()));
    } else {
        file.setFileName(path);
        if (!file.open(QIODevice::ReadOnly))
            return failure(fileio::unreadable(file.errorString()));
    }
    QByteArray bytes = file.read(bmpfile::kHeadBytes);
    // The common uncompressed BMP is converted block by block as it is read,
    // never held whole: it opens at the speed of reading the file.
    if (kinds == FileKinds::RegularOnly && bytes.startsWith("BM")) {
        const bmpfile::Parsed parsed = bmpfile::parse({reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                               static_cast<std::size_t>(bytes.size())});
        if (parsed.ok() && parsed.layout.direct) {
            if (fileio::MaybeFailure tooLarge = tooLargeError(parsed.layout.width, parsed.layout.height))
                return failure(std::move(*tooLarge));
            BmpDecode decoded = readDirectBmp(file, bytes, parsed.layout);
            return {std::move(decoded.image), std::move(decoded.failure)};
        }
    }
    // Every other file is read by its decoder as far as the picture needs,
    // a piece at a time: metadata and data past the last row cost no memory.
    if (kinds == FileKinds::RegularOnly && file.seek(0))
        return decodeFormat(file, heldBytes);
    // A pipe has no size to check first: read up to one byte past the limit,
    // in pieces, so a short stream does not reserve the limit's memory.
    constexpr qint64 kPiece = qint64(1) << 20;
    while (bytes.size() <= kMaxPictureFileBytes) {
        const qsizetype before = bytes.size();
        bytes.resize(before + std::min(kPiece, kMaxPictureFileBytes + 1 - before));
        const qint64 got = file.read(bytes.data() + before, bytes.size() - before);
        if (got < 0)
            return failure(fileio::unreadable(file.errorString()));
        bytes.resize(before + got);
        if (got == 0)
            break;
    }
    if (bytes.size() > kMaxPictureFileBytes)
        return failure(fileio::refused(fileTooLargeError()));
    return decodePicture(bytes, heldBytes);
}

}  // namespace

LoadResult loadPicture(const QString& path, FileKinds kinds, qint64 heldBytes)
{
    try {
        return readAndDecode(path, kinds, heldBytes);
    } catch (const std::bad_alloc&) {
        return failure(notEnoughMemory());
    }
}

namespace {

// BMP: the program's own reader, Qt's for the kinds it leaves.
LoadResult decodeBmpBytes(const QByteArray& bytes)
{
    const std::span<const std::uint8_t> data(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                             static_cast<std::size_t>(bytes.size()));
    const bmpfile::Parsed parsed = bmpfile::parse(data.first(std::min(data.size(), bmpfile::kHeadBytes)));
    if (!parsed.ok())
        return failure(*parsed.failure);
    if (fileio::MaybeFailure tooLarge = tooLargeError(parsed.layout.width, parsed.layout.height))
        return failure(std::move(*tooLarge));
    BmpDecode decoded = decodeBmp(QByteArrayView(bytes), parsed.layout);
    if (decoded.handled)
        return {std::move(decoded.image), std::move(decoded.failure)};
    // Qt's reader stops quietly at the end of a short file and hands back
    // rows of whatever the allocation held.
    if (const fileio::MaybeFailure cut = bmpfile::truncationError(parsed.layout, data.size()))
        return failure(*cut);
    return readWithQt(bytes, "bmp");
}

LoadResult decodeFormat(QIODevice& in, qint64 heldBytes)
{
    const LibraryOutputMuffle muffle;
    // The content decides, so a JPEG saved under a .bmp name still opens.
    const qint64 start = in.pos();
    // libwebp decodes from memory only, so a WebP is held whole.
    if (isWebp(in.peek(12)))
        return decodeWebp(in.readAll(), heldBytes);
    const QByteArray format = QImageReader::imageFormat(&in);
    in.seek(start);
    if (format == "jpeg")
        return decodeJpeg(in, heldBytes);
    if (format == "png")
        return decodePng(in);
    if (format == "gif")
        return decodeGif(in);
    if (format == "bmp")
        return decodeBmpBytes(in.readAll());
    // Qt's other plugins (TIFF, icons, text formats such as XPM) stay out: a
    // file that one of them happens to claim would otherwise open as a
    // picture nobody asked for.
    return failure(in.size() == 0 ? fileio::unreadable(QStringLiteral("The file is empty"))
                                  : fileio::refused(QStringLiteral("The file is not a BMP, JPEG, GIF, PNG or WebP picture")));
}

}  // namespace

LoadResult readWithQt(const QByteArray& bytes, const char* format)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImage image;
    {
        QImageReader reader(&buffer, format);
        QImageReader::setAllocationLimit(kAllocationLimitMB);
        // An animated GIF gives its first frame: the first read is that frame.
        if (!reader.read(&image))
            return failure(readerError(format, reader));
        // The reader goes here: a GIF reader keeps a share of the frame it
        // handed out, and a shared picture is converted by copying it whole.
    }

    // In place where the depth allows (ARGB32 from a GIF with transparency),
    // so a big picture is not held twice.  A transparent pixel keeps the
    // colour stored with it (Qt's GIF reader gives a transparent palette
    // entry its RGB with alpha 0), and alpha is simply dropped.
    if (image.format() != QImage::Format_RGB32) {
        image.convertTo(QImage::Format_RGB32);
        if (image.format() != QImage::Format_RGB32 || image.isNull())
            return failure(notEnoughMemory());
    }
    // Some readers hand out RGB32 whose top byte is not 0xFF (a GIF frame
    // with no pixel data), and Qt draws RGB32 on the assumption that it is.
    forceOpaque(image);
    return {std::move(image), std::nullopt};
}

LoadResult decodePicture(const QByteArray& bytes, qint64 heldBytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    // Every decoder checks the sizes it is told before allocating, but a
    // picture within them can still meet a machine without the memory.
    try {
        return decodeFormat(buffer, heldBytes);
    } catch (const std::bad_alloc&) {
        return failure(notEnoughMemory());
    }
}

fileio::MaybeFailure writeBmp(const QImage& image, QIODevice& device)
{
    if (image.isNull())
        return fileio::unwritable(QStringLiteral("There is no picture to save"));

    // Every other format is written as its RGB32 colours, as Qt's own BMP
    // writer would after the same conversion.
    QImage converted;
    if (image.format() != QImage::Format_RGB32) {
        converted = image.convertToFormat(QImage::Format_RGB32);
        if (converted.isNull())
            return fileio::unwritable(QStringLiteral("There is not enough memory to convert the picture"));
    }
    const QImage& pixels = converted.isNull() ? image : converted;

    const qint64 rowBytes = (qint64(pixels.width()) * 3 + 3) / 4 * 4;
    const qint64 pixelBytes = rowBytes * pixels.height();
    if (kBmpHeaderSize + pixelBytes > std::numeric_limits<qint32>::max())
        return fileio::unwritable(QStringLiteral("The picture is too large for a BMP file"));

    // Rows go out in blocks of a few megabytes: row by row, a photo costs
    // thousands of small writes.
    const qint64 rowsPerBlock = std::clamp<qint64>(kWriteBlockBytes / rowBytes, 1, pixels.height());
    QByteArray block(kBmpHeaderSize, Qt::Uninitialized);
    writeBmpHeader(pixels, pixelBytes, reinterpret_cast<uchar*>(block.data()));
    bool written = device.write(block) == block.size();
    block = QByteArray(rowsPerBlock * rowBytes, '\0');  // the padding bytes stay zero
    for (qint64 y = pixels.height() - 1; written && y >= 0;) {  // a BMP starts with the bottom row
        uchar* out = reinterpret_cast<uchar*>(block.data());
        qint64 rows = 0;
        for (; rows < rowsPerBlock && y >= 0; ++rows, --y, out += rowBytes)
            packBgrRow(reinterpret_cast<const quint32*>(pixels.constScanLine(static_cast<int>(y))), pixels.width(), out);
        written = device.write(block.constData(), rows * rowBytes) == rows * rowBytes;
    }
    return written ? fileio::MaybeFailure() : fileio::unwritable(device.errorString());
}

fileio::MaybeFailure saveBmp(const QImage& image, const QString& path)
{
    return fileio::writeFileAtomically(path, [&](QIODevice& device) { return writeBmp(image, device); });
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

}  // namespace imagefile
