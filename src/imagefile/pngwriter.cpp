#include "pngwriter.h"

#include "pngoneshot.h"

#include "fileio/fileio.h"

#include <QIODevice>

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <new>

namespace imagefile {

namespace {

// What the callbacks below leave for the caller once libpng gives up.
struct WriteState {
    QIODevice* device = nullptr;
    char reason[256] = {};
};

void keepReason(WriteState& state, const char* reason)
{
    if (state.reason[0] == '\0')
        std::strncpy(state.reason, reason, sizeof state.reason - 1);
}

[[noreturn]] void onError(png_structp png, png_const_charp message)
{
    keepReason(*static_cast<WriteState*>(png_get_error_ptr(png)), message);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

void onWrite(png_structp png, png_bytep data, png_size_t length)
{
    auto& state = *static_cast<WriteState*>(png_get_io_ptr(png));
    if (state.device->write(reinterpret_cast<const char*>(data), static_cast<qint64>(length))
        != static_cast<qint64>(length)) {
        keepReason(state, state.device->errorString().toLocal8Bit().constData());
        png_error(png, "write failed");
    }
}

void onFlush(png_structp) {}

// Kept apart from anything with a destructor: libpng leaves through longjmp.
bool writeRows(png_structp png, png_infop info, const QImage& pixels)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    // libpng's writer keeps to a million pixels a side unless told otherwise.
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_set_IHDR(png, info, static_cast<png_uint_32>(pixels.width()), static_cast<png_uint_32>(pixels.height()), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, kPngCompressionLevel);
    // The up filter alone: on photos it was the fastest and the smallest;
    // libpng's choice per row costs a third more time for a larger file.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    // IDAT chunks of a megabyte: few large writes to an unbuffered device.
    png_set_compression_buffer_size(png, 1 << 20);
    png_write_info(png, info);
    // RGB32 rows are B, G, R, X bytes in memory on a little-endian machine
    // and X, R, G, B on a big-endian one; libpng turns them into R, G, B.
    if (QSysInfo::ByteOrder == QSysInfo::LittleEndian) {
        png_set_bgr(png);
        png_set_filler(png, 0, PNG_FILLER_AFTER);
    } else {
        png_set_filler(png, 0, PNG_FILLER_BEFORE);
    }
    for (int y = 0; y < pixels.height(); ++y)
        png_write_row(png, pixels.constScanLine(y));
    png_write_end(png, nullptr);
    return true;
}

}  // namespace

fileio::MaybeFailure writePng(const QImage& image, QIODevice& device, qint64 oneCallLimit)
{
    if (image.isNull())
        return fileio::unwritable(QStringLiteral("There is no picture to save"));
    // A picture's sides (an int) never pass PNG's own limit of 2^31-1, and
    // our reader opens every size up to it.
    QImage converted;
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32) {
        converted = image.convertToFormat(QImage::Format_RGB32);
        if (converted.isNull())
            return fileio::unwritable(QStringLiteral("There is not enough memory to convert the picture"));
    }
    const QImage& pixels = converted.isNull() ? image : converted;

    if ((1 + 3 * qint64(pixels.width())) * pixels.height() <= oneCallLimit) {
        try {
            return writePngInOneCall(pixels, device);
        } catch (const std::bad_alloc&) {
            // Nothing was written yet: the streaming road needs little memory.
        }
    }

    WriteState state;
    state.device = &device;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, onError, onWarning);
    if (!png)
        return fileio::unwritable(QStringLiteral("There is not enough memory to write a PNG file"));
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return fileio::unwritable(QStringLiteral("There is not enough memory to write a PNG file"));
    }
    png_set_write_fn(png, &state, onWrite, onFlush);
    const bool written = writeRows(png, info, pixels);
    png_destroy_write_struct(&png, &info);
    if (!written)
        return fileio::unwritable(QString::fromLocal8Bit(state.reason));
    return std::nullopt;
}

fileio::MaybeFailure savePng(const QImage& image, const QString& path)
{
    return fileio::writeFileAtomically(path, [&](QIODevice& device) { return writePng(image, device); });
}

}  // namespace imagefile
