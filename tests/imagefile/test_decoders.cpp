// The program's own JPEG, PNG and GIF decoding gives, for every valid kind
// of file, exactly the pixels and resolution Qt's readers give; a JPEG's top
// rows read alone give the whole decode's.

#include "bmpfiles.h"
#include "hostilefiles.h"
#include "imagefile/decoders.h"
#include "imagefile/imageio.h"
#include "imagefile/jpegcolumntop.h"
#include "imagefile/toprows.h"
#include "support/failures.h"

#include <QImageReader>

#include <functional>
#include <vector>

#include <jpeglib.h>
#include <png.h>

namespace {

using namespace imagefiletest;

::testing::AssertionResult decodesAsQtDoes(const QByteArray& bytes)
{
    const imagefile::LoadResult ours = imagefile::decodePicture(bytes);
    if (!ours.ok())
        return ::testing::AssertionFailure() << "refused: " << qPrintable(testsupport::reasonOf(ours.failure));
    ReadBuffer buffer(bytes);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QImage theirs = reader.read().convertToFormat(QImage::Format_RGB32);
    if (theirs.isNull())
        return ::testing::AssertionFailure() << "Qt cannot read it";
    if (ours.image.dotsPerMeterX() != theirs.dotsPerMeterX() || ours.image.dotsPerMeterY() != theirs.dotsPerMeterY())
        return ::testing::AssertionFailure() << "resolution " << ours.image.dotsPerMeterX() << " instead of " << theirs.dotsPerMeterX();
    return sameRgb(ours.image, theirs);
}

// A JPEG written by libjpeg itself, for the layouts Qt cannot write: its
// samples count up in a pattern, `tune` sets what differs from the defaults.
// By default an Adobe CMYK one (inverted, as photo editors write it).
QByteArray libjpegOf(int width, int height, J_COLOR_SPACE colours = JCS_CMYK, int components = 4,
                     const std::function<void(jpeg_compress_struct&)>& tune = [](jpeg_compress_struct&) {})
{
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = components;
    cinfo.in_color_space = colours;
    jpeg_set_defaults(&cinfo);
    tune(cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<unsigned char> row(std::size_t(width) * std::size_t(components));
    for (int y = 0; y < height; ++y) {
        for (std::size_t i = 0; i < row.size(); ++i)
            row[i] = static_cast<unsigned char>((i * 37 + std::size_t(y) * 91) % 256);
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray bytes(reinterpret_cast<const char*>(out), qsizetype(size));
    std::free(out);
    return bytes;
}

TEST(Decoders, JpegPixelsAreQtsPixels)
{
    const QImage photo = noisyImage(61, 37, 5);  // odd sizes: partial blocks at the edges
    QImage grey = photo.convertToFormat(QImage::Format_Grayscale8);
    QImage dense = photo;
    dense.setDotsPerMeterX(11811);  // 300 dpi, kept in the JFIF header
    dense.setDotsPerMeterY(5905);
    const struct { const char* why; QByteArray bytes; } rows[] = {
        {"baseline 4:2:0", encoded(photo, "jpeg")},
        {"progressive", progressiveJpeg(photo)},
        {"grey", encoded(grey, "jpeg")},
        {"a resolution", encoded(dense, "jpeg")},
        {"Adobe CMYK", libjpegOf(45, 29)},
        {"cut inside its scan", encoded(photo, "jpeg").chopped(300)},
    };
    for (const auto& row : rows)
        EXPECT_TRUE(decodesAsQtDoes(row.bytes)) << row.why;
    for (int orientation = 1; orientation <= 8; ++orientation)
        EXPECT_TRUE(decodesAsQtDoes(withOrientation(encoded(photo, "jpeg"), orientation, orientation % 2 == 0))) << orientation;
}

struct PngKind {
    int colorType;
    int bitDepth;
    bool interlaced = false;
    bool transparentEntry = false;  // tRNS for palette or grey
};

// A PNG of the kind, its samples counting up so that every value of a
// 16-bit channel's low byte and many of its high byte appear.
QByteArray pngOf(const PngKind& kind, int width, int height)
{
    QByteArray file;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    const auto append = [](png_structp p, png_bytep data, size_t n) {
        static_cast<QByteArray*>(png_get_io_ptr(p))->append(reinterpret_cast<const char*>(data), qsizetype(n));
    };
    png_set_write_fn(png, &file, append, nullptr);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), kind.bitDepth, kind.colorType,
                 kind.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette(kind.bitDepth == 8 ? 7 : 3);  // fewer entries than the indices reach
    for (std::size_t i = 0; i < palette.size(); ++i)
        palette[i] = {png_byte(40 * i), png_byte(255 - 30 * i), png_byte(90 + 20 * i)};
    if (kind.colorType == PNG_COLOR_TYPE_PALETTE)
        png_set_PLTE(png, info, palette.data(), int(palette.size()));
    png_byte alphas[] = {255, 0, 128};
    png_color_16 grey{0, 0, 7, 14, png_uint_16(kind.bitDepth == 16 ? 7 : 1)};  // values the samples below reach
    if (kind.transparentEntry)
        png_set_tRNS(png, info, alphas, 3, kind.colorType == PNG_COLOR_TYPE_PALETTE ? nullptr : &grey);
    png_set_check_for_invalid_index(png, 0);
    png_set_pHYs(png, info, 2835, 3780, PNG_RESOLUTION_METER);
    png_write_info(png, info);
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    std::vector<png_byte> rows(rowBytes * std::size_t(height));
    const bool paletteBytes = kind.colorType == PNG_COLOR_TYPE_PALETTE && kind.bitDepth == 8;
    for (std::size_t i = 0; i < rows.size(); ++i)  // up to two indices past the palette's end
        rows[i] = png_byte((i * 7 + i / 256 * 3) % (paletteBytes ? 9 : 256));
    std::vector<png_bytep> pointers(static_cast<std::size_t>(height));
    for (std::size_t y = 0; y < pointers.size(); ++y)
        pointers[y] = rows.data() + y * rowBytes;
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return file;
}

// Kept alone, the first columns are the whole picture's (an interlaced one
// is kept whole): the road that reads only a message's columns.
::testing::AssertionResult firstColumnsAgree(const QByteArray& png, bool interlaced)
{
    const QImage whole = imagefile::decodePicture(png).image;
    for (const int columns : {1, 99}) {
        ReadBuffer buffer(png);
        const imagefile::LoadResult kept = imagefile::decodePng(buffer, columns);
        if (auto same = sameRgb(kept.image, whole.copy(0, 0, interlaced ? whole.width() : columns, whole.height())); !same)
            return same << " keeping " << columns << " columns";
    }
    return ::testing::AssertionSuccess();
}

TEST(Decoders, PngPixelsAreQtsPixels)
{
    const struct { const char* why; PngKind kind; } rows[] = {
        {"palette with a transparent entry", {PNG_COLOR_TYPE_PALETTE, 8, false, true}},
        {"four-bit palette", {PNG_COLOR_TYPE_PALETTE, 4}},
        {"one-bit grey", {PNG_COLOR_TYPE_GRAY, 1}},
        {"grey with a transparent value", {PNG_COLOR_TYPE_GRAY, 8, false, true}},
        {"16-bit grey with a transparent value", {PNG_COLOR_TYPE_GRAY, 16, false, true}},
        {"RGB with a transparent colour", {PNG_COLOR_TYPE_RGB, 8, false, true}},
        {"grey and alpha", {PNG_COLOR_TYPE_GRAY_ALPHA, 8}},
        {"16-bit RGB", {PNG_COLOR_TYPE_RGB, 16}},
        {"RGBA", {PNG_COLOR_TYPE_RGB_ALPHA, 8}},
        {"16-bit RGBA", {PNG_COLOR_TYPE_RGB_ALPHA, 16}},
        {"interlaced RGB", {PNG_COLOR_TYPE_RGB, 8, true}},
        {"interlaced palette", {PNG_COLOR_TYPE_PALETTE, 2, true}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const QByteArray png = pngOf(row.kind, 256, 67);
        EXPECT_TRUE(decodesAsQtDoes(png));
        EXPECT_TRUE(firstColumnsAgree(png, row.kind.interlaced));
    }
    // Interlaced pictures too small for some of the seven passes.
    for (const QSize size : {QSize(1, 1), QSize(1, 6), QSize(6, 1), QSize(3, 3), QSize(5, 2)})
        EXPECT_TRUE(decodesAsQtDoes(pngOf({PNG_COLOR_TYPE_RGB, 8, true}, size.width(), size.height())))
            << size.width() << 'x' << size.height();
}

// The top of column 0 as `check` reads it, alone, against the whole decode.
::testing::AssertionResult columnTopIsTheWholeDecodes(const QByteArray& bytes)
{
    const imagefile::LoadResult whole = imagefile::decodePicture(bytes);
    ReadBuffer buffer(bytes);
    const auto column = imagefile::jpegColumnTop(buffer, imagefile::kStartMarkerRows);
    if (!column || !whole.ok())
        return ::testing::AssertionFailure() << "not read: " << qPrintable(testsupport::reasonOf(whole.failure));
    for (int y = 0; y < imagefile::kStartMarkerRows; ++y)
        if ((*column)[std::size_t(y)] != whole.image.pixel(0, y))
            return ::testing::AssertionFailure() << "row " << y << " differs";
    return ::testing::AssertionSuccess();
}

TEST(Decoders, AJpegsColumnTopIsTheWholeDecodes)
{
    const QImage photo = noisyImage(203, 150, 11);
    const QByteArray jpeg = encoded(photo, "jpeg", 75);
    const struct { const char* why; QByteArray bytes; } rows[] = {
        {"4:2:0, smoothed with the rows below", jpeg},
        {"grey", encoded(photo.convertToFormat(QImage::Format_Grayscale8), "jpeg", 75)},
        {"4:4:4 with a restart marker after every block", libjpegOf(203, 150, JCS_RGB, 3, [](jpeg_compress_struct& c) {
             c.comp_info[0].h_samp_factor = c.comp_info[0].v_samp_factor = 1;
             c.restart_interval = 1;
         })},
        {"Adobe CMYK", libjpegOf(100, 61)},
        {"upright by its EXIF block", withOrientation(jpeg, 1)},
        {"cut short inside the top rows: grey below, as in the whole", encoded(photo, "jpeg", 90).left(1500)},
    };
    for (const auto& row : rows)
        EXPECT_TRUE(columnTopIsTheWholeDecodes(row.bytes)) << row.why;

    // Left to the whole decoder.
    const struct { const char* why; QByteArray bytes; } whole[] = {
        {"progressive: the top rows need every scan", encoded(photo, "jpeg", 80, true)},
        {"turned by its EXIF block: the top rows lie elsewhere", withOrientation(jpeg, 6)},
        {"no taller than the rows read", encoded(noisyImage(60, 40, 1), "jpeg", 75)},
        {"a PNG, which check tries after this", encoded(photo, "png")},
    };
    for (const auto& row : whole) {
        ReadBuffer buffer(row.bytes);
        EXPECT_FALSE(imagefile::jpegColumnTop(buffer, imagefile::kStartMarkerRows)) << row.why;
    }
}

}  // namespace
