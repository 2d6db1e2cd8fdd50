// mirrorvane-cli through its real binary, with no display: exit statuses,
// the exact bytes on standard output and the messages on standard error.
#include "picture/imageio.h"
#include "stego/message.h"

#include <mirrorvane/version.h>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct Outcome {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

class Cli : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    Outcome run(const QStringList& args, const QByteArray& input = {}) const
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QString::fromLatin1(name));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(MIRRORVANE_CLI), args);
        if (!process.waitForStarted())
            return {};
        process.write(input);
        process.closeWriteChannel();
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
            return {};
        return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
    }

    // A picture with every channel's low bit varied, so a lost or shifted
    // bit shows; saved under `name` in the format its suffix names.
    QString makePicture(const QString& name, int width, int height, bool palette = false) const
    {
        QImage image(width, height, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                image.setPixel(x, y, qRgb((x * 37 + y) & 0xFF, (y * 11 + x * 3) & 0xFF, (x * y) & 0xFF));
        if (palette)
            image = image.convertToFormat(QImage::Format_Indexed8);
        const QString file = path(name);
        EXPECT_TRUE(image.save(file)) << name.toStdString();
        return file;
    }

    // Hides `text` through the engine directly, then damages it as asked.
    QString makeHidden(const QString& name, int width, int height, std::string_view text, bool cutEndMarker = false) const
    {
        QImage image = picture::loadPicture(makePicture(name, width, height)).image;
        stego::PixelSurface surface = picture::surfaceOf(image);
        EXPECT_EQ(stego::hideBytes(surface, text).outcome, stego::HideOutcome::Hidden);
        if (cutEndMarker) {
            const std::int64_t p = 3 * (13 + static_cast<std::int64_t>(text.size()));  // 'e' of "end message"
            surface.pixels[(p % height) * surface.stride + p / height] ^= 0x00010000U;
        }
        EXPECT_TRUE(image.save(path(name)));
        return path(name);
    }

    QByteArray readFile(const QString& name) const
    {
        QFile file(name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QString writeFile(const QString& name, const QByteArray& bytes) const
    {
        QFile file(path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }

    QTemporaryDir m_dir;
};

const QByteArray kTooMuch = "The Message has 0.666666666666667 characters more than the image can accommodate\n";
const QByteArray kNoMessage = "THIS IMAGE DOES NOT HAVE A MIRROR VANE SECRET TEXT MESSAGE\n";

TEST_F(Cli, HelpAndVersion)
{
    const Outcome help = run({QStringLiteral("--help")});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.startsWith("Usage: mirrorvane-cli capacity PICTURE\n"));
    EXPECT_TRUE(help.err.isEmpty());

    const Outcome version = run({QStringLiteral("--version")});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, QByteArray("mirrorvane-cli ") + mirrorvane::kVersionString + "\n");
}

TEST_F(Cli, UsageErrorsExitWithOne)
{
    const QString picture = makePicture(QStringLiteral("p.png"), 20, 20);
    const QString out = path(QStringLiteral("o.bmp"));
    const struct {
        const char* why;
        QStringList args;
        const char* says;
    } rows[] = {
        {"no command", {}, "no command"},
        {"unknown command", {QStringLiteral("show"), picture}, "unknown command show"},
        {"hide without an output", {QStringLiteral("hide"), picture, QStringLiteral("--text"), QStringLiteral("x")}, "OUTPUT"},
        {"two text sources", {QStringLiteral("hide"), picture, out, QStringLiteral("--text"), QStringLiteral("x"), QStringLiteral("--text-file"), picture}, "once"},
        {"--text without a value", {QStringLiteral("hide"), picture, out, QStringLiteral("--text")}, "--text needs"},
        {"unknown option", {QStringLiteral("reveal"), picture, QStringLiteral("--loud")}, "unknown option --loud"},
        {"reveal with two pictures", {QStringLiteral("reveal"), picture, picture}, "one PICTURE"},
    };
    for (const auto& row : rows) {
        const Outcome o = run(row.args);
        EXPECT_EQ(o.status, 1) << row.why;
        EXPECT_TRUE(o.err.contains(row.says)) << row.why << ": " << o.err.toStdString();
        EXPECT_TRUE(o.out.isEmpty()) << row.why;
    }
    EXPECT_FALSE(QFile::exists(out));
}

TEST_F(Cli, Capacity)
{
    const struct {
        int width, height;
        const char* printed;
    } rows[] = {{10, 10, "9\n"}, {24, 3, "0\n"}, {5, 5, "0\n"}, {1000, 1, "309\n"}};
    for (const auto& row : rows) {
        const Outcome o = run({QStringLiteral("capacity"), makePicture(QStringLiteral("c.bmp"), row.width, row.height)});
        EXPECT_EQ(o.status, 0);
        EXPECT_EQ(o.out, row.printed) << row.width << " x " << row.height;
    }
}

TEST_F(Cli, HideWritesA24BitBmpThatRevealsTheUtf8Text)
{
    const QString picture = makePicture(QStringLiteral("p.png"), 31, 17);
    const QString out = path(QStringLiteral("out.bmp"));
    const QByteArray text = "Gr\xC3\xBC\xC3\x9F" "e, 5 \xE2\x82\xAC\r\nline two\n\t";
    const Outcome hidden = run({QStringLiteral("hide"), picture, out, QStringLiteral("--text"), QString::fromUtf8(text)});
    ASSERT_EQ(hidden.status, 0) << hidden.err.toStdString();
    EXPECT_TRUE(hidden.out.isEmpty());

    const QByteArray bmp = readFile(out);
    ASSERT_GT(bmp.size(), 54);
    EXPECT_TRUE(bmp.startsWith("BM"));
    EXPECT_EQ(bmp[28], 24) << "bits per pixel";
    EXPECT_EQ(bmp[30], 0) << "no compression";

    const Outcome revealed = run({QStringLiteral("reveal"), out});
    EXPECT_EQ(revealed.status, 0);
    EXPECT_EQ(revealed.out, text);
    EXPECT_TRUE(revealed.err.isEmpty());

    // Only low bits of the message's pixels changed; the rest is as it was.
    const QImage before = picture::loadPicture(picture).image;
    const QImage after = picture::loadPicture(out).image;
    ASSERT_EQ(after.size(), before.size());
    const std::int64_t used = 3 * (24 + QString::fromUtf8(text).size());
    for (std::int64_t p = 0; p < 31 * 17; ++p) {
        const int x = static_cast<int>(p / 17), y = static_cast<int>(p % 17);
        const QRgb a = before.pixel(x, y), b = after.pixel(x, y);
        if (p < used)
            EXPECT_EQ(a & 0xFEFEFE, b & 0xFEFEFE) << "pixel " << p;
        else
            EXPECT_EQ(a, b) << "pixel " << p;
    }
}

TEST_F(Cli, TextComesFromStandardInputOrAFile)
{
    const QString picture = makePicture(QStringLiteral("p.png"), 30, 30, true);
    const QByteArray text = "from somewhere\r\n\xC3\xA9t\xC3\xA9";
    const QString textFile = writeFile(QStringLiteral("t.txt"), text);
    const QList<std::pair<QStringList, QByteArray>> ways = {
        {{}, text},
        {{QStringLiteral("--text-file"), QStringLiteral("-")}, text},
        {{QStringLiteral("--text-file"), textFile}, {}},
        {{QStringLiteral("--text-file=") + textFile}, {}},
    };
    for (const auto& [options, input] : ways) {
        const QString out = path(QStringLiteral("o.bmp"));
        const Outcome hidden = run(QStringList{QStringLiteral("hide"), picture, out} + options, input);
        ASSERT_EQ(hidden.status, 0) << options.join(' ').toStdString() << hidden.err.toStdString();
        EXPECT_EQ(run({QStringLiteral("reveal"), out}).out, text) << options.join(' ').toStdString();
    }
}

TEST_F(Cli, RawBytesGoInAndComeOutAsTheyStand)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(static_cast<char>(b));
    all.replace("end message", "");
    const QString picture = makePicture(QStringLiteral("p.jpg"), 40, 30);  // lossy input is fine: the output is BMP
    const QString out = path(QStringLiteral("o.bmp"));
    const Outcome hidden = run({QStringLiteral("hide"), picture, out, QStringLiteral("--raw")}, all);
    ASSERT_EQ(hidden.status, 0) << hidden.err.toStdString();
    EXPECT_EQ(run({QStringLiteral("reveal"), out, QStringLiteral("--raw")}).out, all);

    const QByteArray utf8 = run({QStringLiteral("reveal"), out}).out;
    EXPECT_TRUE(utf8.contains("\xE2\x82\xAC")) << "byte 0x80 reads as the euro sign";
    EXPECT_TRUE(utf8.contains("\xC2\x81")) << "an undefined byte reads as its control character";
    EXPECT_EQ(QString::fromUtf8(utf8).size(), 256);
}

