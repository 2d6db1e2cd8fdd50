// PNG through libpng directly, so its limits apply and nothing is read that
// the picture does not need: no text or profile chunks are kept, and reading
// stops once the last row is complete, so compressed data past it is never
// inflated.  Every kind (palette, grey, 16 bits, alpha, interlaced) is turned
// into the working format's bytes by libpng as the rows are read, straight
// into the picture.

#include "picture/decoders.h"
#include "picture/headercheck.h"

#include <QImage>

#include <algorithm>
#include <csetjmp>
#include <cstring>

#include <png.h>

namespace picture {

namespace {

// Chunks libpng would otherwise read whole into memory: texts (zTXt and iTXt
// are inflated too), colour profiles, suggested palettes, EXIF.  Nothing
// here needs them.
constexpr png_byte kSkippedChunks[] = "tEXt\0zTXt\0iTXt\0iCCP\0sPLT\0eXIf";
// The ancillary chunks that remain are a few bytes each; a larger one is
// damage, not data.
constexpr png_alloc_size_t kMaxChunkBytes = 8000000;
constexpr png_uint_32 kMaxStoredChunks = 100;

struct Source {
    const png_byte* data;
    std::size_t size;
    std::size_t at = 0;
};

void readBytes(png_structp png, png_bytep out, std::size_t count)
{
    auto* source = static_cast<Source*>(png_get_io_ptr(png));
    if (count > source->size - source->at)
        png_error(png, "cut short");
    std::memcpy(out, source->data + source->at, count);
    source->at += count;
}

[[noreturn]] void jumpOut(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void dropWarning(png_structp, png_const_charp) {}

struct Png {
    png_structp png = nullptr;
    png_infop info = nullptr;
    int passes = 1;
    bool transparentGrey = false;
    Png() = default;
    Png(const Png&) = delete;
    Png& operator=(const Png&) = delete;
    ~Png() { png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr); }
};

// The chunks before the pixel data, and the transformations to the working
// format; false when libpng gave up.
bool readInfo(Png& p, Source& source)
{
    if (setjmp(png_jmpbuf(p.png)) != 0)
        return false;
    png_set_read_fn(p.png, &source, readBytes);
    // The picture ceiling is the program's own, checked next; libpng's
    // default million-pixel side would refuse a valid 1,000,001 x 2 picture.
    png_set_user_limits(p.png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_set_chunk_malloc_max(p.png, kMaxChunkBytes);
    png_set_chunk_cache_max(p.png, kMaxStoredChunks);
    png_set_keep_unknown_chunks(p.png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
    png_set_keep_unknown_chunks(p.png, PNG_HANDLE_CHUNK_NEVER, kSkippedChunks, int(sizeof kSkippedChunks / 5));
    png_set_benign_errors(p.png, 1);
    png_read_info(p.png, p.info);

    const png_byte colorType = png_get_color_type(p.png, p.info);
    const png_byte bitDepth = png_get_bit_depth(p.png, p.info);
    png_colorp palette = nullptr;
    int entries = 0;
    if (colorType == PNG_COLOR_TYPE_PALETTE && png_get_PLTE(p.png, p.info, &palette, &entries) != 0
        && entries > 0 && entries < 1 << bitDepth) {
        // An index past the palette's end takes the first entry's colour.
        png_color padded[PNG_MAX_PALETTE_LENGTH];
        std::fill(std::copy(palette, palette + entries, padded), padded + (1 << bitDepth), palette[0]);
        png_set_PLTE(p.png, p.info, padded, 1 << bitDepth);
    }
    // A transparent grey value is black, where every other transparent
    // pixel keeps its stored colour.
    p.transparentGrey = colorType == PNG_COLOR_TYPE_GRAY && bitDepth <= 8 && png_get_valid(p.png, p.info, PNG_INFO_tRNS) != 0;

    png_set_expand(p.png);          // palette to RGB, grey below 8 bits to 8
    png_set_scale_16(p.png);        // 16 bits a channel to 8, rounded
    png_set_gray_to_rgb(p.png);
    png_set_bgr(p.png);
    if (!p.transparentGrey) {
        png_set_strip_alpha(p.png);
        png_set_filler(p.png, 0xFF, PNG_FILLER_AFTER);
    }
    p.passes = png_set_interlace_handling(p.png);
    png_read_update_info(p.png, p.info);
    return true;
}

bool readRows(Png& p, QImage& image)
{
    if (setjmp(png_jmpbuf(p.png)) != 0)
        return false;
    for (int pass = 0; pass < p.passes; ++pass) {
        for (int y = 0; y < image.height(); ++y)
            png_read_row(p.png, image.scanLine(y), nullptr);
    }
    // png_read_end is not called: what follows the last row (more IDAT
    // data, text chunks) is never read.
    if (p.transparentGrey) {
        for (int y = 0; y < image.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                row[x] = qAlpha(row[x]) == 0 ? 0xFF000000U : row[x] | 0xFF000000U;
        }
    }
    return true;
}

}  // namespace

LoadResult decodePng(const QByteArray& bytes)
{
    // libpng refuses a critical chunk with a wrong checksum without saying
    // which; the quick look names it.
    const headercheck::PngFacts facts = headercheck::pngFacts(
        {reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())});
    if (!facts.damagedChunk.empty())
        return {QImage(), QStringLiteral("The PNG file is damaged: the checksum of its %1 chunk is wrong")
                              .arg(QString::fromStdString(facts.damagedChunk))};

    Png p;
    p.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, jumpOut, dropWarning);
    if (p.png != nullptr)
        p.info = png_create_info_struct(p.png);
    if (p.info == nullptr)
        return {QImage(), notEnoughMemoryError()};
    Source source{reinterpret_cast<const png_byte*>(bytes.constData()), static_cast<std::size_t>(bytes.size())};
    if (!readInfo(p, source))
        return {QImage(), damagedError("png")};

    const png_uint_32 width = png_get_image_width(p.png, p.info);
    const png_uint_32 height = png_get_image_height(p.png, p.info);
    if (const QString tooLarge = tooLargeError(width, height); !tooLarge.isEmpty())
        return {QImage(), tooLarge};
    if (png_get_rowbytes(p.png, p.info) != png_size_t(width) * 4)
        return {QImage(), damagedError("png")};
    QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB32);
    if (image.isNull())
        return {QImage(), notEnoughMemoryError()};
    if (!readRows(p, image))
        return {QImage(), damagedError("png")};
    // The resolution, as Qt's reader sets it, so a saved BMP says the same.
    if (const png_uint_32 x = png_get_x_pixels_per_meter(p.png, p.info); x > 0)
        image.setDotsPerMeterX(static_cast<int>(x));
    if (const png_uint_32 y = png_get_y_pixels_per_meter(p.png, p.info); y > 0)
        image.setDotsPerMeterY(static_cast<int>(y));
    return {std::move(image), QString()};
}

}  // namespace picture
