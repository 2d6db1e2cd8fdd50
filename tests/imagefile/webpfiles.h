#pragma once

// WebP files made with libwebp's own encoders, and libwebp's own decoding of
// them, which the program's reader must agree with.

#include <QByteArray>
#include <QImage>
#include <QList>

#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <gtest/gtest.h>

namespace imagefiletest {

// `image` (any format; its alpha is kept) as a still WebP.
inline QByteArray webpStill(const QImage& image, bool lossless)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    const int stride = static_cast<int>(argb.bytesPerLine());
    uint8_t* out = nullptr;
    const size_t size = lossless ? WebPEncodeLosslessBGRA(argb.constBits(), argb.width(), argb.height(), stride, &out)
                                 : WebPEncodeBGRA(argb.constBits(), argb.width(), argb.height(), stride, 75, &out);
    EXPECT_GT(size, 0u);
    const QByteArray bytes(reinterpret_cast<const char*>(out), static_cast<qsizetype>(size));
    WebPFree(out);
    return bytes;
}

// The frames, all the size of the first, as an animation.
inline QByteArray webpAnimation(const QList<QImage>& frames, bool lossless = true)
{
    WebPAnimEncoderOptions options;
    WebPConfig config;
    EXPECT_TRUE(WebPAnimEncoderOptionsInit(&options) && WebPConfigInit(&config));
    config.lossless = lossless ? 1 : 0;
    WebPAnimEncoder* encoder = WebPAnimEncoderNew(frames[0].width(), frames[0].height(), &options);
    int timestamp = 0;
    for (const QImage& frame : frames) {
        const QImage argb = frame.convertToFormat(QImage::Format_ARGB32);
        WebPPicture picture;
        EXPECT_TRUE(WebPPictureInit(&picture));
        picture.use_argb = 1;
        picture.width = argb.width();
        picture.height = argb.height();
        EXPECT_TRUE(WebPPictureImportBGRA(&picture, argb.constBits(), static_cast<int>(argb.bytesPerLine()))
                    && WebPAnimEncoderAdd(encoder, &picture, timestamp, &config));
        WebPPictureFree(&picture);
        timestamp += 100;
    }
    WebPAnimEncoderAdd(encoder, nullptr, timestamp, nullptr);
    WebPData data;
    WebPDataInit(&data);
    EXPECT_TRUE(WebPAnimEncoderAssemble(encoder, &data));
    const QByteArray bytes(reinterpret_cast<const char*>(data.bytes), static_cast<qsizetype>(data.size));
    WebPDataClear(&data);
    WebPAnimEncoderDelete(encoder);
    return bytes;
}

// libwebp's own decoding (an animation's first frame as its animation
// decoder composes it), with alpha as it comes.
inline QImage libwebpPixels(const QByteArray& file)
{
    const WebPData data{reinterpret_cast<const uint8_t*>(file.constData()), static_cast<size_t>(file.size())};
    WebPAnimDecoderOptions options;
    EXPECT_TRUE(WebPAnimDecoderOptionsInit(&options));
    options.color_mode = MODE_BGRA;
    WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
    WebPAnimInfo info;
    uint8_t* pixels = nullptr;
    int timestamp = 0;
    const bool decoded = decoder && WebPAnimDecoderGetInfo(decoder, &info) && WebPAnimDecoderGetNext(decoder, &pixels, &timestamp);
    EXPECT_TRUE(decoded) << "libwebp cannot decode its own file";
    QImage image;
    if (decoded)
        image = QImage(pixels, int(info.canvas_width), int(info.canvas_height), int(info.canvas_width) * 4, QImage::Format_ARGB32).copy();
    WebPAnimDecoderDelete(decoder);
    return image;
}

}  // namespace imagefiletest
