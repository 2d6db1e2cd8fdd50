#include "imagefile/webpdecoder.h"

#include "imagefile/decoders.h"

#include <QImage>
#include <QtGlobal>

#include <webp/decode.h>
#include <webp/demux.h>

#include <cstdint>
#include <memory>

namespace imagefile {

namespace {

// Format_RGB32 is a native-endian 0xAARRGGBB word.
constexpr WEBP_CSP_MODE kWorkingMode = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? MODE_BGRA : MODE_ARGB;

LoadResult failure(fileio::Failure failure)
{
    return {QImage(), std::move(failure)};
}

fileio::Failure statusError(VP8StatusCode status)
{
    switch (status) {
    case VP8_STATUS_OUT_OF_MEMORY:
        return notEnoughMemory();
    case VP8_STATUS_UNSUPPORTED_FEATURE:
        return fileio::refused(QStringLiteral("The WebP picture uses a feature that cannot be read"));
    default:
        return fileio::unreadable(QStringLiteral("The WebP picture's data is damaged or cut short"));
    }
}

// Decodes one still bitstream (a whole file, or an animation's frame) of
// width x height into the rectangle of `image` whose top-left is (x, y).
// libwebp checks the bitstream's own size against the room it is given.
VP8StatusCode decodeInto(const std::uint8_t* data, std::size_t size, QImage& image, int x, int y, int width, int height)
{
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        return VP8_STATUS_INVALID_PARAM;
    // A Format_RGB32 row is a whole number of words and never longer than 2^31 bytes.
    const auto stride = static_cast<int>(image.bytesPerLine());
    const auto row = static_cast<std::size_t>(stride);
    config.output.colorspace = kWorkingMode;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = image.bits() + static_cast<std::size_t>(y) * row + static_cast<std::size_t>(x) * 4;
    config.output.u.RGBA.stride = stride;
    config.output.u.RGBA.size = row * static_cast<std::size_t>(height - 1) + static_cast<std::size_t>(width) * 4;
    const VP8StatusCode status = WebPDecode(data, size, &config);
    WebPFreeDecBuffer(&config.output);  // frees nothing of ours, only what libwebp kept beside it
    return status;
}

// Every time, not only when a header flags alpha: the flags are hints, and a
// lossless bitstream under a header that says "no alpha" may still carry it.
void forceOpaque(QImage& image)
{
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            row[x] |= 0xFF000000u;
    }
}

// libwebp's buffers beside ours for `bitstream`: a lossless one is decoded
// whole into its own picture (its references reach back anywhere), plus a
// few rows; a lossy one needs rows only, and its alpha plane whole.
std::int64_t libraryBytes(const WebPBitstreamFeatures& bitstream)
{
    const std::int64_t width = bitstream.width;
    const std::int64_t pixels = width * bitstream.height;
    if (bitstream.format == 2)
        return 4 * (pixels + 17 * width);
    return bitstream.has_alpha ? pixels : 0;
}

// An empty picture of width x height for `bitstream` to be decoded into, or
// one sentence why there is none.
LoadResult allocate(int width, int height, const WebPBitstreamFeatures& bitstream, std::int64_t heldBytes)
{
    if (fileio::MaybeFailure tooLarge = tooLargeError(width, height))
        return failure(std::move(*tooLarge));
    const std::int64_t need = 4 * std::int64_t(width) * height + libraryBytes(bitstream);
    if (heldBytes + need > kDecodeBudgetBytes) {
        constexpr std::int64_t kMB = std::int64_t(1) << 20;
        return failure(fileio::refused(QStringLiteral("The WebP picture would need %1 MB to decode, more than the %2 MB allowed%3")
                                           .arg((need + kMB - 1) / kMB)
                                           .arg((kDecodeBudgetBytes - heldBytes) / kMB)
                                           .arg(heldBytes > 0 ? QStringLiteral(" beside the picture already open") : QString())));
    }
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull())
        return failure(notEnoughMemory());
    return {std::move(image), std::nullopt};
}

// The first frame, on a canvas that starts transparent (black once alpha is
// dropped) as a player shows it; frames after it are never looked at.
LoadResult firstFrame(const std::uint8_t* data, std::size_t size, int canvasWidth, int canvasHeight, std::int64_t heldBytes)
{
    const WebPData whole{data, size};
    const std::unique_ptr<WebPDemuxer, decltype(&WebPDemuxDelete)> demux(WebPDemux(&whole), WebPDemuxDelete);
    WebPIterator frame;
    if (!demux || !WebPDemuxGetFrame(demux.get(), 1, &frame))
        return failure(statusError(VP8_STATUS_BITSTREAM_ERROR));
    const std::unique_ptr<WebPIterator, decltype(&WebPDemuxReleaseIterator)> release(&frame, WebPDemuxReleaseIterator);

    // The frame's own bitstream must be the size its frame header declares,
    // and the frame must lie on the canvas.
    WebPBitstreamFeatures bitstream;
    if (WebPGetFeatures(frame.fragment.bytes, frame.fragment.size, &bitstream) != VP8_STATUS_OK
        || bitstream.width != frame.width || bitstream.height != frame.height || frame.x_offset < 0
        || frame.y_offset < 0 || frame.x_offset + frame.width > canvasWidth || frame.y_offset + frame.height > canvasHeight)
        return failure(statusError(VP8_STATUS_BITSTREAM_ERROR));

    LoadResult canvas = allocate(canvasWidth, canvasHeight, bitstream, heldBytes);
    if (!canvas.ok())
        return canvas;
    canvas.image.fill(0xFF000000u);
    const VP8StatusCode status = decodeInto(frame.fragment.bytes, frame.fragment.size, canvas.image, frame.x_offset,
                                            frame.y_offset, frame.width, frame.height);
    if (status != VP8_STATUS_OK)
        return failure(statusError(status));
    forceOpaque(canvas.image);
    return canvas;
}

}  // namespace

bool isWebp(const QByteArray& bytes)
{
    return bytes.size() >= 12 && bytes.startsWith("RIFF") && bytes.mid(8, 4) == "WEBP";
}

LoadResult decodeWebp(const QByteArray& bytes, std::int64_t heldBytes)
{
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    const auto size = static_cast<std::size_t>(bytes.size());
    WebPBitstreamFeatures features;
    if (const VP8StatusCode status = WebPGetFeatures(data, size, &features); status != VP8_STATUS_OK)
        return failure(statusError(status));
    if (features.has_animation)
        return firstFrame(data, size, features.width, features.height, heldBytes);

    LoadResult decoded = allocate(features.width, features.height, features, heldBytes);
    if (!decoded.ok())
        return decoded;
    const VP8StatusCode status = decodeInto(data, size, decoded.image, 0, 0, features.width, features.height);
    if (status != VP8_STATUS_OK)
        return failure(statusError(status));
    forceOpaque(decoded.image);
    return decoded;
}

}  // namespace imagefile
