// mirrorvane-cli through its real binary, with no display: exit statuses, the
// exact bytes on standard output and the messages on standard error.
#include "picture/imageio.h"

#include <mirrorvane/version.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct Outcome {
    int status = -1;
    QByteArray out, err;
};

class Cli : public ::testing::Test {
protected:
    QString path(const QString& name) const { return m_dir.filePath(name); }

    Outcome run(const QStringList& args, const QByteArray& input = {}) const
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QString::fromLatin1(name));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(MIRRORVANE_CLI), args);
        process.write(input);
        process.closeWriteChannel();
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
            return {};
        return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
    }

    // Low bits vary from pixel to pixel, so a lost or shifted bit shows.
    QImage pattern(int width, int height) const
    {
        QImage image(width, height, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                image.setPixel(x, y, qRgb((x * 37 + y) & 0xFF, (y * 11 + x * 3) & 0xFF, (x * y) & 0xFF));
        return image;
    }

    QString save(const QImage& image, const QString& name) const
    {
        EXPECT_TRUE(image.save(path(name))) << name.toStdString();
        return path(name);
    }

    // A picture with `text` hidden by the engine, optionally with its end marker spoilt.
    QString hidden(std::string_view text, bool spoilEnd = false) const
    {
        QImage image = pattern(30, 30);
        stego::PixelSurface surface = picture::surfaceOf(image);
        EXPECT_EQ(stego::hideBytes(surface, text).outcome, stego::HideOutcome::Hidden);
        if (spoilEnd) {
            const std::int64_t p = 3 * (13 + static_cast<std::int64_t>(text.size()));
            surface.pixels[(p % 30) * surface.stride + p / 30] ^= 0x00010000U;
        }
        return save(image, QStringLiteral("hidden.png"));
    }

    QByteArray read(const QString& file) const
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QString write(const QString& name, const QByteArray& bytes) const
    {
        QFile f(path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    }

    QTemporaryDir m_dir;
};

const QString kHide = QStringLiteral("hide"), kReveal = QStringLiteral("reveal"), kText = QStringLiteral("--text");

TEST_F(Cli, HelpVersionCapacityAndUsageErrors)
{
    EXPECT_TRUE(run({QStringLiteral("--help")}).out.startsWith("Usage: mirrorvane-cli capacity PICTURE\n"));
    EXPECT_EQ(run({QStringLiteral("--version")}).out, QByteArray("mirrorvane-cli ") + mirrorvane::kVersionString + "\n");
    EXPECT_EQ(run({QStringLiteral("capacity"), save(pattern(10, 10), QStringLiteral("c.bmp"))}).out, "9\n");
    EXPECT_EQ(run({QStringLiteral("capacity"), save(pattern(5, 5), QStringLiteral("c.bmp"))}).out, "0\n");

    const QString picture = save(pattern(20, 20), QStringLiteral("p.png")), out = path(QStringLiteral("o.bmp"));
    const QList<QStringList> wrong = {
        {}, {QStringLiteral("show"), picture}, {kHide, picture, kText, QStringLiteral("x")},
        {kHide, picture, out, kText, QStringLiteral("x"), QStringLiteral("--text-file"), picture},
        {kReveal, picture, QStringLiteral("--loud")},
    };
    for (const QStringList& args : wrong) {
        const Outcome o = run(args);
        EXPECT_EQ(o.status, 1) << args.join(' ').toStdString();
        EXPECT_TRUE(o.err.startsWith("mirrorvane-cli: ")) << o.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(out));
}

TEST_F(Cli, HideWritesA24BitBmpThatRevealsTheUtf8Text)
{
    const QImage before = pattern(31, 17);
    const QString out = path(QStringLiteral("out.bmp"));
    const QByteArray text = "Gr\xC3\xBC\xC3\x9F" "e, 5 \xE2\x82\xAC\r\nline two\n\t";
    const Outcome hiddenRun = run({kHide, save(before, QStringLiteral("p.png")), out, kText, QString::fromUtf8(text)});
    ASSERT_EQ(hiddenRun.status, 0) << hiddenRun.err.toStdString();
    EXPECT_TRUE(hiddenRun.out.isEmpty());

    const QByteArray bmp = read(out);
    ASSERT_GT(bmp.size(), 54);
    EXPECT_TRUE(bmp.startsWith("BM") && bmp[28] == 24 && bmp[30] == 0) << "uncompressed 24-bit";
    const Outcome revealed = run({kReveal, out});
    EXPECT_EQ(revealed.status, 0);
    EXPECT_EQ(revealed.out, text);
    EXPECT_TRUE(revealed.err.isEmpty());

    // Only low bits of the message's pixels changed.
    const QImage after = picture::loadPicture(out).image;
    const std::int64_t used = 3 * (24 + QString::fromUtf8(text).size());
    for (std::int64_t p = 0; p < 31 * 17; ++p) {
        const QRgb a = before.pixel(int(p / 17), int(p % 17)), b = after.pixel(int(p / 17), int(p % 17));
        EXPECT_EQ(a & (p < used ? 0xFEFEFEU : 0xFFFFFFU), b & (p < used ? 0xFEFEFEU : 0xFFFFFFU)) << "pixel " << p;
    }
}

TEST_F(Cli, TextFromStandardInputOrAFileAndRawBytes)
{
    const QString palette = save(pattern(30, 30).convertToFormat(QImage::Format_Indexed8), QStringLiteral("p.png"));
    const QString out = path(QStringLiteral("o.bmp"));
    const QByteArray text = "from somewhere\r\n\xC3\xA9t\xC3\xA9";
    const QString file = write(QStringLiteral("t.txt"), text);
    for (const auto& [options, input] : QList<std::pair<QStringList, QByteArray>>{
             {{}, text}, {{QStringLiteral("--text-file"), QStringLiteral("-")}, text}, {{QStringLiteral("--text-file"), file}, {}}}) {
        ASSERT_EQ(run(QStringList{kHide, palette, out} + options, input).status, 0) << options.join(' ').toStdString();
        EXPECT_EQ(run({kReveal, out}).out, text) << options.join(' ').toStdString();
    }

    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(static_cast<char>(b));
    const QString jpeg = save(pattern(40, 30), QStringLiteral("p.jpg"));  // lossy input is fine: the output is BMP
    ASSERT_EQ(run({kHide, jpeg, out, QStringLiteral("--raw")}, all).status, 0);
    EXPECT_EQ(run({kReveal, out, QStringLiteral("--raw")}).out, all);
    const QByteArray utf8 = run({kReveal, out}).out;
    EXPECT_TRUE(utf8.contains("\xE2\x82\xAC") && utf8.contains("\xC2\x81")) << "0x80 is the euro sign, 0x81 its control character";
    EXPECT_EQ(QString::fromUtf8(utf8).size(), 256);
}

TEST_F(Cli, RefusalsWriteNoOutput)
{
    const QString picture = save(pattern(10, 10), QStringLiteral("p.png")), out = path(QStringLiteral("o.bmp"));
    Outcome o = run({kHide, picture, out, kText, QStringLiteral("0123456789")});
    EXPECT_EQ(o.status, 4);
    EXPECT_EQ(o.err, "The Message has 0.666666666666667 characters more than the image can accommodate\n");

    o = run({kHide, picture, out, kText, QStringLiteral("a\u2603b\U0001F600")});
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(o.err.contains("\xE2\x98\x83 (U+2603), \xF0\x9F\x98\x80 (U+1F600)")) << o.err.toStdString();

    o = run({kHide, picture, out}, "caf\xE9");
    EXPECT_EQ(o.status, 1) << "Latin-1 is not UTF-8";
    EXPECT_FALSE(QFile::exists(out));

    write(QStringLiteral("o.bmp"), "keep me");
    EXPECT_EQ(run({kHide, picture, out, kText, QStringLiteral("0123456789")}).status, 4);
    EXPECT_EQ(read(out), "keep me");
}

TEST_F(Cli, RevealOutcomes)
{
    Outcome o = run({kReveal, save(pattern(20, 20), QStringLiteral("plain.png"))});
    EXPECT_EQ(o.status, 3);
    EXPECT_EQ(o.err, "THIS IMAGE DOES NOT HAVE A MIRROR VANE SECRET TEXT MESSAGE\n");
    EXPECT_TRUE(o.out.isEmpty());

    o = run({kReveal, hidden("lost", true)});
    EXPECT_EQ(o.status, 3);
    EXPECT_TRUE(o.err.contains("no end marker")) << o.err.toStdString();

    o = run({kReveal, hidden("xK 01y\xE9 Kz")});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, "xK 01y\xC3\xA9 Kz");
    EXPECT_EQ(o.err, "You have an Encrypted Text Message!\nYou require Lockharbour (and the Password)\n"
                     "to Decrypt and read this message!\n\nLockharbour is available from www.lockharbour.example\n");
}

TEST_F(Cli, FileErrorsNameTheFile)
{
    const QString picture = save(pattern(20, 20), QStringLiteral("p.png"));
    const QList<std::pair<QStringList, QByteArray>> cases = {
        {{kReveal, write(QStringLiteral("notes.png"), "just words")}, "notes.png"},
        {{kHide, picture, path(QStringLiteral("no/such/folder/o.bmp")), kText, QStringLiteral("hi")}, "folder"},
        {{kHide, picture, path(QStringLiteral("o.bmp")), QStringLiteral("--text-file"), path(QStringLiteral("missing.txt"))}, "missing.txt"},
    };
    for (const auto& [args, named] : cases) {
        const Outcome o = run(args);
        EXPECT_EQ(o.status, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(o.err.contains(named)) << o.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("o.bmp"))));
}

}  // namespace
