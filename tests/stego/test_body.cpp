// The message body: which bodies read as UTF-8 and which texts would read
// back cut short.
#include "reference.h"
#include "stego/body.h"
#include "stego/scanner.h"

#include <gtest/gtest.h>

using namespace stego;
using stegotest::Canvas;

namespace {

const std::string kMark(kUtf8Mark);

// The encoding told whole and told from every split into two pieces.
::testing::AssertionResult toldAs(std::string_view body, BodyEncoding expected)
{
    for (std::size_t cut = 0; cut <= body.size(); ++cut) {
        BodyClassifier classifier;
        classifier.feed(body.substr(0, cut));
        classifier.feed(body.substr(cut));
        if (classifier.encoding() != expected)
            return ::testing::AssertionFailure() << "split at " << cut;
    }
    if (bodyEncoding(body) != expected)
        return ::testing::AssertionFailure() << "whole";
    return ::testing::AssertionSuccess();
}

}  // namespace

TEST(Body, OnlyAMarkFollowedByStrictUtf8ReadsAsUtf8)
{
    const std::pair<std::string, BodyEncoding> rows[] = {
        {kMark + "\xC5\x81\xC3\xB3" "d\xC5\xBA", BodyEncoding::Utf8},
        {kMark, BodyEncoding::Utf8},                                    // an empty UTF-8 text
        {kMark + "\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF", BodyEncoding::Utf8},  // astral, up to U+10FFFF
        {"\xC5\x81\xC3\xB3" "dz", BodyEncoding::Windows1252},           // UTF-8 without the mark
        {"\xEF\xBB", BodyEncoding::Windows1252},                        // the mark cut short
        {kMark + "\xC3", BodyEncoding::Windows1252},                    // a sequence cut short
        {kMark + "\xED\xA0\x80", BodyEncoding::Windows1252},            // a surrogate
        {kMark + "\xC0\xAF", BodyEncoding::Windows1252},                // an overlong slash
        {kMark + "\xE0\x80\xAF", BodyEncoding::Windows1252},            // overlong in three bytes
        {kMark + "\xF4\x90\x80\x80", BodyEncoding::Windows1252},        // past U+10FFFF
        {kMark + "abc\x80", BodyEncoding::Windows1252},                 // a stray continuation byte
    };
    for (const auto& [body, encoding] : rows)
        EXPECT_TRUE(toldAs(body, encoding)) << ::testing::PrintToString(body);
}

TEST(Body, AWindows1252TextThatWouldReadAsUtf8IsHiddenAsUtf8)
{
    EXPECT_EQ(windows1252Body("caf\xE9"), "caf\xE9");
    // "\u00EF\u00BB\u00BFhi" in Windows-1252 is the mark and "hi".
    const std::string body = windows1252Body("\xEF\xBB\xBFhi");
    EXPECT_EQ(body, kMark + "\xC3\xAF\xC2\xBB\xC2\xBFhi");
    EXPECT_EQ(bodyEncoding(body), BodyEncoding::Utf8);
    EXPECT_EQ(utf16ToUtf8(u"a\xD800"), std::nullopt) << "a lone surrogate has no UTF-8";
}

// Each row is checked against the reader itself where the reader would cut it.
TEST(Body, TextsThatWouldReadBackCutShortAreFound)
{
    const std::pair<std::string, std::optional<std::int64_t>> rows[] = {
        {"Please send message to Bob by Friday", 8},
        {"weekend message", 4},
        {"friend message", 3},
        {"it ends in end messag", 11},         // the end marker's own "e" completes it
        {"nd message at the start", -1},       // the start marker's last "e" begins it
        {"nd messag", -1},                     // ... and the end marker ends it
        {"End message and send-message", std::nullopt},
        {"nd messages", -1},
        {"", std::nullopt},
        {"e", std::nullopt},
        {kMark + "end message", 3},
        {kMark + "nd message", std::nullopt},  // the mark stands between
    };
    for (const auto& [body, at] : rows) {
        EXPECT_EQ(cutShortAt(body), at) << body;
        if (at.value_or(-1) < 0)
            continue;
        Canvas canvas(60, 60);
        ASSERT_EQ(hideBytes(canvas.surface(), body).outcome, HideOutcome::Hidden);
        EXPECT_EQ(readMessage(canvas.surface()).text, body.substr(0, static_cast<std::size_t>(*at))) << body;
    }
}

// The scanner's seams: a marker split between pieces anywhere, and pieces
// handed on in order whatever their sizes.
TEST(Scanner, FindsTheEndMarkerAcrossAnySplitOfThePieces)
{
    const std::string text = std::string(300, 'x') + "tail end messa";  // almost a marker at the seam
    const std::string body = text + std::string(kEndMarker) + "after";
    for (std::size_t first = 0; first <= body.size(); first += 7) {
        for (const std::size_t second : {std::size_t(1), std::size_t(5), std::size_t(10), std::size_t(64)}) {
            std::string received;
            MessageScanner scanner([&](std::string_view piece) { received.append(piece); return true; });
            for (const char c : kStartMarker)
                for (int k = 2; k >= 0; --k)
                    ASSERT_FALSE(scanner.feedPixel((static_cast<unsigned>(static_cast<unsigned char>(c)) << 1 >> (3 * k)) & 7U));
            ASSERT_FALSE(scanner.beginBody());
            bool done = scanner.feedCharacters(std::string_view(body).substr(0, first));
            for (std::size_t at = first; at < body.size() && !done; at += second)
                done = scanner.feedCharacters(std::string_view(body).substr(at, second));
            EXPECT_EQ(scanner.outcome(), ReadOutcome::Found);
            EXPECT_EQ(received, text) << first << ' ' << second;
        }
    }
}
