#pragma once

// A PNG file as libpng's simplified reader sees it: a second opinion on the
// files Qt reads back, since Qt's reader might forgive what others refuse.

#include <QImage>

#include <png.h>

#include <cstring>

namespace picturetest {

// The pixels as Format_RGB32, null when libpng refuses the file; `format`
// receives the colour type libpng found.
inline QImage throughLibpng(const QByteArray& png, png_uint_32* format = nullptr)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.constData(), static_cast<size_t>(png.size())))
        return {};
    if (format)
        *format = image.format;
    image.format = PNG_FORMAT_BGRA;
    QImage out(static_cast<int>(image.width), static_cast<int>(image.height), QImage::Format_RGB32);
    if (!png_image_finish_read(&image, nullptr, out.bits(), static_cast<png_int_32>(out.bytesPerLine()), nullptr))
        return {};
    return out;
}

}  // namespace picturetest
