// A second parser beside libjpeg would always disagree with it somewhere, so
// everything here is judged from what libjpeg itself has read; the marker
// pre-check of the full decoder only refuses the obvious early.

#include "jpegreader.h"

#include "imagefile/limits.h"
#include "imagefile/refusals.h"

#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE
#include <cstring>
#include <new>

#include <jpeglib.h>
#include <jerror.h>

namespace imagefile {

namespace {

// One APP1 segment at most; the orientation is all that is read from it.
constexpr std::size_t kMaxExifBytes = 65535;
constexpr qint64 kPieceBytes = 64 * 1024;

enum class Stop { None, Library, TooManyScans };

}  // namespace

// Everything libjpeg's callbacks reach, in one place that outlives every
// longjmp: nothing with a destructor lives in the frames that jump.
struct JpegState {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr errors{};
    jpeg_progress_mgr progress{};
    std::jmp_buf jump{};
    // libjpeg's input from a device, a piece at a time.  At the end it
    // hands out an end marker, as libjpeg's own sources do, and the
    // picture's rest stays grey.
    jpeg_source_mgr source{};
    QIODevice* in = nullptr;
    JOCTET piece[kPieceBytes];
    Stop stop = Stop::None;
    bool created = false;
    bool decompressing = false;
    bool cmyk = false;
    std::int64_t heldBytes = 0;
    headercheck::JpegFacts facts;
    int orientation = 1;
    std::vector<unsigned char> cmykRow;
    std::size_t exifSize = 0;
    unsigned char exif[kMaxExifBytes];

