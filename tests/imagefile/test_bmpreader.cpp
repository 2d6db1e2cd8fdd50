// The BMP reader: the same colours as Qt's reader wherever Qt's are defined,
// black wherever the file defines nothing, and a sentence for every refusal.

#include "bmpfiles.h"
#include "imagefile/bmpreader.h"
#include "support/failures.h"
#include "imagefile/imageio.h"
#include "pictures.h"

#include <algorithm>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace {

using testsupport::reasonOf;
using namespace imagefiletest;

// A 16- or 32-bit BMP of random pixel values under `masks` (the bit-fields
// method), or under the default ones when `masks` is empty.
QByteArray maskedBmp(quint32 infoSize, int bits, const std::vector<quint32>& masks)
{
    const quint32 offset = 14 + infoSize + (infoSize == 40 && !masks.empty() ? 12 : 0);
    QByteArray b = bmpBytes(QImage(7, 5, QImage::Format_RGB32)).left(54) + QByteArray(offset - 54, '\0');
    std::mt19937 random{quint32(bits)};  // the same pixels whatever the header
    for (int i = 0; i < (7 * bits + 31) / 32 * 4 * 5; ++i)
        b += char(random());
    for (const auto& [at, value] : {std::pair{2, quint32(b.size())}, {10, offset}, {14, infoSize}, {30, masks.empty() ? 0u : 3u}})
        put32(b, at, value);
    put16(b, 28, quint32(bits));
    for (std::size_t i = 0; i < masks.size(); ++i)
        put32(b, 54 + 4 * int(i), masks[i]);
    return b;
}

TEST(BmpReader, EveryKindGivesQtsColours)
{
    std::vector<std::tuple<std::string, QByteArray, QImage>> files;  // the colours expected, Qt's reading's when null
    for (const Geometry& g : kGeometries)
        files.emplace_back(g.why, bmpBytes(noisyImage(g.width, g.height, 4), g.kind), QImage());
    // Palette kinds as Qt's writer makes them: 1 bit, 4 bits (16 colours or fewer), 8 bits.
    const QImage noise = noisyImage(13, 9, 8);
    QList<QRgb> sixteen;
    for (int i = 0; i < 16; ++i)
        sixteen.append(qRgb(i * 16, 255 - i * 16, i * 7));
    files.emplace_back("1 bit", encoded(noise.convertToFormat(QImage::Format_Mono), "bmp"), QImage());
    files.emplace_back("4 bits", encoded(noise.convertToFormat(QImage::Format_Indexed8, sixteen), "bmp"), QImage());
    files.emplace_back("8 bits", encoded(noise.convertToFormat(QImage::Format_Indexed8), "bmp"), QImage());
    // Masked kinds: Qt reads the 40-, 108- and 124-byte headers; the 52- and
    // 56-byte ones carry the same masks in the same place as the 108-byte one.
    // Qt's reader turns a channel wider than 8 bits black: there the colour
    // is its top 8 bits (30-bit pictures from scanners and HDR tools), as Qt
    // reads them under 8-bit masks over those bits.
    const struct { const char* why; int bits; std::vector<quint32> masks, readAs = {}; } kinds[] = {
        {"16 bits, 5-5-5 by default", 16, {}},
        {"16 bits, 5-6-5", 16, {0xF800, 0x07E0, 0x001F}},
        {"16 bits, 4-4-4", 16, {0x0F00, 0x00F0, 0x000F}},
        {"32 bits, red and blue swapped", 32, {0x000000FF, 0x0000FF00, 0x00FF0000}},
        {"32 bits, 10-10-10", 32, {0x3FF00000, 0x000FFC00, 0x000003FF}, {0x3FC00000, 0x000FF000, 0x000003FC}},
    };
    for (const auto& kind : kinds) {
        const QImage expected = qtDecoded(maskedBmp(40, kind.bits, kind.readAs.empty() ? kind.masks : kind.readAs));
        ASSERT_FALSE(expected.isNull()) << kind.why;
        for (const quint32 infoSize : {40U, 52U, 56U, 108U, 124U})
            files.emplace_back(kind.why + (", header of " + std::to_string(infoSize)), maskedBmp(infoSize, kind.bits, kind.masks), expected);
    }
    for (const auto& [why, bytes, expected] : files) {
        SCOPED_TRACE(why);
        const imagefile::LoadResult loaded = imagefile::decodePicture(bytes);
        ASSERT_TRUE(loaded.ok()) << qPrintable(reasonOf(loaded.failure));
        EXPECT_TRUE(sameRgb(loaded.image, expected.isNull() ? qtDecoded(bytes) : expected));
    }
}

// A run-length BMP with palette entries 0 (10, 20, 30), 1 red, 2 green, 3 blue.
const std::vector<QRgb> kPalette = {qRgb(10, 20, 30), qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)};

struct Defined { int x; int yFromBottom; int index; };

