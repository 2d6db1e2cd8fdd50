// PNG through libpng directly, so its limits apply and nothing is read that
// the picture does not need: no text or profile chunks are kept, and
// compressed data past the last row is stepped over, never inflated.  Every kind (palette, grey, 16 bits, alpha, interlaced) is turned
// into the working format's bytes by libpng as the rows are read, straight
// into the picture, or, when only the first columns are wanted, the first
// pixels of each row into a narrower one.  Both take the same road up to
// where a row lands, so their pixels agree.

#include "imagefile/decoders.h"

#include <QImage>

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include <png.h>

namespace imagefile {

namespace {

// Chunks libpng would otherwise read whole into memory: texts (zTXt and iTXt
// are inflated too), colour profiles, suggested palettes, EXIF.  Nothing
// here needs them.
constexpr png_byte kSkippedChunks[] = "tEXt\0zTXt\0iTXt\0iCCP\0sPLT\0eXIf";
// The ancillary chunks that remain are a few bytes each; a larger one is
// damage, not data.
constexpr png_alloc_size_t kMaxChunkBytes = 8000000;
constexpr png_uint_32 kMaxStoredChunks = 100;

// Pieces the file is handed to libpng in; what follows the end chunk is not.
constexpr qint64 kPieceBytes = 64 * 1024;

struct Reading;
Reading& readingOf(png_structp png);

[[noreturn]] void jumpOut(png_structp png, png_const_charp message);

void dropWarning(png_structp, png_const_charp) {}

// libpng's progressive reader: it calls back with the header and each row
// as the pieces arrive, and it stops inflating when the last row is
// complete, stepping over any compressed data left (the sequential reader
// inflates all of it, to check there is nothing).
struct Reading {
    png_structp png = nullptr;
    png_infop info = nullptr;
    QImage image;
    std::int64_t keptColumns = 0;  // 0: every column
    fileio::MaybeFailure refusal;  // set before libpng is stopped for a reason of the program's own
    bool ended = false;            // the end chunk was reached, every row before it
    bool transparentGrey = false;
    char damagedChunk[5] = {};     // a critical chunk whose checksum is wrong
    char piece[kPieceBytes];
    Reading() = default;
    Reading(const Reading&) = delete;
    Reading& operator=(const Reading&) = delete;
    ~Reading() { png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr); }
};

Reading& readingOf(png_structp png)
{
    return *static_cast<Reading*>(png_get_progressive_ptr(png));
}

// libpng names the chunk ("IDAT: CRC error"); the user hears which.
void jumpOut(png_structp png, png_const_charp message)
{
    const std::string_view text(message);
    if (text.size() == 4 + std::strlen(": CRC error") && text.ends_with(": CRC error"))
        std::memcpy(readingOf(png).damagedChunk, message, 4);
    png_longjmp(png, 1);
}

// The transformations that turn every kind into the working format's bytes.
void setTransformations(png_structp png, png_infop info, Reading& r)
{
    const png_byte colorType = png_get_color_type(png, info);
    const png_byte bitDepth = png_get_bit_depth(png, info);
    png_colorp palette = nullptr;
    int entries = 0;
    if (colorType == PNG_COLOR_TYPE_PALETTE && png_get_PLTE(png, info, &palette, &entries) != 0 && entries > 0
        && entries < 1 << bitDepth) {
        // An index past the palette's end takes the first entry's colour.
        png_color padded[PNG_MAX_PALETTE_LENGTH];
        std::fill(std::copy(palette, palette + entries, padded), padded + (1 << bitDepth), palette[0]);
        png_set_PLTE(png, info, padded, 1 << bitDepth);
    }
    // A transparent grey value is black, where every other transparent
    // pixel keeps its stored colour.
    r.transparentGrey = colorType == PNG_COLOR_TYPE_GRAY && bitDepth <= 8 && png_get_valid(png, info, PNG_INFO_tRNS) != 0;

    png_set_expand(png);    // palette to RGB, grey below 8 bits to 8
    png_set_scale_16(png);  // 16 bits a channel to 8, rounded
    png_set_gray_to_rgb(png);
    png_set_bgr(png);
    if (!r.transparentGrey) {
        png_set_strip_alpha(png);
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    }
    png_set_interlace_handling(png);
}

void onHeader(png_structp png, png_infop info)
{
    Reading& r = readingOf(png);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    // Nothing with a destructor may be alive where libpng jumps out.
    r.refusal = tooLargeError(width, height);
    if (r.refusal)
        png_error(png, "too large");
    setTransformations(png, info, r);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != png_size_t(width) * 4)
        png_error(png, "unexpected row size");
    // An interlaced picture's rows are built up over seven passes in the
    // picture itself, so it is kept whole.
    png_uint_32 kept = width;
    if (r.keptColumns > 0 && r.keptColumns < width && png_get_interlace_type(png, info) == PNG_INTERLACE_NONE)
        kept = static_cast<png_uint_32>(r.keptColumns);
    r.image = QImage(static_cast<int>(kept), static_cast<int>(height), QImage::Format_RGB32);
    if (r.image.isNull()) {
        r.refusal = notEnoughMemory();
        png_error(png, "no memory");
    }
}

