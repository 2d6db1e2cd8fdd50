#pragma once

// Decisions taken from a JPEG's own structure before libjpeg sees the file.
// Standard C++ only.
//
// libjpeg holds a whole-image coefficient buffer for a progressive or
// multi-scan file and decodes every scan over the whole frame, so a small
// file with thousands of scans costs minutes.  Both are known from the
// markers alone; the decoder holds the same limits while it runs, and this
// look only refuses the obvious before it starts.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace imagefile::headercheck {

// More scans than any encoder writes for a real photo (a progressive JPEG
// has about ten); past it every scan is another pass over the whole frame.
inline constexpr int kMaxJpegScans = 100;

struct JpegFacts {
    std::int64_t width = 0;
    std::int64_t height = 0;
    int precision = 0;       // bits per sample
    int components = 0;
    bool progressive = false;
    bool lossless = false;
    int scans = 0;
    std::int64_t coefficientBytes = 0;  // libjpeg's whole-image buffer; 0 when it needs none
    std::int64_t turnBytes = 0;         // the second picture a quarter turn needs for a moment
    bool frameFound = false;
};

// Reads the markers of a JPEG file, stepping over the entropy-coded data.
JpegFacts jpegFacts(std::span<const std::uint8_t> bytes);

// Why the JPEG cannot be decoded within `budgetBytes` (coefficients, the
// decoded picture at 4 bytes a pixel and any turned copy together) and the
// scan limit, or why the decoder cannot read it at all; empty when it may
// be decoded.  `budgetNote` ends the sentence about the budget.
std::string jpegRefusal(const JpegFacts& facts, std::int64_t budgetBytes, std::string_view budgetNote = {});

}  // namespace imagefile::headercheck