    ~JpegState()
    {
        if (created)
            jpeg_destroy_decompress(&cinfo);
    }
};

namespace {

JpegState& stateOf(j_common_ptr cinfo)
{
    return *static_cast<JpegState*>(cinfo->client_data);
}

JpegState& stateOf(j_decompress_ptr cinfo)
{
    return *static_cast<JpegState*>(cinfo->client_data);
}

boolean fillPiece(j_decompress_ptr cinfo)
{
    JpegState& s = stateOf(cinfo);
    qint64 got = s.in->read(reinterpret_cast<char*>(s.piece), kPieceBytes);
    if (got <= 0) {
        WARNMS(cinfo, JWRN_JPEG_EOF);
        s.piece[0] = 0xFF;
        s.piece[1] = JPEG_EOI;
        got = 2;
    }
    s.source.next_input_byte = s.piece;
    s.source.bytes_in_buffer = static_cast<std::size_t>(got);
    return TRUE;
}

void skipBytes(j_decompress_ptr cinfo, long count)
{
    JpegState& s = stateOf(cinfo);
    if (count <= 0)
        return;
    if (std::size_t(count) <= s.source.bytes_in_buffer) {
        s.source.next_input_byte += count;
        s.source.bytes_in_buffer -= std::size_t(count);
        return;
    }
    const qint64 beyond = count - qint64(s.source.bytes_in_buffer);
    s.source.bytes_in_buffer = 0;
    s.in->skip(beyond);  // past the end, the next piece is the end marker
}

void noOperation(j_decompress_ptr) {}

[[noreturn]] void jumpOut(j_common_ptr cinfo)
{
    JpegState& s = stateOf(cinfo);
    if (s.stop == Stop::None)
        s.stop = Stop::Library;
    std::longjmp(s.jump, 1);
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
        stateOf(cinfo).stop = Stop::TooManyScans;
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
    JpegState& s = stateOf(cinfo);
    const int high = nextByte(cinfo);
    // A length below 2 is read past, as libjpeg does with segments it skips.
    const long length = long(high << 8 | nextByte(cinfo)) - 2;
    if (s.exifSize != 0) {
        if (length > 0)
            cinfo->src->skip_input_data(cinfo, length);
        return TRUE;
    }
    for (long i = 0; i < length; ++i)
        s.exif[i] = static_cast<unsigned char>(nextByte(cinfo));
    if (length >= 6 && std::memcmp(s.exif, "Exif\0\0", 6) == 0)
        s.exifSize = static_cast<std::size_t>(length);
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

// The headers up to the first scan; false when libjpeg gave up.
bool readHeader(JpegState& s)
{
    if (setjmp(s.jump) != 0)
        return false;
    jpeg_create_decompress(&s.cinfo);
    s.created = true;
    s.source.init_source = noOperation;
    s.source.fill_input_buffer = fillPiece;
    s.source.skip_input_data = skipBytes;
    s.source.resync_to_restart = jpeg_resync_to_restart;
    s.source.term_source = noOperation;
    s.cinfo.src = &s.source;
    jpeg_set_marker_processor(&s.cinfo, JPEG_APP0 + 1, readApp1);
    s.cinfo.progress = &s.progress;
    jpeg_read_header(&s.cinfo, TRUE);
    return true;
}

// Decompression started (for a file whose first row needs every scan, that
// takes in the whole file), then the rows cut to the left `columns` when
// not 0; false when libjpeg gave up.
bool startDecompressing(JpegState& s, JDIMENSION columns)
{
    if (setjmp(s.jump) != 0)
        return false;
    jpeg_start_decompress(&s.cinfo);
    s.decompressing = true;
    JDIMENSION left = 0;
    if (columns > 0 && columns < s.cinfo.output_width)
        jpeg_crop_scanline(&s.cinfo, &left, &columns);
    return true;
}

// `count` rows from the next one on, straight into the rows (through
// `cmykRow` for CMYK); false when libjpeg gave up.
bool decodeRows(JpegState& s, unsigned char* first, std::ptrdiff_t strideBytes, JDIMENSION count)
{
    if (setjmp(s.jump) != 0)
        return false;
    const JDIMENSION end = std::min(s.cinfo.output_height, s.cinfo.output_scanline + count);
    const JDIMENSION top = s.cinfo.output_scanline;
    while (s.cinfo.output_scanline < end) {
        auto* out = first + std::ptrdiff_t(s.cinfo.output_scanline - top) * strideBytes;
        JSAMPROW row = s.cmyk ? s.cmykRow.data() : out;
        jpeg_read_scanlines(&s.cinfo, &row, 1);
        if (!s.cmyk)
            continue;
        // Adobe's inverted CMYK, as photo editors write it.
        auto* pixel = reinterpret_cast<std::uint32_t*>(out);
        const unsigned char* in = s.cmykRow.data();
        for (JDIMENSION x = 0; x < s.cinfo.output_width; ++x, in += 4) {
            const unsigned k = in[3];
            pixel[x] = 0xFF000000U | (k * in[0] / 255) << 16 | (k * in[1] / 255) << 8 | k * in[2] / 255;
        }
    }
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

fileio::Failure libraryError(const JpegState& s)
{
    switch (s.errors.msg_code) {
    case JERR_OUT_OF_MEMORY:
    case JERR_NO_BACKING_STORE:
        return notEnoughMemory();
    case JERR_BAD_PRECISION:
        return *jpegRefusalBeside(factsOf(s.cinfo, false), 0);
    case JERR_SOF_UNSUPPORTED:
        return fileio::refused(
            QStringLiteral("The JPEG picture is stored in a way (lossless or hierarchical) this program cannot read"));
    default:
        return damaged("jpeg");
    }
}

int dotsPerMeter(const jpeg_decompress_struct& cinfo, UINT16 density)
{
    if (cinfo.density_unit == 1)
        return int(100. * density / 2.54);
    return cinfo.density_unit == 2 ? int(100. * density) : 0;
}

}  // namespace

fileio::MaybeFailure jpegRefusalBeside(const headercheck::JpegFacts& facts, std::int64_t heldBytes)
{
    const std::string refusal = headercheck::jpegRefusal(facts, kDecodeBudgetBytes - heldBytes,
                                                         heldBytes > 0 ? " beside the picture already open" : "");
    if (refusal.empty())
        return std::nullopt;
    return fileio::refused(QString::fromStdString(refusal));
}

JpegReader::JpegReader(QIODevice& in) : m_state(std::make_unique<JpegState>())
{
    JpegState& s = *m_state;
    s.cinfo.err = jpeg_std_error(&s.errors);
    s.errors.error_exit = jumpOut;
    s.errors.output_message = dropMessage;
    s.cinfo.client_data = &s;
    s.progress.progress_monitor = countScans;
    s.in = &in;
}

JpegReader::~JpegReader() = default;

fileio::MaybeFailure JpegReader::start(std::int64_t heldBytes)
{
    JpegState& s = *m_state;
    if (!readHeader(s))
        return libraryError(s);
    jpeg_decompress_struct& cinfo = s.cinfo;
    if (fileio::MaybeFailure tooLarge = tooLargeError(cinfo.image_width, cinfo.image_height))
        return tooLarge;
    // The EXIF block comes before the frame, so the turn is known here.
    s.orientation = exifOrientation(s.exif, s.exifSize);
    s.facts = factsOf(cinfo);
    if (s.orientation >= 5)
        s.facts.turnBytes = 4 * s.facts.width * s.facts.height;
    s.heldBytes = heldBytes;
    if (fileio::MaybeFailure refusal = jpegRefusalBeside(s.facts, heldBytes))
        return refusal;
    const std::int64_t pictureBytes = 4 * s.facts.width * s.facts.height;
    // What is left of the budget once the pictures are counted; libjpeg
    // refuses a whole-image buffer beyond it rather than take more.
    cinfo.mem->max_memory_to_use = static_cast<long>(kDecodeBudgetBytes - heldBytes - pictureBytes - s.facts.turnBytes);

    s.cmyk = cinfo.out_color_space == JCS_CMYK;
    if (cinfo.out_color_space == JCS_RGB || cinfo.out_color_space == JCS_GRAYSCALE)
        cinfo.out_color_space = JCS_EXT_BGRX;  // the working format's bytes, alpha 0xFF
    else if (!s.cmyk)
        return fileio::refused(QStringLiteral("The JPEG picture has %1 colour components, which this program cannot read")
                                   .arg(cinfo.num_components));
    if (s.cmyk)
        s.cmykRow.resize(std::size_t(cinfo.image_width) * 4);
    return std::nullopt;
}

std::int64_t JpegReader::width() const
{
    return m_state->cinfo.image_width;
}

std::int64_t JpegReader::height() const
{
    return m_state->cinfo.image_height;
}

int JpegReader::orientation() const
{
    return m_state->orientation;
}

bool JpegReader::needsEveryScan() const
{
    return m_state->cinfo.progressive_mode || m_state->cinfo.comps_in_scan < m_state->cinfo.num_components;
}

int JpegReader::dotsPerMeterX() const
{
    return dotsPerMeter(m_state->cinfo, m_state->cinfo.X_density);
}

int JpegReader::dotsPerMeterY() const
{
    return dotsPerMeter(m_state->cinfo, m_state->cinfo.Y_density);
}

fileio::MaybeFailure JpegReader::keepLeftColumns(std::int64_t& columns)
{
    JpegState& s = *m_state;
    if (!startDecompressing(s, static_cast<JDIMENSION>(columns)))
        return failure();
    columns = s.cinfo.output_width;
    return std::nullopt;
}

fileio::MaybeFailure JpegReader::readRows(unsigned char* first, std::ptrdiff_t strideBytes, std::int64_t count)
{
    JpegState& s = *m_state;
    if ((s.decompressing || startDecompressing(s, 0)) && decodeRows(s, first, strideBytes, static_cast<JDIMENSION>(count)))
        return std::nullopt;
    return failure();
}

fileio::Failure JpegReader::failure() const
{
    const JpegState& s = *m_state;
    if (s.stop != Stop::TooManyScans)
        return libraryError(s);
    headercheck::JpegFacts counted = s.facts;
    counted.scans = headercheck::kMaxJpegScans + 1;
    return *jpegRefusalBeside(counted, s.heldBytes);
}

}  // namespace imagefile
