// The code page: every byte survives, and what cannot be stored is named.
#include "stego/codepage.h"

#include <gtest/gtest.h>

using namespace stego;

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
    EXPECT_EQ(windows1252ToUnicode(0x80), u'\u20ac');
    EXPECT_EQ(windows1252ToUnicode(0x9F), u'\u0178');
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