TEST(BmpReader, RunLengthPixelsTheFileSkipsAreBlack)
{
    const struct { const char* why; int bits; const char* hex; std::vector<Defined> defined; } rows[] = {
        {"run, then end of picture", 8, "02010001", {{0, 0, 1}, {1, 0, 1}}},
        {"delta jumps over pixels", 8, "0102" "00020201" "0103" "0001", {{0, 0, 2}, {3, 1, 3}}},
        {"delta past the corner stops at the last pixel", 8, "00026464" "0101", {{3, 2, 1}}},
        {"end of line", 8, "0101" "0000" "0102" "0001", {{0, 0, 1}, {0, 1, 2}}},
        {"run past the row's end is cut there", 8, "0601" "0000" "0102", {{0, 0, 1}, {1, 0, 1}, {2, 0, 1}, {3, 0, 1}, {0, 1, 2}}},
        {"absolute stretch, padded", 8, "0003010203" "00" "0101", {{0, 0, 1}, {1, 0, 2}, {2, 0, 3}, {3, 0, 1}}},
        {"data ends inside a run", 8, "0201" "04", {{0, 0, 1}, {1, 0, 1}}},
        {"data ends inside an absolute stretch", 8, "000401", {{0, 0, 1}}},
        {"RLE4 run alternates two entries", 4, "0312" "0001", {{0, 0, 1}, {1, 0, 2}, {2, 0, 1}}},
        {"RLE4 absolute stretch of an odd count", 4, "00033120" "0110", {{0, 0, 3}, {1, 0, 1}, {2, 0, 2}, {3, 0, 1}}},
        {"RLE4 absolute stretch past the row's end, padded", 4, "0006312300" "00" "0000" "0120", {{0, 0, 3}, {1, 0, 1}, {2, 0, 2}, {3, 0, 3}, {0, 1, 2}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const imagefile::LoadResult loaded = imagefile::decodePicture(rleBmp(4, 3, row.bits, QByteArray::fromHex(row.hex), kPalette));
        ASSERT_TRUE(loaded.ok()) << qPrintable(reasonOf(loaded.failure));
        QImage expected(4, 3, QImage::Format_RGB32);
        expected.fill(Qt::black);
        for (const Defined& d : row.defined)
            expected.setPixel(d.x, 2 - d.yFromBottom, kPalette[std::size_t(d.index)]);
        EXPECT_TRUE(sameRgb(loaded.image, expected));
    }
}

TEST(BmpReader, NothingOfEarlierPicturesReachesASparseRunLengthPicture)
{
    // Pictures freed just before leave their pixels in memory the next
    // allocation of that size may reuse.
    for (quint32 seed = 0; seed < 4; ++seed)
        ASSERT_TRUE(imagefile::decodePicture(bmpBytes(noisyImage(200, 200, seed))).ok());
    const imagefile::LoadResult loaded = imagefile::decodePicture(rleBmp(200, 200, 8, QByteArray::fromHex("0A01" "0001"), kPalette));
    ASSERT_TRUE(loaded.ok()) << qPrintable(reasonOf(loaded.failure));
    const auto* pixels = reinterpret_cast<const quint32*>(loaded.image.constBits());
    EXPECT_EQ(std::count_if(pixels, pixels + 200 * 200, [](quint32 p) { return (p & 0xFFFFFFu) != 0; }), 10) << "only the run's pixels coloured";
}

TEST(BmpReader, RefusalsNameWhatIsWrong)
{
    const QByteArray valid = bmpBytes(noisyImage(6, 4, 1));
    const struct { const char* why; std::function<void(QByteArray&)> damage; QString sentence; } rows[] = {
        {"last row cut short", [](QByteArray& b) { b.chop(1); }, "The file ends before the picture's last pixel"},
        {"16 bits, cut short (left to Qt's reader)", [](QByteArray& b) { put16(b, 28, 16); b.chop(40); },
         "The file ends before the picture's last pixel"},
        {"palette picture cut short", [](QByteArray& b) { put16(b, 28, 8); b.chop(80); },
         "The file ends before the picture's last pixel"},
        {"core header of 32767 x 32767 with a palette", [](QByteArray& b) {
             b = bmpBytes(QImage(1, 1, QImage::Format_RGB32), {.infoSize = 12}) + QByteArray(64, '\x01');
             put16(b, 18, 32767); put16(b, 20, 32767); put16(b, 24, 8);
         },
         "The picture is too large: 32767 x 32767 pixels need 4096 MB, more than the 1024 MB allowed"},
    };
    for (const auto& row : rows) {
        QByteArray bytes = valid;
        row.damage(bytes);
        EXPECT_EQ(reasonOf(imagefile::decodePicture(bytes).failure), row.sentence) << row.why;
    }
}

// A file that loses its tail after its size was taken: the size it reports
// is the old one, the bytes it delivers are the new ones.
struct ShrinkingFile : ReadBuffer {
    ShrinkingFile(const QByteArray& bytes, qint64 cut) : ReadBuffer(bytes.chopped(cut)), m_size(bytes.size()) {}
    qint64 size() const override { return m_size; }
    qint64 m_size;
};

TEST(BmpReader, AFileThatShrinksWhileReadIsRefusedNotPaddedWithBlankRows)
{
    const QByteArray bytes = bmpBytes(noisyImage(700, 900, 3));  // several read blocks
    const bmpfile::Parsed parsed =
        bmpfile::parse({reinterpret_cast<const std::uint8_t*>(bytes.constData()), bmpfile::kHeadBytes});
    for (const qint64 cut : {qint64(1), qint64(bytes.size() / 2)}) {
        ShrinkingFile file(bytes, cut);
        const imagefile::BmpDecode decoded = imagefile::readDirectBmp(file, bytes, parsed.layout);
        EXPECT_TRUE(decoded.image.isNull());
        EXPECT_EQ(reasonOf(decoded.failure), "The file ends before the picture's last pixel");
    }
    ShrinkingFile whole(bytes, 0);
    EXPECT_TRUE(sameRgb(imagefile::readDirectBmp(whole, bytes, parsed.layout).image, qtDecoded(bytes)));
}

}  // namespace