TEST_F(Cli, RefusalsWriteNoOutput)
{
    const QString picture = makePicture(QStringLiteral("p.png"), 10, 10);
    const QString out = path(QStringLiteral("o.bmp"));

    Outcome o = run({QStringLiteral("hide"), picture, out, QStringLiteral("--text"), QStringLiteral("0123456789")});
    EXPECT_EQ(o.status, 4);
    EXPECT_EQ(o.err, kTooMuch);
    EXPECT_FALSE(QFile::exists(out));

    o = run({QStringLiteral("hide"), picture, out, QStringLiteral("--text"), QStringLiteral("a\u2603b\U0001F600")});
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(o.err.contains("\xE2\x98\x83 (U+2603), \xF0\x9F\x98\x80 (U+1F600)")) << o.err.toStdString();
    EXPECT_FALSE(QFile::exists(out));

    o = run({QStringLiteral("hide"), picture, out}, "caf\xE9");
    EXPECT_EQ(o.status, 1) << "Latin-1 bytes are not UTF-8";
    EXPECT_TRUE(o.err.contains("--raw"));

    // An existing output survives a refusal untouched.
    writeFile(QStringLiteral("o.bmp"), "keep me");
    EXPECT_EQ(run({QStringLiteral("hide"), picture, out, QStringLiteral("--text"), QStringLiteral("0123456789")}).status, 4);
    EXPECT_EQ(readFile(out), "keep me");
}

