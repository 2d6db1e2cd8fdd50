// The streaming BMP commands as a program of their own, with the command
// line of mirrorvane-cli's hide and reveal (--raw text only), so that
// bench/cli-bench.sh can measure them whole-process on any build:
//   mirrorvane-stream-driver hide PICTURE OUTPUT --text-file FILE --raw
//   mirrorvane-stream-driver reveal PICTURE --raw
// Exit status: 0 done, 1 usage, 2 file error, 3 no message, 4 too much text.

#include "fileio/fileio.h"
#include "picture/bmpstream.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

namespace {

int fail(int status, const QString& sentence)
{
    std::fprintf(stderr, "mirrorvane-stream-driver: %s\n", qPrintable(sentence));
    return status;
}

int reveal(const QString& path)
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return fail(2, in.errorString());
    const picture::BmpReveal revealed = picture::revealBmp(in, [](QByteArrayView piece) {
        return std::fwrite(piece.data(), 1, static_cast<std::size_t>(piece.size()), stdout) == static_cast<std::size_t>(piece.size());
    });
    if (!revealed.error.isEmpty())
        return fail(2, revealed.error);
    if (revealed.sinkFailed || std::fflush(stdout) != 0 || std::ferror(stdout) != 0)
        return fail(2, QStringLiteral("cannot write the text"));
    return revealed.result.outcome == stego::ReadOutcome::Found ? 0 : 3;
}

int hide(const QString& path, const QString& output, const QString& textFile)
{
    const fileio::ReadResult text = fileio::readRegularFile(textFile, qint64(1) << 30);
    if (!text.ok())
        return fail(2, text.error);
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return fail(2, in.errorString());
    fileio::AtomicFile out(output);
    if (!out.open())
        return fail(2, out.errorString());
    const picture::BmpHide hidden = picture::hideBmp(
        in, std::string_view(text.bytes.constData(), static_cast<std::size_t>(text.bytes.size())),
        [&](QByteArrayView block) { return out.write(block); });
    if (hidden.report.outcome == stego::HideOutcome::TooMuchText)
        return 4;
    if (!hidden.error.isEmpty())
        return fail(2, hidden.error);
    if (hidden.sinkFailed || !out.commit())
        return fail(2, out.errorString());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 4 && args[1] == QLatin1String("reveal"))
        return reveal(args[2]);
    if (args.size() == 7 && args[1] == QLatin1String("hide") && args[4] == QLatin1String("--text-file"))
        return hide(args[2], args[3], args[5]);
    return fail(1, QStringLiteral("usage: hide PICTURE OUTPUT --text-file FILE --raw | reveal PICTURE --raw"));
}
