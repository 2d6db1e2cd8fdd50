// The format's worked examples, capacity and refusals, what the reader makes
// of odd pictures, the code page and the encrypted-text markers.
#include "reference.h"
#include "stego/codepage.h"
#include "stego/encryptedtext.h"

#include <gtest/gtest.h>

using namespace stego;
using stegotest::Canvas;

namespace {

::testing::AssertionResult reads(const Canvas& canvas, ReadOutcome outcome, const std::string& text = {})
{
    const ReadResult r = readMessage(canvas.surface());
    if (r.outcome == outcome && r.text == text)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "read outcome " << static_cast<int>(r.outcome) << " \"" << r.text << "\"";
}

}  // namespace

TEST(WorkedExamples, CapitalAInThreeWhitePixels)
{
    Canvas canvas(75, 1);  // one row: the text's first character is pixels 39..41
    const PixelSurface surface = canvas.surface();
    for (int p = 39; p < 42; ++p)
        stegotest::setColour(surface, p, 0xFFFFFF);
    ASSERT_EQ(hideBytes(surface, "A").outcome, HideOutcome::Hidden);
    EXPECT_EQ(stegotest::colourAt(surface, 39), 0xFEFFFEU);
    EXPECT_EQ(stegotest::colourAt(surface, 40), 0xFEFEFEU);
    EXPECT_EQ(stegotest::colourAt(surface, 41), 0xFFFFFEU);
    EXPECT_TRUE(reads(canvas, ReadOutcome::Found, "A"));
}

