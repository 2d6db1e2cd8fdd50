// Reading a BMP's headers: what a forged header is told, and sizes that a
// header can push past any integer.

#include "imagefile/bmpfiles.h"
#include "bmpfile/bmpformat.h"
#include "support/failures.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

namespace {

using imagefiletest::put16;
using imagefiletest::put32;
using testsupport::reasonOf;

bmpfile::Parsed parseBytes(const QByteArray& bytes)
{
    return bmpfile::parse({reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())});
}

QByteArray validBmp() { return imagefiletest::bmpBytes(QImage(5, 3, QImage::Format_RGB32)); }

TEST(BmpFormat, ForgedHeadersAreRefusedWithTheirReason)
{
    const struct { const char* why; std::function<void(QByteArray&)> forge; const char* sentence; } rows[] = {
        {"not a BMP", [](QByteArray& b) { b[1] = 'X'; }, "The file is not a BMP picture"},
        {"cut inside the header", [](QByteArray& b) { b.truncate(30); }, "The BMP file ends inside its header"},
        {"unknown header size", [](QByteArray& b) { put32(b, 14, 41); }, "The BMP information header has an unknown size of 41 bytes"},
        {"bit depth 0", [](QByteArray& b) { put16(b, 28, 0); },
         "The BMP picture has 0 bits per pixel; only 1, 4, 8, 16, 24 and 32 are possible"},
        {"compression 99", [](QByteArray& b) { put32(b, 30, 99); },
         "The BMP picture uses compression method 99, which this program cannot read"},
        {"RLE8 with 24 bits", [](QByteArray& b) { put32(b, 30, 1); },
         "The BMP picture's compression method 1 does not go with 24 bits per pixel"},
        {"two planes", [](QByteArray& b) { put16(b, 26, 2); }, "The BMP picture has 2 colour planes instead of 1"},
        {"zero width", [](QByteArray& b) { put32(b, 18, 0); }, "The BMP picture's width of 0 pixels is not possible"},
        {"negative width", [](QByteArray& b) { put32(b, 18, 0xFFFFFFFFu); }, "The BMP picture's width of -1 pixels is not possible"},
        {"height that cannot be turned", [](QByteArray& b) { put32(b, 22, 0x80000000u); },
         "The BMP picture's height of -2147483648 pixels is not possible"},
        {"oversized palette", [](QByteArray& b) { put16(b, 28, 8); put32(b, 46, 300); },
         "The BMP palette declares 300 colours, more than the 256 a palette can have"},
        {"OS/2 header with method 3 (found by the differential fuzz target: Qt read it from uninitialised rows)",
         [](QByteArray& b) { put32(b, 14, 64); put16(b, 28, 32); put32(b, 30, 3); },
         "The BMP picture uses the OS/2 Huffman compression, which this program cannot read"},
        {"run-length data stored top row first", [](QByteArray& b) { put16(b, 28, 8); put32(b, 30, 1); put32(b, 22, 0xFFFFFFFDu); },
         "The BMP picture is run-length compressed but stored top row first, which the format forbids"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        QByteArray bytes = validBmp();
        row.forge(bytes);
        EXPECT_EQ(reasonOf(parseBytes(bytes).failure), row.sentence);
    }
}

TEST(BmpFormat, HugeDeclaredSizesAreComparedWithoutWrapping)
{
    QByteArray bytes = validBmp();
    put32(bytes, 10, 0xFFFFFFFFu);  // pixel offset
    put32(bytes, 18, 0x7FFFFFFFu);  // width
    put32(bytes, 22, 0x7FFFFFFFu);  // height
    put16(bytes, 28, 32);
    const bmpfile::Parsed parsed = parseBytes(bytes);
    ASSERT_TRUE(parsed.ok()) << qPrintable(reasonOf(parsed.failure));
    // 2^31 rows of 2^33 bytes: in 32 bits the product would be a few bytes.
    EXPECT_GT(parsed.layout.pixelEnd, std::numeric_limits<std::uint64_t>::max() / 2);
    EXPECT_EQ(reasonOf(bmpfile::truncationError(parsed.layout, std::uint64_t(1) << 40)), bmpfile::kTruncatedSentence);
}

}  // namespace
