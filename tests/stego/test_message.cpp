// The format's own examples, capacity and refusals, round trips over awkward
// geometries, and what the reader makes of damaged or odd pictures.
#include "reference.h"

#include "stego/codepage.h"
#include "stego/message.h"

#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <string>

using namespace stego;
using stegotest::Canvas;

namespace {

const char* outcomeName(ReadOutcome o)
{
    switch (o) {
    case ReadOutcome::Found: return "Found";
    case ReadOutcome::NoStartMarker: return "NoStartMarker";
    case ReadOutcome::NoEndMarker: return "NoEndMarker";
    }
    return "?";
}

::testing::AssertionResult reads(const Canvas& canvas, ReadOutcome outcome, const std::string& text = {})
{
    const ReadResult r = readMessage(canvas.surface());
    if (r.outcome == outcome && r.text == text)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "read " << outcomeName(r.outcome) << " \"" << r.text.substr(0, 60)
                                         << "\", expected " << outcomeName(outcome) << " \"" << text.substr(0, 60)
                                         << "\"";
}

// Test names from the rows' reasons.
template <typename Row>
std::string nameOf(const ::testing::TestParamInfo<Row>& row)
{
    std::string name;
    for (const char* c = row.param.why; *c; ++c)
        name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    return name;
}

}  // namespace

TEST(WorkedExamples, CapitalAInThreeWhitePixels)
{
    // One row, so character 13 (the text's first) is pixels 39..41 left to right.
    Canvas canvas(75, 1);
    canvas.fill(0xFFFFFF);
    ASSERT_EQ(hideBytes(canvas.surface(), "A").outcome, HideOutcome::Hidden);
    EXPECT_EQ(canvas.colour(39, 0), 0xFEFFFEU);
    EXPECT_EQ(canvas.colour(40, 0), 0xFEFEFEU);
    EXPECT_EQ(canvas.colour(41, 0), 0xFFFFFEU);
    EXPECT_TRUE(reads(canvas, ReadOutcome::Found, "A"));
}

TEST(WorkedExamples, FourthCharacterCrossesIntoTheSecondColumn)
{
    // 10 x 10: character 3 ('_' = 01011111) sits at (0,9), (1,0), (1,1).
    Canvas canvas(10, 10);
    canvas.fill(0x000000);
    ASSERT_EQ(hideBytes(canvas.surface(), "123456789").outcome, HideOutcome::Hidden);
    EXPECT_EQ(canvas.colour(0, 9), 0x000100U);
    EXPECT_EQ(canvas.colour(1, 0), 0x010101U);
    EXPECT_EQ(canvas.colour(1, 1), 0x000101U);
    EXPECT_EQ(canvas.colour(9, 9), 0x000000U) << "pixel 99 is past the message";
}

TEST(WorkedExamples, ByteToBin)
{
    EXPECT_EQ(byteToBin(65), "01000001");
    EXPECT_EQ(byteToBin(255), "11111111");
    EXPECT_EQ(byteToBin(0), "00000000");
    EXPECT_EQ(byteToBin(-3), "00000000") << "a negative code hides as zero bits";
    EXPECT_EQ(byteToBin(256), "100000000") << "above 255 every digit is kept";
}

TEST(WorkedExamples, ColourAndPixelValuesSwapRedAndBlue)
{
    EXPECT_EQ(colourOf(0xFF112233U), 0x00332211U);
    EXPECT_EQ(colourOf(0x00112233U), 0x00332211U) << "the top byte is not part of the colour";
    EXPECT_EQ(pixelOf(0x00332211U), 0xFF112233U);
}

struct CapacityRow {
    const char* why;
    std::int64_t width, height, textLength;
    const char* excess;  // nullptr: the text fits
};

class Capacity : public ::testing::TestWithParam<CapacityRow> {};

