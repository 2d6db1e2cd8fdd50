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

#include <array>
#include <functional>
#include <vector>

#include <jpeglib.h>

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
    QImage dense = photo;
    dense.setDotsPerMeterX(11811);  // 300 dpi, kept in the JFIF header
    dense.setDotsPerMeterY(5905);
    const struct { const char* why; QByteArray bytes; } rows[] = {
        {"baseline 4:2:0", encoded(photo, "jpeg")},
        {"progressive", progressiveJpeg(photo)},
        {"grey", encoded(photo.convertToFormat(QImage::Format_Grayscale8), "jpeg")},
        {"a resolution", encoded(dense, "jpeg")},
        {"Adobe CMYK", libjpegOf(45, 29)},
        {"cut inside its scan", encoded(photo, "jpeg").chopped(300)},
    };
    for (const auto& row : rows)
        EXPECT_TRUE(decodesAsQtDoes(row.bytes)) << row.why;
    for (int orientation = 1; orientation <= 8; ++orientation)
        EXPECT_TRUE(decodesAsQtDoes(withOrientation(encoded(photo, "jpeg"), orientation, orientation % 2 == 0))) << orientation;
}

enum PngColour { Grey = 0, Rgb = 2, Palette = 3, GreyAlpha = 4, Rgba = 6 };  // as IHDR numbers them

struct PngKind {
    PngColour colourType;
    int bitDepth;
    bool interlaced = false;
    bool transparentEntry = false;  // tRNS for palette or grey
};

// A PNG of the kind, its samples counting up so that every value of a
// 16-bit channel's low byte and many of its high byte appear, with a
// resolution and a palette of fewer entries than the indices reach.
QByteArray pngOf(const PngKind& kind, int width, int height)
{
    const int bitsPerPixel = kind.bitDepth * std::array{1, 0, 3, 1, 2, 0, 4}[std::size_t(kind.colourType)];
    const bool paletteBytes = kind.colourType == Palette && kind.bitDepth == 8;
    QByteArray rows;  // unfiltered, pass by pass when interlaced (Adam7: first column and row, then steps)
    const std::vector<std::array<int, 4>> passes = kind.interlaced
        ? std::vector<std::array<int, 4>>{{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4}, {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}}
        : std::vector<std::array<int, 4>>{{0, 0, 1, 1}};
    std::size_t i = 0;
    for (const auto& [x, y, dx, dy] : passes) {
        const int passWidth = (width - x + dx - 1) / dx, passHeight = (height - y + dy - 1) / dy;
        for (int row = 0; row < passHeight && passWidth > 0; ++row) {
            rows += '\0';
            for (int b = 0; b < (passWidth * bitsPerPixel + 7) / 8; ++b, ++i)  // up to two indices past the palette's end
                rows += char((i * 7 + i / 256 * 3) % (paletteBytes ? 9 : 256));
        }
    }
    QByteArray palette;
    for (int e = 0; e < (kind.bitDepth == 8 ? 7 : 3); ++e)
        palette += QByteArray(1, char(40 * e)) + char(255 - 30 * e) + char(90 + 20 * e);
    // Values the samples reach: palette alphas, a grey, a colour.
    const QByteArray transparent = kind.colourType == Palette ? QByteArray::fromHex("FF0080")
                                   : kind.colourType == Grey ? be16(kind.bitDepth == 16 ? 7 : 1)
                                                          : be16(0) + be16(7) + be16(14);
    const QByteArray chunks = (kind.colourType == Palette ? pngChunk("PLTE", palette) : QByteArray())
                              + (kind.transparentEntry ? pngChunk("tRNS", transparent) : QByteArray())
                              + pngChunk("pHYs", be32(2835) + be32(3780) + char(1));
    return pngFile(quint32(width), quint32(height), char(kind.bitDepth), char(kind.colourType), qCompress(rows).mid(4), chunks,
                   kind.interlaced);
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
        {"palette with a transparent entry", {Palette, 8, false, true}},
        {"four-bit palette", {Palette, 4}},
        {"one-bit grey", {Grey, 1}},
        {"grey with a transparent value", {Grey, 8, false, true}},
        {"16-bit grey with a transparent value", {Grey, 16, false, true}},
        {"RGB with a transparent colour", {Rgb, 8, false, true}},
        {"grey and alpha", {GreyAlpha, 8}},
        {"16-bit RGB", {Rgb, 16}},
        {"RGBA", {Rgba, 8}},
        {"16-bit RGBA", {Rgba, 16}},
        {"interlaced RGB", {Rgb, 8, true}},
        {"interlaced palette", {Palette, 2, true}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const QByteArray png = pngOf(row.kind, 256, 67);
        EXPECT_TRUE(decodesAsQtDoes(png));
        EXPECT_TRUE(firstColumnsAgree(png, row.kind.interlaced));
    }
    // Interlaced pictures too small for some of the seven passes.
    for (const QSize size : {QSize(1, 1), QSize(1, 6), QSize(6, 1), QSize(3, 3), QSize(5, 2)})
        EXPECT_TRUE(decodesAsQtDoes(pngOf({Rgb, 8, true}, size.width(), size.height())))
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