TEST_F(Cli, RevealWithoutAMessage)
{
    Outcome o = run({QStringLiteral("reveal"), makePicture(QStringLiteral("plain.png"), 20, 20)});
    EXPECT_EQ(o.status, 3);
    EXPECT_EQ(o.err, kNoMessage);
    EXPECT_TRUE(o.out.isEmpty());

    o = run({QStringLiteral("reveal"), makeHidden(QStringLiteral("cut.png"), 20, 20, "lost", true)});
    EXPECT_EQ(o.status, 3);
    EXPECT_TRUE(o.err.contains("no end marker")) << o.err.toStdString();
    EXPECT_TRUE(o.out.isEmpty());

    o = run({QStringLiteral("reveal"), makePicture(QStringLiteral("tiny.png"), 6, 6)});
    EXPECT_EQ(o.status, 3) << "too small to hold the start marker";
    EXPECT_EQ(o.err, kNoMessage);
}

TEST_F(Cli, EncryptedTextIsRevealedWithTheNotice)
{
    const QString encrypted = makeHidden(QStringLiteral("e.png"), 30, 30, "xK 01y\xE9 Kz");
    const Outcome o = run({QStringLiteral("reveal"), encrypted});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, "xK 01y\xC3\xA9 Kz");
    EXPECT_EQ(o.err, "You have an Encrypted Text Message!\nYou require Lockharbour (and the Password)\n"
                     "to Decrypt and read this message!\n\nLockharbour is available from www.lockharbour.example\n");

    const Outcome half = run({QStringLiteral("reveal"), makeHidden(QStringLiteral("h.png"), 30, 30, "only Kk02")});
    EXPECT_EQ(half.status, 0);
    EXPECT_TRUE(half.err.isEmpty());
}

TEST_F(Cli, FileErrorsNameTheFile)
{
    const QString notAPicture = writeFile(QStringLiteral("notes.png"), "just words");
    Outcome o = run({QStringLiteral("reveal"), notAPicture});
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(o.err.contains("notes.png")) << o.err.toStdString();

    const QString picture = makePicture(QStringLiteral("p.png"), 20, 20);
    const QString unwritable = path(QStringLiteral("no/such/folder/o.bmp"));
    o = run({QStringLiteral("hide"), picture, unwritable, QStringLiteral("--text"), QStringLiteral("hi")});
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(o.err.contains("folder")) << o.err.toStdString();

    o = run({QStringLiteral("hide"), picture, path(QStringLiteral("o.bmp")), QStringLiteral("--text-file"), path(QStringLiteral("missing.txt"))});
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(o.err.contains("missing.txt")) << o.err.toStdString();
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("o.bmp"))));
}

}  // namespace
