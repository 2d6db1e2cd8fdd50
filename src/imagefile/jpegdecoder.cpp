// JPEG through libjpeg directly, with the limits held inside the library
// while it decodes: the picture ceiling and the memory of the whole-image
// coefficient buffer judged at the first scan's header, the number of scans
// counted as they are read, and no metadata kept but one EXIF block for the
// orientation.  A second parser beside the decoder would always disagree
// with it somewhere; the marker pre-check only refuses the obvious early.

#include "imagefile/decoders.h"
#include "imagefile/headercheck.h"

#include <QBuffer>
#include <QImage>
#include <QTransform>

#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE
#include <cstring>
#include <memory>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

namespace imagefile {

namespace {

// One APP1 segment at most; the orientation is all that is read from it.
constexpr std::size_t kMaxExifBytes = 65535;

// Files up to this size are read whole and given the marker pre-check,
// which refuses a scan bomb at once; larger ones are read piece by piece, so
// a file padded with metadata costs its reading and no memory.
constexpr qint64 kQuickLookBytes = qint64(64) << 20;
constexpr qint64 kPieceBytes = 64 * 1024;

enum class Stop { None, Library, TooManyScans };

// libjpeg's input from a device, a piece at a time.  At the end it hands
// out an end marker, as libjpeg's own sources do, and the picture's rest
// stays grey.
struct DeviceSource {
    jpeg_source_mgr source{};
    QIODevice* in = nullptr;
    JOCTET piece[kPieceBytes];
};

boolean fillPiece(j_decompress_ptr cinfo)
{
    auto* s = reinterpret_cast<DeviceSource*>(cinfo->src);
    qint64 got = s->in->read(reinterpret_cast<char*>(s->piece), kPieceBytes);
    if (got <= 0) {
        WARNMS(cinfo, JWRN_JPEG_EOF);
        s->piece[0] = 0xFF;
        s->piece[1] = JPEG_EOI;
        got = 2;
    }
    s->source.next_input_byte = s->piece;
    s->source.bytes_in_buffer = static_cast<std::size_t>(got);
    return TRUE;
}

void skipBytes(j_decompress_ptr cinfo, long count)
{
    auto* s = reinterpret_cast<DeviceSource*>(cinfo->src);
    if (count <= 0)
        return;
    if (std::size_t(count) <= s->source.bytes_in_buffer) {
        s->source.next_input_byte += count;
        s->source.bytes_in_buffer -= std::size_t(count);
        return;
    }
    const qint64 beyond = count - qint64(s->source.bytes_in_buffer);
    s->source.bytes_in_buffer = 0;
    s->in->skip(beyond);  // past the end, the next piece is the end marker
}

void noOperation(j_decompress_ptr) {}

// Everything libjpeg's callbacks reach, in one place that outlives every
// longjmp: nothing with a destructor lives in the frames that jump.
struct Decoder {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr errors{};
    jpeg_progress_mgr progress{};
    std::jmp_buf jump{};
    DeviceSource input{};
    Stop stop = Stop::None;
    bool created = false;
    std::size_t exifSize = 0;
    unsigned char exif[kMaxExifBytes];