TEST_P(Capacity, FitsOrIsRefusedWithoutTouchingAPixel)
{
    const CapacityRow& row = GetParam();
    Canvas canvas(row.width, row.height);
    std::mt19937 random(7);
    canvas.randomise(random);
    const auto before = canvas.raw();
    const std::string text(static_cast<std::size_t>(row.textLength), 'x');

    const HideReport report = hideBytes(canvas.surface(), text);
    if (row.excess == nullptr) {
        EXPECT_EQ(report.outcome, HideOutcome::Hidden);
        EXPECT_GE(textCapacity(row.width, row.height), row.textLength);
        EXPECT_TRUE(reads(canvas, ReadOutcome::Found, text));
    } else {
        EXPECT_EQ(report.outcome, HideOutcome::TooMuchText);
        EXPECT_EQ(formatExcess(report.excess), row.excess);
        EXPECT_EQ(canvas.raw(), before);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, Capacity,
    ::testing::Values(CapacityRow{"ten by ten takes nine", 10, 10, 9, nullptr},
                      CapacityRow{"ten by ten, one over (remainder 1)", 10, 10, 10, "0.666666666666667"},
                      CapacityRow{"ten by ten, two over", 10, 10, 11, "1.66666666666667"},
                      CapacityRow{"far over needs three digits before the point", 10, 10, 26, "16.6666666666667"},
                      CapacityRow{"one over, multiple of three", 9, 10, 7, "1"},
                      CapacityRow{"one over, remainder 2", 8, 10, 3, "0.333333333333333"},
                      CapacityRow{"exactly full, multiple of three", 9, 10, 6, nullptr},
                      CapacityRow{"no pixels refuses even one character", 0, 0, 1, "25"},
                      CapacityRow{"zero height", 5, 0, 0, "24"},
                      CapacityRow{"71 pixels holds not even the markers", 71, 1, 0, "0.333333333333333"},
                      CapacityRow{"72 pixels holds only the empty text", 72, 1, 0, nullptr},
                      CapacityRow{"74 pixels still refuses one character", 74, 1, 1, "0.333333333333333"},
                      CapacityRow{"one row holds 309", 1000, 1, 309, nullptr},
                      CapacityRow{"one row refuses 310", 1000, 1, 310, "0.666666666666667"}),
    nameOf<CapacityRow>);

TEST(Capacity, FormatUsesTheGivenSeparatorAndNoExponent)
{
    EXPECT_EQ(formatExcess(5.0 / 3.0, ","), "1,66666666666667");
    EXPECT_EQ(formatExcess(2.0, ","), "2");
    EXPECT_EQ(formatExcess(123456789012.0 / 3.0 * 3.0 + 1.0 / 3.0), "123456789012.333");
    EXPECT_EQ(textCapacity(-5, 10), 0);
}

struct Geometry {
    const char* why;
    std::int64_t width, height;
};

class RoundTrip : public ::testing::TestWithParam<Geometry> {};

// Every length from empty to full capacity, over random pictures: the text
// reads back, only low bits of pixels 0 .. 3L-1 change, and the top byte and
// the third pixel's blue survive.
TEST_P(RoundTrip, EveryLengthUpToCapacity)
{
    const Geometry& g = GetParam();
    const std::int64_t capacity = textCapacity(g.width, g.height);
    std::mt19937 random(static_cast<unsigned>(g.width * 131 + g.height));
    const std::int64_t step = std::max<std::int64_t>(1, capacity / 40);
    for (std::int64_t length = 0; length <= capacity + 1; length += (length + step > capacity && length < capacity) ? capacity - length : step) {
        Canvas canvas(g.width, g.height);
        canvas.randomise(random);
        Canvas expected = canvas;
        std::string text(static_cast<std::size_t>(length), '\0');
        for (auto& c : text)
            c = static_cast<char>("abcdefghijklmnopqrstuvwxyz \r\n\xE9\xFF\x01"[random() % 30]);

        const HideReport report = hideBytes(canvas.surface(), text);
        if (length > capacity) {
            EXPECT_EQ(report.outcome, HideOutcome::TooMuchText);
            EXPECT_EQ(canvas.raw(), expected.raw());
            continue;
        }
        ASSERT_EQ(report.outcome, HideOutcome::Hidden) << "length " << length;
        stegotest::referenceWrite(expected, frameMessage(text));
        ASSERT_EQ(canvas.raw(), expected.raw()) << "length " << length;
        ASSERT_TRUE(reads(canvas, ReadOutcome::Found, text)) << "length " << length;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Geometries, RoundTrip,
    ::testing::Values(Geometry{"OneRow", 1000, 1}, Geometry{"OneColumn", 1, 1000},
                      Geometry{"TwoRowsEveryTripleCrossesAColumn", 400, 2},
                      Geometry{"FourRows", 200, 4}, Geometry{"PixelsMultipleOfThree", 30, 9},
                      Geometry{"PixelsRemainderOne", 10, 10}, Geometry{"PixelsRemainderTwo", 11, 7},
                      Geometry{"WiderThanOneBand", 37, 23}, Geometry{"ExactlyOneBand", 16, 15},
                      Geometry{"TallAndNarrow", 3, 701}),
    nameOf<Geometry>);

TEST(RoundTrip, TallPicturesUseNarrowBands)
{
    // Heights past 65536 rows shrink the band; past a million rows it is one column.
    for (const auto& [w, h] : {std::pair<std::int64_t, std::int64_t>{20, 70001}, {3, 1100003}}) {
        Canvas canvas(w, h, 0);
        std::mt19937 random(3);
        canvas.randomise(random);
        std::string text(static_cast<std::size_t>(textCapacity(w, h)), 'q');
        text.back() = 'z';
        ASSERT_EQ(hideBytes(canvas.surface(), text).outcome, HideOutcome::Hidden);
        EXPECT_TRUE(reads(canvas, ReadOutcome::Found, text)) << w << " x " << h;
    }
}

TEST(RoundTrip, ASecondShorterTextLeavesTheOldTailBehindItsEndMarker)
{
    Canvas canvas(20, 20);
    ASSERT_EQ(hideBytes(canvas.surface(), "eleven word").outcome, HideOutcome::Hidden);
    const auto firstOnly = canvas.raw();
    ASSERT_EQ(hideBytes(canvas.surface(), "hi").outcome, HideOutcome::Hidden);
    EXPECT_TRUE(reads(canvas, ReadOutcome::Found, "hi"));
    for (std::int64_t p = 3 * 26; p < 3 * 35; ++p)
        EXPECT_EQ(canvas.at(p), firstOnly[static_cast<std::size_t>((p % 20) * 23 + p / 20)]) << "pixel " << p;

    const auto afterSecond = canvas.raw();
    ASSERT_EQ(hideBytes(canvas.surface(), "hi").outcome, HideOutcome::Hidden);
    EXPECT_EQ(canvas.raw(), afterSecond) << "hiding the same text again changes nothing";
}

// What the reader finds in pictures written character by character.
struct ScanRow {
    const char* why;
    std::int64_t width, height;
    std::string characters;  // from character 0 on; the rest of the picture is random
    ReadOutcome outcome;
    std::string text;
};

class Scan : public ::testing::TestWithParam<ScanRow> {};

TEST_P(Scan, MatchesTheReadersWalk)
{
    const ScanRow& row = GetParam();
    Canvas canvas(row.width, row.height);
    std::mt19937 random(11);
    canvas.randomise(random);
    // Random bits could spell the end marker by chance; make that impossible.
    for (std::int64_t p = 0; p < row.width * row.height; ++p)
        canvas.at(p) &= 0xFFFEFEFEU;
    stegotest::referenceWrite(canvas, row.characters);
    EXPECT_TRUE(reads(canvas, row.outcome, row.text));
    const ReadResult model = stegotest::referenceRead(canvas);
    EXPECT_EQ(model.outcome, row.outcome);
    EXPECT_EQ(model.text, row.text);
}

const std::string kStart(kStartMarker);
const std::string kEnd(kEndMarker);

INSTANTIATE_TEST_SUITE_P(
    Table, Scan,
    ::testing::Values(
        ScanRow{"carries a message", 50, 50, kStart + "hello" + kEnd, ReadOutcome::Found, "hello"},
        ScanRow{"stops at the first end marker", 50, 50, kStart + "a" + kEnd + "b" + kEnd, ReadOutcome::Found, "a"},
        ScanRow{"no start marker", 50, 50, "Hello there, friend", ReadOutcome::NoStartMarker, ""},
        ScanRow{"start marker with a capital M", 50, 50, "LHE_S Message" + kEnd, ReadOutcome::NoStartMarker, ""},
        ScanRow{"start marker but no end marker", 50, 50, kStart + "no end here", ReadOutcome::NoEndMarker, ""},
        ScanRow{"end marker cut short by the last pixel", 101, 1, kStart + "0123456789" + kEnd.substr(0, 10), ReadOutcome::NoEndMarker, ""},
        ScanRow{"start marker followed by the end marker", 50, 50, kStart + kEnd, ReadOutcome::Found, ""},
        ScanRow{"end marker as the first eleven characters", 50, 50, kEnd, ReadOutcome::Found, ""},
        ScanRow{"end marker within the first thirteen", 50, 50, "ab" + kEnd, ReadOutcome::Found, "ab"},
        ScanRow{"end marker straddling the start-marker test", 50, 50, "abc" + kEnd, ReadOutcome::NoStartMarker, ""},
        ScanRow{"39 pixels: the start marker is never tested", 13, 3, "not a marker!", ReadOutcome::NoEndMarker, ""},
        ScanRow{"33 pixels that spell the end marker", 11, 3, kEnd, ReadOutcome::Found, ""},
        ScanRow{"40 pixels: tested at the 40th", 10, 4, "not a marker!", ReadOutcome::NoStartMarker, ""},
        ScanRow{"end marker ends in the last full triple", 10, 11, kStart + "twelve chars" + kEnd, ReadOutcome::Found, "twelve chars"},
        ScanRow{"text containing the end marker is cut there", 200, 1, kStart + "a end message b" + kEnd, ReadOutcome::Found, "a "}),
    nameOf<ScanRow>);

TEST(Scan, ALostLowBitBreaksTheMessageQuietly)
{
    Canvas canvas(30, 30);
    ASSERT_EQ(hideBytes(canvas.surface(), "secret").outcome, HideOutcome::Hidden);
    Canvas damagedStart = canvas;
    damagedStart.at(0) ^= 0x00010000U;  // bit 7 of 'L'
    EXPECT_TRUE(reads(damagedStart, ReadOutcome::NoStartMarker));
    Canvas damagedEnd = canvas;
    damagedEnd.at(3 * (13 + 6) + 1) ^= 0x00000100U;  // inside the 'e' of the end marker
    EXPECT_TRUE(reads(damagedEnd, ReadOutcome::NoEndMarker));
    Canvas unusedBlue = canvas;
    unusedBlue.at(3 * 15 + 2) ^= 0x00000001U;  // the third pixel's blue carries nothing
    EXPECT_TRUE(reads(unusedBlue, ReadOutcome::Found, "secret"));
}

TEST(HideText, RefusesCharactersOutsideTheCodePageBeforeWriting)
{
    Canvas canvas(40, 40);
    const auto before = canvas.raw();
    const HideReport report = hideText(canvas.surface(), u"caf\u00e9 \u2603 and \U0001F600 \u2603");
    EXPECT_EQ(report.outcome, HideOutcome::UnencodableCharacters);
    EXPECT_EQ(report.unencodable, (std::vector<char32_t>{U'\u2603', U'\U0001F600'}));
    EXPECT_EQ(canvas.raw(), before);
}

TEST(HideText, StoresWindows1252Bytes)
{
    Canvas canvas(40, 40);
    ASSERT_EQ(hideText(canvas.surface(), u"\u20ac5 \u00e9t\u00e9\r\n").outcome, HideOutcome::Hidden);
    EXPECT_TRUE(reads(canvas, ReadOutcome::Found, "\x80" "5 \xE9t\xE9\r\n"));
    EXPECT_EQ(hideText(canvas.surface(), std::u16string(510, u'x')).outcome, HideOutcome::TooMuchText);
}

struct EncryptedRow {
    const char* why;
    std::u16string text;
    bool encrypted;
};

class EncryptedText : public ::testing::TestWithParam<EncryptedRow> {};

TEST_P(EncryptedText, NeedsBothKindsOfMarker)
{
    EXPECT_EQ(isEncryptedText(GetParam().text), GetParam().encrypted);
}

INSTANTIATE_TEST_SUITE_P(
    Markers, EncryptedText,
    ::testing::Values(EncryptedRow{"K01AndEAcuteSpaceK", u"xK 01y\u00e9 Kz", true},
                      EncryptedRow{"K02AndEAcuteKK", u"K 02 then \u00e9kK", true},
                      EncryptedRow{"ThreeCharacterMarkerFirst", u"\u00e9kK...Kk01", true},
                      EncryptedRow{"Kk02Only", u"Kk02 alone", false},
                      EncryptedRow{"EAcuteKKOnly", u"\u00e9kK alone", false},
                      EncryptedRow{"SmallKFirstMakesNoMarker", u"k 01 \u00e9 K", false},
                      EncryptedRow{"SmallKLastMakesNoMarker", u"K 01 \u00e9 k", false},
                      EncryptedRow{"PlainEIsNotEAcute", u"K 01 e K", false},
                      EncryptedRow{"Digit3IsNoMarker", u"K 03 \u00e9 K", false},
                      EncryptedRow{"MarkerCutByTheEnd", u"\u00e9 K K 0", false},
                      EncryptedRow{"Empty", u"", false}),
    nameOf<EncryptedRow>);
