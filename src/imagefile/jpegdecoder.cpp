// The full JPEG decoder: the picture filled through JpegReader, which holds
// the limits inside libjpeg, then turned upright as its EXIF block says.

#include "imagefile/decoders.h"
#include "imagefile/headercheck.h"
#include "imagefile/jpegreader.h"

#include <QBuffer>
#include <QImage>
#include <QTransform>

namespace imagefile {

namespace {

// Files up to this size are read whole and given the marker pre-check,
// which refuses a scan bomb at once; larger ones are read piece by piece, so
// a file padded with metadata costs its reading and no memory.
constexpr qint64 kQuickLookBytes = qint64(64) << 20;

// Upright as the camera meant it.  Mirroring happens in place; a quarter
// turn needs a second picture for a moment.
QImage oriented(QImage image, int orientation)
{
    const bool mirror = orientation == 2 || orientation == 3 || orientation == 7;
    const bool flip = orientation == 3 || orientation == 4 || orientation == 5;
    if (mirror || flip)
        image = std::move(image).mirrored(mirror, flip);
    if (orientation >= 5)
        image = image.transformed(QTransform().rotate(orientation == 8 ? 270 : 90));
    return image;
}

}  // namespace

LoadResult decodeJpeg(QIODevice& in, std::int64_t heldBytes, bool quickLook)
{
    // Bytes in memory, and a file small enough to hold, get the quick look
    // at their markers, which refuses most bombs before libjpeg starts.
    QBuffer whole;
    QIODevice* source = &in;
    const QByteArray* bytes = nullptr;
    if (const auto* buffer = qobject_cast<const QBuffer*>(&in)) {
        bytes = &buffer->data();
    } else if (!in.isSequential() && in.size() - in.pos() <= kQuickLookBytes) {
        whole.setData(in.readAll());
        whole.open(QIODevice::ReadOnly);
        source = &whole;
        bytes = &whole.data();
    }
    if (quickLook && bytes != nullptr) {
        const std::span<const std::uint8_t> data(reinterpret_cast<const std::uint8_t*>(bytes->constData()),
                                                 static_cast<std::size_t>(bytes->size()));
        if (fileio::MaybeFailure refusal = jpegRefusalBeside(headercheck::jpegFacts(data), heldBytes))
            return {QImage(), std::move(refusal)};
    }

    JpegReader reader(*source);
    if (fileio::MaybeFailure refusal = reader.start(heldBytes))
        return {QImage(), std::move(refusal)};
    QImage image(static_cast<int>(reader.width()), static_cast<int>(reader.height()), QImage::Format_RGB32);
    if (image.isNull())
        return {QImage(), notEnoughMemory()};
    if (fileio::MaybeFailure failure = reader.readRows(image.bits(), image.bytesPerLine(), reader.height()))
        return {QImage(), std::move(failure)};
    // The resolution, as Qt's reader sets it, so a saved BMP says the same
    // (QImage keeps its own where the file states none, given as 0).
    image.setDotsPerMeterX(reader.dotsPerMeterX());
    image.setDotsPerMeterY(reader.dotsPerMeterY());
    const int orientation = reader.orientation();
    if (orientation != 1) {
        image = oriented(std::move(image), orientation);
        if (image.isNull())
            return {QImage(), notEnoughMemory()};
    }
    return {std::move(image), std::nullopt};
}

}  // namespace imagefile