TEST(Capacity, RefusalsTouchNoPixelAndNameTheExcess)
{
    // A null `excess`: the text fits.
    const struct { const char* why; std::int64_t width, height, length; const char* excess; } rows[] = {
        {"ten by ten takes nine", 10, 10, 9, nullptr},
        {"one over, remainder 1", 10, 10, 10, "0.666666666666667"},
        {"one over, multiple of three", 9, 10, 7, "1"},
        {"one over, remainder 2", 8, 10, 3, "0.333333333333333"},
        {"no pixels at all", 0, 0, 1, "25"},
        {"71 pixels hold not even the markers", 71, 1, 0, "0.333333333333333"},
        {"72 pixels hold the empty text", 72, 1, 0, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        Canvas canvas(row.width, row.height);
        const auto before = canvas.pixels;
        const HideReport report = hideBytes(canvas.surface(), std::string(static_cast<std::size_t>(row.length), 'x'));
        EXPECT_EQ(report.outcome, row.excess ? HideOutcome::TooMuchText : HideOutcome::Hidden);
        EXPECT_TRUE(row.excess || textCapacity(row.width, row.height) >= row.length);
        EXPECT_EQ(row.excess ? formatExcess(report.excess) : "", row.excess ? row.excess : "");
        EXPECT_TRUE(!row.excess || canvas.pixels == before) << "a refusal touches no pixel";
    }
    EXPECT_EQ(formatExcess(5.0 / 3.0, ","), "1,66666666666667");
    EXPECT_EQ(formatExcess(123456789012.0 + 1.0 / 3.0), "123456789012.333") << "no exponent";
}

TEST(Scan, FailureTable)
{
    const std::string start(kStartMarker), end(kEndMarker);
    const struct {
        const char* why;
        std::int64_t width, height;
        std::string characters;  // from character 0 on; the rest stays random
        ReadOutcome outcome;
        std::string text;
    } rows[] = {
        {"carries a message", 50, 50, start + "hello" + end, ReadOutcome::Found, "hello"},
        {"stops at the first end marker", 50, 50, start + "a" + end + "b" + end, ReadOutcome::Found, "a"},
        {"text holding the marker is cut there", 200, 1, start + "a end message b" + end, ReadOutcome::Found, "a "},
        {"no start marker", 50, 50, "Hello there, friend", ReadOutcome::NoStartMarker, ""},
        {"start marker with a capital M", 50, 50, "LHE_S Message" + end, ReadOutcome::NoStartMarker, ""},
        {"no end marker", 50, 50, start + "no end here", ReadOutcome::NoEndMarker, ""},
        {"end marker cut by the last pixels", 101, 1, start + "0123456789" + end.substr(0, 10), ReadOutcome::NoEndMarker, ""},
        {"end marker in the last whole triple", 10, 11, start + "twelve chars" + end, ReadOutcome::Found, "twelve chars"},
        {"start marker right before the end marker", 50, 50, start + end, ReadOutcome::Found, ""},
        {"end marker as the first eleven characters", 50, 50, end, ReadOutcome::Found, ""},
        {"end marker within the first thirteen", 50, 50, "ab" + end, ReadOutcome::Found, "ab"},
        {"end marker ending at the fourteenth", 50, 50, "abc" + end, ReadOutcome::NoStartMarker, ""},
        {"39 pixels: the start is never tested", 13, 3, "not a marker!", ReadOutcome::NoEndMarker, ""},
        {"33 pixels spelling the end marker", 11, 3, end, ReadOutcome::Found, ""},
        {"40 pixels: tested at the 40th", 10, 4, "not a marker!", ReadOutcome::NoStartMarker, ""},
    };
    for (const auto& row : rows) {
        Canvas canvas(row.width, row.height);
        for (std::int64_t p = 0; p < row.width * row.height; ++p)
            canvas.at(p) &= 0xFFFEFEFEU;  // random bits must not spell a marker by chance
        stegotest::referenceWrite(canvas.surface(), row.characters);
        EXPECT_TRUE(reads(canvas, row.outcome, row.text)) << row.why;
    }
}

TEST(CodePage, AllBytesRoundTripAndTheUpperHalfHasItsHoles)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    const std::u16string decoded = decodeWindows1252(all);
    ASSERT_EQ(decoded.size(), 256U);
    const EncodeResult back = encodeWindows1252(decoded);
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(back.bytes, all);
    for (int hole : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
        EXPECT_EQ(windows1252ToUnicode(static_cast<std::uint8_t>(hole)), static_cast<char16_t>(hole)) << hole;
}

TEST(CodePage, RefusalNamesDistinctOffendersInOrderUpToTheLimit)
{
    // U+0080 looks like byte 0x80, but that byte is the euro sign.
    const std::u16string text{u'a', 0x80, 0xD83D, 0xDE00, u'c', 0x80, 0x4E2D, 0xD83D, u'x', 0xDE00};
    const EncodeResult r = encodeWindows1252(text);
    EXPECT_TRUE(r.bytes.empty());
    EXPECT_EQ(r.unencodable, (std::vector<char32_t>{0x80, 0x1F600, 0x4E2D, 0xD83D, 0xDE00}))
        << "a pair is one character, lone halves are their own";
    EXPECT_EQ(encodeWindows1252(text, 2).unencodable, (std::vector<char32_t>{0x80, 0x1F600}));
}

// Both kinds of marker, in either order; a text read in pieces gets the same
// answer wherever the pieces break, markers split across them included.
TEST(EncryptedText, NeedsBothKindsOfMarkerWhereverThePiecesBreak)
{
    const std::pair<std::string_view, bool> rows[] = {
        {"xK 01y\xE9 Kz", true}, {"\xE9kK then Kk02", true}, {"\xE9kKKk02", true},
        {"Kk02 alone", false}, {"\xE9kK alone", false}, {"K 0\xE9 K1", false}, {"\xE9k K 02", false},
        {"k 01 \xE9 K", false},  // small k first is no marker
        {"K 01 \xE9 k", false},  // nor small k last
        {"K 01 e K", false},      // a plain e is not the accented one
    };
    for (const auto& [text, encrypted] : rows) {
        EXPECT_EQ(isEncryptedText(decodeWindows1252(text)), encrypted) << text;
        for (std::size_t first = 0; first <= text.size(); ++first) {
            for (std::size_t second = first; second <= text.size(); ++second) {
                EncryptedTextScanner scanner;
                scanner.feed(text.substr(0, first));
                scanner.feed(text.substr(first, second - first));
                scanner.feed(text.substr(second));
                EXPECT_EQ(scanner.encrypted(), encrypted) << text << ' ' << first << ' ' << second;
            }
        }
    }
}
