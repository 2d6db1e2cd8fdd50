// mirrorvane-cli's statuses, output bytes, messages and written pictures.
#include "clitest.h"
#include "imagefile/bmpfiles.h"
#include "imagefile/hostilefiles.h"
#include "imagefile/webpfiles.h"

#include <mirrorvane/version.h>

#include <QFileInfo>

namespace clitest {
namespace {

using imagefiletest::sameRgb;

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
    const QByteArray text = "from somewhere\r\n\xC3\xA9t\xC3\xA9", mark = "\xEF\xBB\xBF";
    const std::string file = write("t.txt", text), notepad = write("notepad.txt", mark + text);
    const struct { const char* why; std::vector<std::string> options; QByteArray input, revealed; } rows[] = {
        {"standard input", {}, text, text},
        {"standard input named -", {"--text-file", "-"}, text, text},
        {"a file", {"--text-file", file}, {}, text},
        {"a file as Notepad writes it: the mark is not text", {"--text-file", notepad}, {}, text},
        {"only the mark: an empty text", {}, mark, ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(roundTrip(joined({kHide, palette, out}, row.options), row.input), row.revealed) << row.why;
    const Outcome past = run({kHide, palette, out}, "a" + mark);
    EXPECT_TRUE(ended(past, 1, "U+FEFF") && !past.err.contains(mark)) << "a mark past the start is a character, named by its code";

    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(static_cast<char>(b));
    const std::string jpeg = save(patternImage(40, 30), "p.jpg");  // lossy input is fine: the output is lossless
    ASSERT_EQ(run({kHide, jpeg, out, "--raw"}, mark + all).status, 0);
    EXPECT_EQ(run({kReveal, out, "--raw"}).out, mark + all) << "raw bytes keep what looks like a mark";
    const QByteArray utf8 = run({kReveal, out}).out;
    EXPECT_TRUE(utf8.contains("\xE2\x82\xAC") && utf8.contains("\xC2\x81")) << "0x80 is the euro sign, 0x81 its control character";
    EXPECT_EQ(QString::fromUtf8(utf8).size(), 259);
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
    ASSERT_TRUE(QFile::copy(QStringLiteral(MIRRORVANE_CLI), QString::fromStdString(program)));
    const auto module = [&](const char* built) { return modules + QLatin1Char('/') + QFileInfo(QString::fromUtf8(built)).fileName(); };
    ASSERT_TRUE(QFile::copy(QStringLiteral(MIRRORVANE_CLI_JPEG), module(MIRRORVANE_CLI_JPEG)));
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
    ASSERT_TRUE(QFile::remove(module(MIRRORVANE_CLI_JPEG)));
    ASSERT_TRUE(QFile::copy(QStringLiteral(MIRRORVANE_CLI_CODECS), module(MIRRORVANE_CLI_CODECS)));
    EXPECT_EQ(runCopy({"check", path("in.jpg")}).status, 3);
}

}  // namespace
}  // namespace clitest
