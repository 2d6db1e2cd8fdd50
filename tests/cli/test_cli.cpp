// mirrorvane-cli's commands through the real binary: statuses, output
// bytes, messages and written pictures; texts in any language, refused when
// they would read back cut short; check, capacity of several pictures and
// reveal -o.
#include "clitest.h"
#include "imagefile/bmpfiles.h"
#include "imagefile/hostilefiles.h"
#include "imagefile/messagecolumns.h"
#include "imagefile/pngwriter.h"
#include "imagefile/webpfiles.h"

#include <mirrorvane/version.h>

#include <QFileInfo>

namespace clitest {
namespace {

using imagefiletest::sameRgb;

const std::string kUtf8 = "--utf8";
const QByteArray kMark = "\xEF\xBB\xBF";

// ASCII, Latin-1, Latin Extended, Greek, Cyrillic, CJK, astral emoji,
// combining marks, U+FEFF inside, a line break and a C1 control.
const QByteArray kWorld = "ASCII \xC3\xA9\xC3\x9F \xC5\x81\xC3\xB3" "d\xC5\xBA \xC4\xB0stanbul Dvo\xC5\x99\xC3\xA1k "
                          "\xCE\xB1\xCE\xB2 \xD0\x96\xD0\xB8 \xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80 e\xCC\x81 "
                          "in\xEF\xBB\xBFside\r\nC1:\xC2\x9B.";

// 50 rows: a PNG's start-marker test reads only its top 40.
QImage carrying(std::string_view text) { return imagefiletest::carrying(patternImage(40, 50), text); }

// A picture whose message lost its end marker: a start with no end.
QImage damagedImage()
{
    QImage image = carrying("lost");
    stego::PixelSurface surface = imagefile::surfaceOf(image);
    const std::int64_t p = 3 * (13 + 4);  // the end marker's first pixel, by columns
    surface.pixels[(p % 50) * surface.stride + p / 50] ^= 0x00010000U;
    return image;
}

TEST_F(Cli, HelpVersionCapacityAndUsageErrors)
{
    const Outcome help = run({"--help"});
    EXPECT_TRUE(help.out.startsWith("Usage: mirrorvane-cli capacity PICTURE...\n"));
    EXPECT_TRUE(help.out.contains("-h, --help")) << "-h is documented where --help is";
    EXPECT_EQ(run({"-h"}).out, help.out);
    EXPECT_EQ(run({"--version"}).out, QByteArray("mirrorvane-cli ") + mirrorvane::kVersionString + "\n");
    EXPECT_EQ(run({"capacity", save(patternImage(5, 5), "c.png")}).out, "0\n");

    const std::string picture = save(patternImage(20, 20), "p.png"), out = path("o.bmp");
    const std::vector<std::vector<std::string>> wrong = {
        {}, {"show", picture}, {kHide, picture, kText, "x"},
        {kHide, picture, out, kText, "x", "--text-file", picture},
        {kHide, picture, out, kText, "x", "--format", "gif"},
        {kHide, picture, out, kText, "x", "--format", "png", "--format=bmp"},
        {kReveal, picture, "--loud"}, {kReveal, picture, "--format=png"},
    };
    for (const auto& args : wrong)
        EXPECT_TRUE(ended(run(args), 1)) << (args.empty() ? "" : args[0]);
    EXPECT_FALSE(exists(out));
}

TEST_F(Cli, TextFromStandardInputOrAFileAndRawBytes)
{
    const std::string palette = save(patternImage(30, 30).convertToFormat(QImage::Format_Indexed8), "p.png"), out = path("o.bmp");
    const QByteArray text = "from somewhere\r\n\xC3\xA9t\xC3\xA9";
    const std::string file = write("t.txt", text), notepad = write("notepad.txt", kMark + text);
    const struct { const char* why; std::vector<std::string> options; QByteArray input, revealed; } rows[] = {
        {"standard input", {}, text, text},
        {"standard input named -", {"--text-file", "-"}, text, text},
        {"a file", {"--text-file", file}, {}, text},
        {"a file as Notepad writes it: the mark is not text", {"--text-file", notepad}, {}, text},
        {"only the mark: an empty text", {}, kMark, ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(roundTrip(joined({kHide, palette, out}, row.options), row.input), row.revealed) << row.why;
    const Outcome past = run({kHide, palette, out}, "a" + kMark);
    EXPECT_TRUE(ended(past, 1, "U+FEFF") && !past.err.contains(kMark)) << "a mark past the start is a character, named by its code";

    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(static_cast<char>(b));
    const std::string jpeg = save(patternImage(40, 30), "p.jpg");  // lossy input is fine: the output is lossless
    ASSERT_EQ(run({kHide, jpeg, out, "--raw"}, kMark + all).status, 0);
    EXPECT_EQ(run({kReveal, out, "--raw"}).out, kMark + all) << "raw bytes keep what looks like a mark";
    EXPECT_EQ(QString::fromUtf8(run({kReveal, out}).out).size(), 259) << "every byte one character, NUL included";
}

TEST_F(Cli, RefusalsWriteNoOutput)
{
    const std::string picture = save(patternImage(10, 10), "p.png"), out = path("o.bmp"), kept = write("kept.bmp", "keep me");
    EXPECT_TRUE(ended(run({kHide, picture, kept, kText, "0123456789"}), 4, "more than the image can accommodate"));
    EXPECT_EQ(read(kept), "keep me");

    EXPECT_TRUE(ended(run({kHide, picture, out, kText, "a\u2603b\U0001F600"}), 1,
                      "\xE2\x98\x83 (U+2603), \xF0\x9F\x98\x80 (U+1F600)\n"));
    // Twelve distinct offenders (U+0410 to U+041B): ten listed, the rest counted.
    EXPECT_TRUE(ended(run({kHide, save(patternImage(40, 40), "big.png"), out, kText,
                           "\u0410\u0411\u0412\u0413\u0414\u0415\u0416\u0417\u0418\u0419\u041A\u041B"}),
                      1, "\xD0\x99 (U+0419) and 2 more\n"));
    EXPECT_TRUE(ended(run({kHide, picture, out}, "caf\xE9"), 1)) << "Latin-1 is not UTF-8";
    EXPECT_TRUE(ended(run({kHide, picture, out}, "\xC3"), 1)) << "a sequence cut short by the end of the input";

    // A lossy name would lose the text on the next save; --format says the user knows.
    for (const char* name : {"o.jpg", "o.JPEG", "o.Gif"})
        EXPECT_TRUE(ended(run({kHide, picture, path(name), kText, "x"}), 1, "would destroy the hidden text")) << name;
    ASSERT_EQ(run({kHide, picture, path("forced.jpg"), kText, "x", "--format", "png"}).status, 0);
    EXPECT_TRUE(read(path("forced.jpg")).startsWith("\x89PNG"));
    EXPECT_EQ(testsupport::namesIn(m_dir.path()), (QStringList{"big.png", "forced.jpg", "kept.bmp", "p.png"})) << "nothing else written";
}

TEST_F(Cli, RevealOutcomes)
{
    const std::tuple<std::string, QImage, QByteArray> rows[] = {
        {"plain.png", patternImage(20, 20), "THIS IMAGE DOES NOT HAVE A MIRROR VANE SECRET TEXT MESSAGE\n"},
        {"spoilt.bmp", damagedImage(), "The image starts with a Mirror Vane secret text message, but the message has no end marker.\n"}};
    for (const auto& [name, image, said] : rows) {
        const Outcome o = run({kReveal, save(image, name)});
        EXPECT_TRUE(o.status == 3 && o.err == "mirrorvane-cli: " + said && o.out.isEmpty()) << o.err.toStdString();
    }
}

TEST_F(Cli, FileErrorsNameTheFile)
{
    const std::string picture = save(patternImage(20, 20), "p.png");
    const QByteArray bmp = read(save(patternImage(57, 33), "whole.bmp"));
    const std::vector<std::pair<std::vector<std::string>, QByteArray>> cases = {
        {{kReveal, write("notes.png", "just words")}, "notes.png"},
        {{kReveal, write("cut.bmp", bmp.left(bmp.size() - 100))}, "cut.bmp"},  // not read past its end
        {{kReveal, path("no\x1B]2;title\x07.bmp")}, "no\\x1B]2;title\\x07.bmp"},
        {{kHide, picture, path("no/such/folder/o.bmp"), kText, "hi"}, "folder"},
        {{kHide, picture, path("o.bmp"), "--text-file", path("missing.txt")}, "missing.txt"},
        {{kHide, picture, path("o.bmp"), "--text-file", m_dir.path().toStdString()}, ": Is a directory"},
        {{kReveal, m_dir.path().toStdString()}, ": Is a directory"},
    };
    for (const auto& [args, named] : cases) {
        const Outcome o = run(args);
        EXPECT_TRUE(ended(o, 2, named) && !o.err.contains('\x1B') && !o.err.contains('\x07'))
            << o.err.toStdString() << ": named, and names cannot drive the terminal";
    }
    EXPECT_FALSE(exists(path("o.bmp")));
}

TEST_F(Cli, EveryRouteHidesTheSamePixelsAndRevealsTheUtf8Text)
{
    // 24 and 32-bit BMPs are read in place (a 32-bit one rewritten as 24-bit),
    // a PNG decoded; the output is a PNG by --format, else by its extension
    // in any case, else a 24-bit BMP, whatever the input's layout.
    const QImage image = patternImage(57, 33);
    const QByteArray text = "Gr\xC3\xBC\xC3\x9F" "e, 5 \xE2\x82\xAC\r\nline two\n\t";
    const std::string bmp = save(image, "in24.bmp");
    const struct { const char* why; std::string input, output; std::vector<std::string> options; bool png; } rows[] = {
        {"24-bit BMP in place", bmp, "out24.bmp", {}, false},
        {"32-bit BMP whose alpha is 0: no transparent output",
         write("in32.bmp", imagefiletest::bmpBytes(image, {.bits = 32, .infoSize = 124, .padding = 0})), "out32.bmp", {}, false},
        {"PNG decoded", save(image, "in.png"), "from-png.bmp", {}, false},
        {"PNG by extension in capitals", bmp, "OUT.PNG", {}, true},
        {"--format png whatever the name", bmp, "out.img", {"--format", "png"}, true},
        {"--format=bmp overrides .png", bmp, "forced.png", {"--format=bmp"}, false},
        {"a BMP stays the default", bmp, "out", {}, false},
    };
    QImage first;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_EQ(run({"capacity", row.input}).out, "603\n");
        const std::vector<std::string> hide = {kHide, row.input, path(row.output), kText, text.toStdString()};
        EXPECT_TRUE(gave(run(joined(hide, row.options)), "")) << "no hint when the text is given";
        EXPECT_TRUE(gave(run({kReveal, path(row.output)}), text));
        const QImage written = imagefile::loadPicture(QString::fromStdString(path(row.output))).image;
        first = first.isNull() ? written : first;
        EXPECT_TRUE(sameRgb(written, first)) << "the same pixels whatever the road";
        const QByteArray bytes = read(path(row.output));
        EXPECT_TRUE(row.png ? bytes.startsWith("\x89PNG\r\n\x1A\n") : bytes.startsWith("BM") && bytes[28] == 24 && bytes[30] == 0)
            << "a PNG, or an uncompressed 24-bit BMP";
    }
}

TEST_F(Cli, WebpPicturesAreRead)
{
    // The kinds of WebP are the decoder's own test; this one proves the tool reaches it.
    const std::string input = write("in.webp", imagefiletest::webpAnimation({patternImage(40, 30), patternImage(40, 30, 5)}));
    EXPECT_EQ(run({"capacity", input}).out, "376\n");
    EXPECT_EQ(roundTrip({kHide, input, path("out.png"), kText, "from a WebP"}), "from a WebP");
}

TEST_F(Cli, WithoutItsCodecsModuleTheToolStillReadsBmpsInPlaceAndChecksJpegs)
{
    // A copy of the program with only its JPEG module where it looks: an
    // install that lost the codecs, or a program copied out of its tree.
    const std::string program = path("bin/mirrorvane-cli");
    const QString modules = QString::fromStdString(folder("bin/" MIRRORVANE_MODULES_FROM_BINDIR));
    const auto module = [&](const char* built) { return modules + QLatin1Char('/') + QFileInfo(QString::fromUtf8(built)).fileName(); };
    ASSERT_TRUE(QFile::copy(QStringLiteral(MIRRORVANE_CLI), QString::fromStdString(program))
                && QFile::copy(QStringLiteral(MIRRORVANE_CLI_JPEG), module(MIRRORVANE_CLI_JPEG)));
    const std::string bmp = save(patternImage(30, 30), "in.bmp"), png = save(patternImage(30, 30), "in.png");
    const auto runCopy = [&](std::vector<std::string> args) { return launch({.args = std::move(args), .program = program}); };

    EXPECT_EQ(roundTrip({kHide, bmp, path("out.bmp"), kText, "in place"}, {}, program), "in place");
    const QByteArray why = "the picture decoders could not be loaded";
    EXPECT_TRUE(ended(runCopy({kReveal, png}), 2, why));
    EXPECT_TRUE(ended(runCopy({kHide, bmp, path("out.png"), kText, "x"}), 2, why));
    EXPECT_FALSE(exists(path("out.png")));

    // A sequential JPEG's top rows answer without the decoders, a progressive
    // one needs them: every scan is decoded.
    const QImage photo = patternImage(40, 80);
    const Outcome sequential = runCopy({"check", save(photo, "in.jpg")});
    EXPECT_EQ(sequential.status, 3) << sequential.err.toStdString();
    EXPECT_TRUE(ended(runCopy({"check", write("progressive.jpg", imagefiletest::progressiveJpeg(photo))}), 2, why));

    // The codecs alone decode a sequential JPEG whole.
    ASSERT_TRUE(QFile::remove(module(MIRRORVANE_CLI_JPEG)) && QFile::copy(QStringLiteral(MIRRORVANE_CLI_CODECS), module(MIRRORVANE_CLI_CODECS)));
    EXPECT_EQ(runCopy({"check", path("in.jpg")}).status, 3);
}

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
    const QByteArray eleven = "abcdefghijk", exact = "The Message has 1.66666666666667 characters more than the image can accommodate\n";
    EXPECT_TRUE(ended(run({kHide, picture, out, kText, eleven.toStdString()}), 4, exact));
    EXPECT_TRUE(ended(run({kHide, picture, out, "--text-file", write("t.txt", eleven)}), 4, exact));
    EXPECT_TRUE(ended(run({kHide, picture, out}, eleven), 4, exact)) << "a pipe that ends";
    const QByteArray many(3 << 20, 'm');
    EXPECT_TRUE(ended(run({kHide, picture, out, "--text-file", write("many.txt", many)}), 4, "has 3145718.66666667 characters"))
        << "a regular file is counted to its end";
}

TEST_F(Cli, CheckNamesThePicturesThatCarryAMessage)
{
    // Read in place, decoded, and names a line-based reader would trip on.
    const std::string bmp = save(carrying("one"), "with space.bmp"), png = save(carrying("two"), "tab\tand\nbreak.png");
    const std::string plain = save(patternImage(40, 50), "plain.png"), plainBmp = save(patternImage(40, 30), "plain.bmp");
    const std::string damaged = save(damagedImage(), "damaged.bmp"), junk = write("junk.png", "not a picture");
    const std::string tiny = save(patternImage(5, 5), "tiny.png");  // too small to hold a start marker
    const QByteArray bmpLine = QByteArray::fromStdString(bmp) + "\n",
                     pngEscaped = QByteArray::fromStdString(path("tab\\x09and\\x0Abreak.png")) + "\n";
    const struct { const char* why; std::vector<std::string> args; int status; QByteArray out; QByteArray err; } rows[] = {
        {"each carrier named, in order", {bmp, plain, png, plainBmp}, 0, bmpLine + pngEscaped, {}},
        {"-0 gives names exactly", {"-0", png, bmp}, 0, QByteArray::fromStdString(png) + '\0' + QByteArray::fromStdString(bmp) + '\0', {}},
        {"none carries one", {plain, plainBmp, tiny, save(patternImage(40, 80), "plain.jpg")}, 3, {}, {}},
        {"a damaged message does not count", {damaged, plain}, 3, {}, "\"" + QByteArray::fromStdString(damaged) + "\" is damaged"},
        {"an unreadable picture after the rest", {junk, bmp}, 2, bmpLine, "junk.png"},
        {"-q: the status alone", {"-q", plain, bmp}, 0, {}, {}},
        {"-q stops at the first carrier, as grep -q", {"-q", bmp, junk}, 0, {}, {}},
        {"-q still says none", {"--quiet", plain}, 3, {}, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const Outcome o = run(joined({"check"}, row.args));
        EXPECT_EQ(o.out, row.out);
        EXPECT_TRUE(row.err.isEmpty() ? o.status == row.status && o.err.isEmpty() : bool(ended(o, row.status, row.err)))
            << o.status << " " << o.err.toStdString();
    }
    EXPECT_EQ(run({"check", "-"}, read(bmp)).out, "-\n") << "a picture from standard input";
}

TEST_F(Cli, CapacityOfSeveralPicturesIsLabelled)
{
    const std::string a = save(patternImage(10, 10), "a.bmp"), b = save(patternImage(30, 30), "b\tc.png");
    Outcome o = run({"capacity", a, b, path("missing.png"), "-"}, read(a));
    EXPECT_TRUE(ended(o, 2, "missing.png"));
    EXPECT_EQ(o.out, QByteArray("9\t") + a.c_str() + "\n276\t" + path("b\\x09c.png").c_str() + "\n9\t-\n");
    EXPECT_EQ(run({"capacity", b}).out, "276\n") << "one picture: the bare number";
    // 300 megapixels, above what the decoders take, and no pixel data at
    // all: the header alone answers.
    const std::string huge = write("huge.png", QByteArray::fromHex("89504e470d0a1a0a0000000d4948445200004e2000003a980802000000"
                                                                   "82acb44e0000000049454e44ae426082"));
    EXPECT_EQ(run({"capacity", huge}).out, "99999976\n");
    EXPECT_TRUE(ended(run({"capacity", "-", "-"}), 1, "standard input can give only one PICTURE"));
    EXPECT_TRUE(ended(run({"capacity", a, "-q"}), 1, "-q is an option of check only"));
    EXPECT_TRUE(ended(run({"check", a, "-o", path("x.txt")}), 1, "-o is an option of reveal only"));
}

TEST_F(Cli, RevealToAFileReplacesItOnlyWithAWholeText)
{
    const QByteArray text = "caf\xC3\xA9\r\nline";
    const std::string bmp = save(carrying("caf\xE9\r\nline"), "m.bmp"), png = save(carrying("caf\xE9\r\nline"), "m.png");
    for (const std::string& picture : {bmp, png}) {
        EXPECT_TRUE(gave(run({"reveal", picture, "-o", picture + ".txt"}), "")) << picture;
        EXPECT_EQ(read(picture + ".txt"), text) << picture;
    }
    EXPECT_EQ(run({"reveal", bmp, "--output=-"}).out, text) << "- is standard output";

    const std::string kept = write("kept.txt", "old text");
    ASSERT_TRUE(QFile::link(QString::fromStdString(bmp), QString::fromStdString(path("link.txt"))));
    const struct { const char* why; std::string picture, file; int status; QByteArray err; } refused[] = {
        {"no message: the old text stays", save(patternImage(40, 50), "plain.png"), kept, 3, "DOES NOT HAVE"},
        {"a damaged message: the same", save(damagedImage(), "d.png"), kept, 3, "no end marker"},
        {"a picture's name, in any case", bmp, path("out.JPG"), 1, "named like a picture"},
        {"the picture it reads", bmp, bmp, 1, "named like a picture"},
        {"the picture under another name", bmp, path("link.txt"), 1, "is the picture itself"},
        {"a folder", bmp, m_dir.path().toStdString(), 2, "Is a directory"},
    };
    for (const auto& row : refused)
        EXPECT_TRUE(ended(run({"reveal", row.picture, "-o", row.file}), row.status, row.err)) << row.why;
    EXPECT_EQ(read(kept), "old text");
    EXPECT_EQ(run({"reveal", bmp}).out, text) << "the picture is untouched";
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files).size(), 8) << "no temporary left";
}

TEST_F(Cli, AWidePngsMessageReadsTheSameWhateverColumnsItNeeds)
{
    // Five times wider than a first pass keeps (80 MB decoded).  A message
    // that ends in the kept columns is read from them alone; one a
    // character longer, from the whole picture.
    constexpr int height = 2000;
    constexpr int kept = int(imagefile::kMessageColumnsBudgetBytes / 4 / height);
    const std::size_t filling = std::size_t(kept) * height / 3 - stego::kMarkerLength;
    for (const std::string& text : {std::string("short"), std::string(filling, 'f'), std::string(filling + 1, 'p')}) {
        SCOPED_TRACE(text.size());
        const std::string picture = path("wide.png");
        {  // gone before the program starts, which counts what this process holds
            QImage image(5 * kept, height, QImage::Format_RGB32);
            image.fill(0xFF336699U);
            ASSERT_EQ(stego::hideBytes(imagefile::surfaceOf(image), text).outcome, stego::HideOutcome::Hidden);
            ASSERT_FALSE(imagefile::savePng(image, QString::fromStdString(picture)));
        }
        const Outcome o = run({"reveal", picture, "--raw"});
        EXPECT_TRUE(gave(o, QByteArray::fromStdString(text)));
        EXPECT_TRUE(kSanitized || text.size() > filling || o.peakKilobytes < 64 << 10) << o.peakKilobytes << " KB";
        EXPECT_EQ(run({"check", picture}).status, 0);
    }
}

}  // namespace
}  // namespace clitest