    Decoder() = default;
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;
    ~Decoder()
    {
        if (created)
            jpeg_destroy_decompress(&cinfo);
    }
};

Decoder& decoderOf(j_common_ptr cinfo)
{
    return *static_cast<Decoder*>(cinfo->client_data);
}

[[noreturn]] void jumpOut(j_common_ptr cinfo)
{
    Decoder& decoder = decoderOf(cinfo);
    if (decoder.stop == Stop::None)
        decoder.stop = Stop::Library;
    std::longjmp(decoder.jump, 1);
}

// Warnings (a cut-short file, stray bytes) are decoded past, as every viewer
// does; the user hears nothing of them.
void dropMessage(j_common_ptr) {}

// Called as each scan header is reached while the whole file is taken in,
// and per row later; past the limit every further scan would be another
// pass over the whole frame.
void countScans(j_common_ptr cinfo)
{
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > headercheck::kMaxJpegScans) {
        decoderOf(cinfo).stop = Stop::TooManyScans;
        jumpOut(cinfo);
    }
}

int nextByte(j_decompress_ptr cinfo)
{
    jpeg_source_mgr* source = cinfo->src;
    // The source never suspends: at the end it hands out an end marker.
    if (source->bytes_in_buffer == 0 && !source->fill_input_buffer(cinfo))
        jumpOut(reinterpret_cast<j_common_ptr>(cinfo));
    --source->bytes_in_buffer;
    return *source->next_input_byte++;
}

// APP1: the first EXIF block is kept, every other APP1 skipped unread, so a
// file padded with metadata costs its reading and no memory.
boolean readApp1(j_decompress_ptr cinfo)
{
    Decoder& decoder = decoderOf(reinterpret_cast<j_common_ptr>(cinfo));
    const int high = nextByte(cinfo);
    // A length below 2 is read past, as libjpeg does with segments it skips.
    const long length = long(high << 8 | nextByte(cinfo)) - 2;
    if (decoder.exifSize != 0) {
        if (length > 0)
            cinfo->src->skip_input_data(cinfo, length);
        return TRUE;
    }
    for (long i = 0; i < length; ++i)
        decoder.exif[i] = static_cast<unsigned char>(nextByte(cinfo));
    if (length >= 6 && std::memcmp(decoder.exif, "Exif\0\0", 6) == 0)
        decoder.exifSize = static_cast<std::size_t>(length);
    return TRUE;
}

// The EXIF orientation, 1 to 8; 1 (upright) when there is none or it is odd.
int exifOrientation(const unsigned char* exif, std::size_t size)
{
    if (size < 6 + 8)
        return 1;
    const unsigned char* tiff = exif + 6;
    const std::size_t n = size - 6;
    const bool little = tiff[0] == 'I' && tiff[1] == 'I';
    if (!little && !(tiff[0] == 'M' && tiff[1] == 'M'))
        return 1;
    const auto u16 = [&](std::size_t at) {
        return little ? unsigned(tiff[at] | tiff[at + 1] << 8) : unsigned(tiff[at] << 8 | tiff[at + 1]);
    };
    const auto u32 = [&](std::size_t at) { return little ? u16(at) | std::size_t(u16(at + 2)) << 16 : std::size_t(u16(at)) << 16 | u16(at + 2); };
    if (u16(2) != 42)
        return 1;
    const std::size_t directory = u32(4);
    if (directory > n - 2)
        return 1;
    const unsigned entries = u16(directory);
    for (unsigned i = 0; i < entries; ++i) {
        const std::size_t at = directory + 2 + 12 * std::size_t(i);
        if (at + 12 > n)
            break;
        if (u16(at) == 0x0112) {
            const unsigned value = u16(at + 8);
            return value >= 1 && value <= 8 ? int(value) : 1;
        }
    }
    return 1;
}

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

// The headers up to the first scan; false when libjpeg gave up.
bool readHeader(Decoder& d)
{
    if (setjmp(d.jump) != 0)
        return false;
    jpeg_create_decompress(&d.cinfo);
    d.created = true;
    d.input.source.init_source = noOperation;
    d.input.source.fill_input_buffer = fillPiece;
    d.input.source.skip_input_data = skipBytes;
    d.input.source.resync_to_restart = jpeg_resync_to_restart;
    d.input.source.term_source = noOperation;
    d.cinfo.src = &d.input.source;
    jpeg_set_marker_processor(&d.cinfo, JPEG_APP0 + 1, readApp1);
    d.cinfo.progress = &d.progress;
    jpeg_read_header(&d.cinfo, TRUE);
    return true;
}

// Every row, straight into the picture (through `cmykRow` for CMYK).
bool decodeRows(Decoder& d, QImage& image, unsigned char* cmykRow)
{
    if (setjmp(d.jump) != 0)
        return false;
    jpeg_start_decompress(&d.cinfo);
    while (d.cinfo.output_scanline < d.cinfo.output_height) {
        const int y = static_cast<int>(d.cinfo.output_scanline);
        JSAMPROW row = cmykRow != nullptr ? cmykRow : image.scanLine(y);
        jpeg_read_scanlines(&d.cinfo, &row, 1);
        if (cmykRow == nullptr)
            continue;
        // Adobe's inverted CMYK, as photo editors write it.
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        const unsigned char* in = cmykRow;
        for (JDIMENSION x = 0; x < d.cinfo.output_width; ++x, in += 4) {
            const int k = in[3];
            out[x] = qRgb(k * in[0] / 255, k * in[1] / 255, k * in[2] / 255);
        }
    }
    // The rest of the file (trailing scans, data after the end) is not read.
    return true;
}

// The frame's facts; the coefficient buffers only when libjpeg has sized
// the components, which it does after it has accepted the precision.
headercheck::JpegFacts factsOf(const jpeg_decompress_struct& cinfo, bool componentsSized = true)
{
    headercheck::JpegFacts facts;
    facts.frameFound = true;
    facts.width = cinfo.image_width;
    facts.height = cinfo.image_height;
    facts.precision = cinfo.data_precision;
    facts.components = cinfo.num_components;
    facts.progressive = cinfo.progressive_mode != 0;
    facts.scans = 1;
    // A first scan that leaves components out makes libjpeg buffer the
    // whole image, as a progressive file does.
    if (componentsSized && (cinfo.progressive_mode || cinfo.comps_in_scan < cinfo.num_components)) {
        for (int c = 0; c < cinfo.num_components; ++c) {
            const jpeg_component_info& component = cinfo.comp_info[c];
            const auto roundUp = [](std::int64_t a, std::int64_t b) { return (a + b - 1) / b * b; };
            facts.coefficientBytes += roundUp(component.width_in_blocks, component.h_samp_factor)
                                      * roundUp(component.height_in_blocks, component.v_samp_factor)
                                      * std::int64_t(DCTSIZE2 * sizeof(JCOEF));
        }
    }
    return facts;
}

// The refusal for `facts` within what the picture already open leaves of
// the budget.
QString refusalFor(const headercheck::JpegFacts& facts, std::int64_t heldBytes)
{
    return QString::fromStdString(headercheck::jpegRefusal(facts, kDecodeBudgetBytes - heldBytes,
                                                           heldBytes > 0 ? " beside the picture already open" : ""));
}

fileio::Failure libraryError(const Decoder& d)
{
    switch (d.errors.msg_code) {
    case JERR_OUT_OF_MEMORY:
    case JERR_NO_BACKING_STORE:
        return fileio::outOfMemory(notEnoughMemoryError());
    case JERR_BAD_PRECISION:
        return fileio::refused(refusalFor(factsOf(d.cinfo, false), 0));
    case JERR_SOF_UNSUPPORTED:
        return fileio::refused(
            QStringLiteral("The JPEG picture is stored in a way (lossless or hierarchical) this program cannot read"));
    default:
        return fileio::unreadable(damagedError("jpeg"));
    }
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
        if (const QString refusal = refusalFor(headercheck::jpegFacts(data), heldBytes); !refusal.isEmpty())
            return {QImage(), fileio::refused(refusal)};
    }

