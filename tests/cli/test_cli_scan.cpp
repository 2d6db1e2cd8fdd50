// check, capacity over several pictures and reveal -o, through the real binary.
#include "clitest.h"

#include "imagefile/messagecolumns.h"
#include "imagefile/pngwriter.h"

namespace clitest {
namespace {

// 50 rows: a PNG's start-marker test reads only its top 40.
QImage carrying(const char* text)
{
    QImage image = patternImage(40, 50);
    EXPECT_EQ(stego::hideBytes(imagefile::surfaceOf(image), text).outcome, stego::HideOutcome::Hidden);
    return image;
}

TEST_F(Cli, CheckNamesThePicturesThatCarryAMessage)
{
    // Read in place, decoded, and names a line-based reader would trip on.
    const std::string bmp = save(carrying("one"), "with space.bmp");
    const std::string png = save(carrying("two"), "tab\tand\nbreak.png");
    const std::string plain = save(patternImage(40, 50), "plain.png"), plainBmp = save(patternImage(40, 30), "plain.bmp");
    const std::string damaged = save(damagedImage(), "damaged.bmp");
    const std::string tiny = save(patternImage(5, 5), "tiny.png");  // too small to hold a start marker
    const std::string junk = write("junk.png", "not a picture");
    const QByteArray bmpLine = QByteArray::fromStdString(bmp) + "\n";
    const QByteArray pngEscaped = QByteArray::fromStdString(path("tab\\x09and\\x0Abreak.png")) + "\n";
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
