// mirrorvane-cli and texts outside Windows-1252, texts that would read back
// cut short, and the too-much-text figures.
#include "clitest.h"

namespace clitest {
namespace {

const std::string kUtf8 = "--utf8";
const QByteArray kMark = "\xEF\xBB\xBF";

// ASCII, Latin-1, Latin Extended, Greek, Cyrillic, CJK, astral emoji,
// combining marks, U+FEFF inside, a line break and a C1 control.
const QByteArray kWorld = "ASCII \xC3\xA9\xC3\x9F \xC5\x81\xC3\xB3" "d\xC5\xBA \xC4\xB0stanbul Dvo\xC5\x99\xC3\xA1k "
                          "\xCE\xB1\xCE\xB2 \xD0\x96\xD0\xB8 \xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80 e\xCC\x81 "
                          "in\xEF\xBB\xBFside\r\nC1:\xC2\x9B.";

TEST_F(Cli, Utf8TextsRoundTripOnEveryRoad)
{
    const QImage image = patternImage(50, 40);
    const std::string bmp = save(image, "in.bmp"), png = save(image, "in.png");
    const struct { const char* why; std::vector<std::string> args; QByteArray input; } rows[] = {
        {"in place, --text", {kHide, bmp, path("a.bmp"), kText, kWorld.toStdString(), kUtf8}, {}},
        {"decoded PNG, standard input as text, PNG out", {kHide, png, path("c.png"), kUtf8}, kWorld},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_EQ(roundTrip(row.args, row.input), kWorld);
        EXPECT_EQ(run({kReveal, row.args[2], "--raw"}).out, kMark + kWorld) << "--raw keeps the mark";
        EXPECT_EQ(run({kReveal, "-"}, read(row.args[2])).out, kWorld) << "read from standard input";
    }
    // On a terminal the C1 control is escaped like any other.
    const Outcome shown = run({kReveal, path("a.bmp")}, {}, Stream::Terminal);
    EXPECT_TRUE(ended(shown, 0, "shown as \\xHH") && shown.out.contains("C1:\\xC2\\x9B.") && shown.out.contains("\xC5\x81"))
        << shown.out.toStdString();

    // The encrypted-text markers are looked for in the decoded text.
    ASSERT_EQ(run({kHide, bmp, path("e.bmp"), kText, "K 01 \xC3\xA9 K \xC5\x81", kUtf8}).status, 0);
    EXPECT_TRUE(ended(run({kReveal, path("e.bmp")}), 0, "You have an Encrypted Text Message!"));

    // A Windows-1252 text is hidden as always, --utf8 or not.
    ASSERT_EQ(run({kHide, bmp, path("plain.bmp"), kText, "caf\xC3\xA9"}).status, 0);
    ASSERT_EQ(run({kHide, bmp, path("plain8.bmp"), kText, "caf\xC3\xA9", kUtf8}).status, 0);
    EXPECT_EQ(read(path("plain.bmp")), read(path("plain8.bmp")));
}

TEST_F(Cli, TextsThatNeedUtf8OrWouldBeCutShortAreRefused)
{
    const std::string picture = save(patternImage(40, 40), "p.bmp"), out = path("o.bmp");
    // The engine's tests hold every cut-short case; these prove each road asks.
    const struct { const char* why; std::vector<std::string> options; QByteArray said; } rows[] = {
        {"outside Windows-1252", {kText, "\xC5\x81\xC3\xB3" "d\xC5\xBA"}, "--utf8 hides it as UTF-8"},
        {"--raw with --utf8", {kText, "x", "--raw", kUtf8}, "--raw and --utf8"},
        {"the marker inside", {kText, "Please send message to Bob by Friday"}, "\"end message\""},
        {"a UTF-8 text", {kText, "\xC5\x81 end message", kUtf8}, "\"end message\""},
        {"raw bytes", {kText, "friend message", "--raw"}, "\"end message\""},
    };
    for (const auto& row : rows)
        EXPECT_TRUE(ended(run(joined({kHide, picture, out}, row.options)), 1, row.said)) << row.why;
    EXPECT_FALSE(exists(out));
}

TEST_F(Cli, TooMuchTextIsCountedExactlyInItsOwnUnits)
{
    // 10 x 10 holds a body of 9 bytes: a UTF-8 text has 6 after the mark.
    const std::string picture = save(patternImage(10, 10), "p.png"), out = path("o.bmp");
    EXPECT_EQ(roundTrip({kHide, picture, out, kText, "\xC5\x81\xC5\x81\xC5\x81", kUtf8}), "\xC5\x81\xC5\x81\xC5\x81") << "exactly full";
    EXPECT_TRUE(ended(run({kHide, picture, out, kText, "\xC5\x81\xC5\x81\xC5\x81" "a", kUtf8}), 4,
                      "The Message has 0.666666666666667 bytes more than the image can accommodate as UTF-8\n"));

    // Eleven characters: the figure the seed gives, from every input that ends.
    const QByteArray eleven = "abcdefghijk";
    const QByteArray exact = "The Message has 1.66666666666667 characters more than the image can accommodate\n";
    EXPECT_TRUE(ended(run({kHide, picture, out, kText, eleven.toStdString()}), 4, exact));
    EXPECT_TRUE(ended(run({kHide, picture, out, "--text-file", write("t.txt", eleven)}), 4, exact));
    EXPECT_TRUE(ended(run({kHide, picture, out}, eleven), 4, exact)) << "a pipe that ends";
    const QByteArray many(3 << 20, 'm');
    EXPECT_TRUE(ended(run({kHide, picture, out, "--text-file", write("many.txt", many)}), 4, "has 3145718.66666667 characters"))
        << "a regular file is counted to its end";
}

}  // namespace
}  // namespace clitest
