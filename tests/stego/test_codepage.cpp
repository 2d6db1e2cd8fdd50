// The code page: every byte survives, and what cannot be stored is named.
#include "stego/codepage.h"

#include <gtest/gtest.h>

using namespace stego;

TEST(CodePage, AllBytesRoundTrip)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    const std::u16string decoded = decodeWindows1252(all);
    ASSERT_EQ(decoded.size(), 256U);
    const EncodeResult back = encodeWindows1252(decoded);
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(back.bytes, all);
}

TEST(CodePage, CharactersOfTheUpperHalf)
{
    EXPECT_EQ(windows1252ToUnicode(0x80), u'\u20ac');
    EXPECT_EQ(windows1252ToUnicode(0x92), u'\u2019');
    EXPECT_EQ(windows1252ToUnicode(0x9F), u'\u0178');
    EXPECT_EQ(windows1252ToUnicode(0xE9), u'\u00e9');
    for (int hole : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
        EXPECT_EQ(windows1252ToUnicode(static_cast<std::uint8_t>(hole)), static_cast<char16_t>(hole)) << hole;
}

TEST(CodePage, RefusalNamesDistinctOffendersInOrder)
{
    // U+0080 looks like it should be byte 0x80 but that byte is the euro sign.
    const EncodeResult r = encodeWindows1252(u"a\u0080b\U0001F600c\u0080\u4e2d\U0001F600");
    EXPECT_FALSE(r.ok());
    EXPECT_TRUE(r.bytes.empty());
    EXPECT_EQ(r.unencodable, (std::vector<char32_t>{0x80, 0x1F600, 0x4E2D}));
}

TEST(CodePage, LoneSurrogatesAreOffendersOfTheirOwn)
{
    const std::u16string text{u'x', char16_t(0xD83D), u'y', char16_t(0xDE00)};
    EXPECT_EQ(encodeWindows1252(text).unencodable, (std::vector<char32_t>{0xD83D, 0xDE00}));
    const std::u16string trailingHigh{u'x', char16_t(0xD83D)};
    EXPECT_EQ(encodeWindows1252(trailingHigh).unencodable, (std::vector<char32_t>{0xD83D}));
}

TEST(CodePage, ReportStopsAtTheLimit)
{
    std::u16string text;
    for (char16_t c = 0x4E00; c < 0x4E20; ++c)
        text.push_back(c);
    EXPECT_EQ(encodeWindows1252(text).unencodable.size(), 10U);
    EXPECT_EQ(encodeWindows1252(text, 1).unencodable, (std::vector<char32_t>{0x4E00}));
}