    const auto d = std::make_unique<Decoder>();
    d->cinfo.err = jpeg_std_error(&d->errors);
    d->errors.error_exit = jumpOut;
    d->errors.output_message = dropMessage;
    d->cinfo.client_data = d.get();
    d->progress.progress_monitor = countScans;
    d->input.in = source;
    if (!readHeader(*d))
        return {QImage(), libraryError(*d)};

    jpeg_decompress_struct& cinfo = d->cinfo;
    if (fileio::MaybeFailure tooLarge = tooLargeError(cinfo.image_width, cinfo.image_height))
        return {QImage(), std::move(tooLarge)};
    // The EXIF block comes before the frame, so the turn is known here.
    const int orientation = exifOrientation(d->exif, d->exifSize);
    headercheck::JpegFacts facts = factsOf(cinfo);
    if (orientation >= 5)
        facts.turnBytes = 4 * facts.width * facts.height;
    if (const QString refusal = refusalFor(facts, heldBytes); !refusal.isEmpty())
        return {QImage(), fileio::refused(refusal)};
    const std::int64_t pictureBytes = 4 * facts.width * facts.height;
    // What is left of the budget once the pictures are counted; libjpeg
    // refuses a whole-image buffer beyond it rather than take more.
    cinfo.mem->max_memory_to_use = static_cast<long>(kDecodeBudgetBytes - heldBytes - pictureBytes - facts.turnBytes);

    const bool cmyk = cinfo.out_color_space == JCS_CMYK;
    if (cinfo.out_color_space == JCS_RGB || cinfo.out_color_space == JCS_GRAYSCALE)
        cinfo.out_color_space = JCS_EXT_BGRX;  // the working format's bytes, alpha 0xFF
    else if (!cmyk)
        return {QImage(), fileio::refused(QStringLiteral("The JPEG picture has %1 colour components, which this program cannot read")
                                              .arg(cinfo.num_components))};

    QImage image(static_cast<int>(cinfo.image_width), static_cast<int>(cinfo.image_height), QImage::Format_RGB32);
    if (image.isNull())
        return {QImage(), fileio::outOfMemory(notEnoughMemoryError())};
    std::vector<unsigned char> cmykRow(cmyk ? std::size_t(cinfo.image_width) * 4 : 0);
    if (!decodeRows(*d, image, cmyk ? cmykRow.data() : nullptr)) {
        if (d->stop != Stop::TooManyScans)
            return {QImage(), libraryError(*d)};
        headercheck::JpegFacts counted = facts;
        counted.scans = headercheck::kMaxJpegScans + 1;
        return {QImage(), fileio::refused(refusalFor(counted, heldBytes))};
    }
    // The resolution, as Qt's reader sets it, so a saved BMP says the same.
    if (cinfo.density_unit == 1) {
        image.setDotsPerMeterX(int(100. * cinfo.X_density / 2.54));
        image.setDotsPerMeterY(int(100. * cinfo.Y_density / 2.54));
    } else if (cinfo.density_unit == 2) {
        image.setDotsPerMeterX(int(100. * cinfo.X_density));
        image.setDotsPerMeterY(int(100. * cinfo.Y_density));
    }
    if (orientation != 1) {
        image = oriented(std::move(image), orientation);
        if (image.isNull())
            return {QImage(), fileio::outOfMemory(notEnoughMemoryError())};
    }
    return {std::move(image), std::nullopt};
}

}  // namespace imagefile