void onEnd(png_structp png, png_infop)
{
    readingOf(png).ended = true;
}

void onRow(png_structp png, png_bytep row, png_uint_32 y, int)
{
    Reading& r = readingOf(png);
    if (row == nullptr || y >= png_uint_32(r.image.height()))
        return;
    if (png_uint_32(r.image.width()) == png_get_image_width(png, r.info))
        png_progressive_combine_row(png, r.image.scanLine(static_cast<int>(y)), row);
    else  // the first pixels only; never interlaced, so the row is complete
        std::memcpy(r.image.scanLine(static_cast<int>(y)), row, std::size_t(r.image.width()) * 4);
}

// Hands the file over piece by piece up to its end chunk; false when
// libpng gave up.
bool readRows(Reading& r, QIODevice& in)
{
    if (setjmp(png_jmpbuf(r.png)) != 0)
        return false;
    // The picture ceiling is the program's own, checked at the header;
    // libpng's default million-pixel side would refuse a valid 1,000,001 x 2
    // picture.
    png_set_user_limits(r.png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_set_chunk_malloc_max(r.png, kMaxChunkBytes);
    png_set_chunk_cache_max(r.png, kMaxStoredChunks);
    png_set_keep_unknown_chunks(r.png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
    png_set_keep_unknown_chunks(r.png, PNG_HANDLE_CHUNK_NEVER, kSkippedChunks, int(sizeof kSkippedChunks / 5));
    png_set_benign_errors(r.png, 1);
    png_set_progressive_read_fn(r.png, &r, onHeader, onRow, onEnd);
    while (!r.ended) {
        const qint64 got = in.read(r.piece, kPieceBytes);
        if (got <= 0)
            break;
        png_process_data(r.png, r.info, reinterpret_cast<png_bytep>(r.piece), static_cast<std::size_t>(got));
    }
    return true;
}

}  // namespace

LoadResult decodePng(QIODevice& in, std::int64_t keptColumns)
{
    const auto reading = std::make_unique<Reading>();
    Reading& r = *reading;
    r.keptColumns = keptColumns;
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, jumpOut, dropWarning);
    if (r.png != nullptr)
        r.info = png_create_info_struct(r.png);
    if (r.info == nullptr)
        return {QImage(), notEnoughMemory()};
    if (!readRows(r, in)) {
        if (r.damagedChunk[0] != '\0')
            return {QImage(), fileio::unreadable(QStringLiteral("The PNG file is damaged: the checksum of its %1 chunk is wrong")
                                                    .arg(QString::fromLatin1(r.damagedChunk)))};
        return {QImage(), r.refusal ? *r.refusal : damaged("png")};
    }
    if (!r.ended)
        return {QImage(), damaged("png")};
    QImage image = std::move(r.image);
    if (r.transparentGrey) {
        for (int y = 0; y < image.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                row[x] = qAlpha(row[x]) == 0 ? 0xFF000000U : row[x] | 0xFF000000U;
        }
    }
    // The resolution, as Qt's reader sets it, so a saved BMP says the same.
    if (const png_uint_32 x = png_get_x_pixels_per_meter(r.png, r.info); x > 0)
        image.setDotsPerMeterX(static_cast<int>(x));
    if (const png_uint_32 y = png_get_y_pixels_per_meter(r.png, r.info); y > 0)
        image.setDotsPerMeterY(static_cast<int>(y));
    return {std::move(image), std::nullopt};
}

}  // namespace imagefile
