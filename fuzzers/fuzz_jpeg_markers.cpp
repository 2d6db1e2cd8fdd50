// The quick look at a JPEG's markers against libjpeg's own reading of them.
// The quick look may refuse a file early, so it must find the frame libjpeg
// finds (the same size, depth, components and coding) whenever libjpeg can
// read the headers, and it must never count more scans than libjpeg reads.

#include "fuzzsupport.h"
#include "imagefile/headercheck.h"

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include <jpeglib.h>

namespace {

// libjpeg's reading, its errors ending in a jump back and its warnings dropped.
struct Reading {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr errors{};
    std::jmp_buf jump{};
    Reading()
    {
        cinfo.err = jpeg_std_error(&errors);
        errors.error_exit = [](j_common_ptr c) { std::longjmp(static_cast<Reading*>(c->client_data)->jump, 1); };
        errors.output_message = [](j_common_ptr) {};
        cinfo.client_data = this;
        jpeg_create_decompress(&cinfo);
    }
    ~Reading() { jpeg_destroy_decompress(&cinfo); }
};

bool readHeader(Reading& r, const std::uint8_t* data, std::size_t size)
{
    if (setjmp(r.jump) != 0)
        return false;
    jpeg_mem_src(&r.cinfo, data, static_cast<unsigned long>(size));
    return jpeg_read_header(&r.cinfo, TRUE) == JPEG_HEADER_OK;
}

// Takes in every scan (small frames only: each scan is a pass over the
// frame), counting them up to one past the limit; -1 when libjpeg gave up.
int countScans(Reading& r)
{
    if (setjmp(r.jump) != 0)
        return -1;
    r.cinfo.buffered_image = TRUE;
    jpeg_start_decompress(&r.cinfo);
    while (r.cinfo.input_scan_number <= imagefile::headercheck::kMaxJpegScans) {
        const int status = jpeg_consume_input(&r.cinfo);
        if (status == JPEG_REACHED_EOI || status == JPEG_SUSPENDED)
            break;
    }
    return r.cinfo.input_scan_number;
}

std::string describe(std::int64_t a, std::int64_t b) { return std::to_string(a) + " where libjpeg reads " + std::to_string(b); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace imagefile::headercheck;
    const JpegFacts facts = jpegFacts({data, size});

    Reading r;
    if (!readHeader(r, data, size))
        return 0;
    const jpeg_decompress_struct& c = r.cinfo;
    if (!facts.frameFound)
        fuzz::fail("the quick look finds no frame where libjpeg reads one of", describe(c.image_width, c.image_height));
    if (facts.width != c.image_width || facts.height != c.image_height)
        fuzz::fail("frame width or height", describe(facts.width * 100000 + facts.height, c.image_width * 100000LL + c.image_height));
    if (facts.components != c.num_components || facts.precision != c.data_precision)
        fuzz::fail("components or precision", describe(facts.components * 100 + facts.precision, c.num_components * 100 + c.data_precision));
    if (facts.progressive != (c.progressive_mode != 0))
        fuzz::fail("progressive coding", describe(facts.progressive, c.progressive_mode));

    if (facts.scans > kMaxJpegScans && std::int64_t(c.image_width) * c.image_height <= 256 * 256) {
        const int scans = countScans(r);
        if (scans >= 0 && scans <= kMaxJpegScans)
            fuzz::fail("the quick look refuses for its scans a file of", std::to_string(scans) + " scans");
    }
    return 0;
}
