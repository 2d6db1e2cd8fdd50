#include "commands.h"

#include "codecs.h"
#include "exitstatus.h"
#include "localeencoding.h"
#include "guards.h"
#include "output.h"
#include "picturesource.h"
#include "revealwriter.h"
#include "scan.h"
#include "textoutput.h"
#include "textinput.h"

#include "fileio/fileio.h"
#include "bmpfile/bmpstream.h"
#include "bmpfile/bmpwiden.h"
#include "imagefile/filenames.h"
#include "stego/codepage.h"
#include "stego/body.h"
#include "stego/message.h"
#include "stego/sentences.h"

#include <mirrorvane/version.h>

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <unistd.h>

namespace cli {

const char* const kHelp =
    "Usage: mirrorvane-cli capacity PICTURE...\n"
    "       mirrorvane-cli check [-0 | -q] PICTURE...\n"
    "       mirrorvane-cli hide PICTURE OUTPUT [--text TEXT | --text-file FILE]\n"
    "                           [--format bmp|png] [--raw | --utf8]\n"
    "       mirrorvane-cli reveal PICTURE [-o FILE] [--raw]\n"
    "\n"
    "Hides a text in the lowest bits of a picture's pixels and reads it back.\n"
    "\n"
    "  capacity  print the longest text PICTURE can hide; for several pictures,\n"
    "            one line each: the number, a tab and the name\n"
    "  check     print the name of each PICTURE that carries a hidden message,\n"
    "            one a line; a message without its end is reported as damaged\n"
    "  hide      hide a text in PICTURE and write the result to OUTPUT as an\n"
    "            uncompressed 24-bit BMP, or as a lossless PNG when OUTPUT ends\n"
    "            in .png or --format png is given; the text comes from --text,\n"
    "            from --text-file or else from standard input, exactly as given\n"
    "  reveal    write the hidden text to standard output, with no newline added;\n"
    "            on a terminal, control characters are shown as \\xHH\n"
    "\n"
    "  --text TEXT       the text to hide\n"
    "  --text-file FILE  read the text to hide from FILE; a leading UTF-8\n"
    "                    byte-order mark is dropped\n"
    "  --format bmp|png  the kind of OUTPUT, whatever its name; without it an\n"
    "                    OUTPUT named .jpg, .jpeg or .gif is refused, as that\n"
    "                    lossy format would destroy the hidden text\n"
    "  --raw             the text is bytes of the Windows-1252 code page as they\n"
    "                    stand, not UTF-8; reveal --raw writes the hidden bytes\n"
    "  --utf8            hide a text that Windows-1252 cannot hold as UTF-8 (behind\n"
    "                    the mark EF BB BF); older versions and other programs\n"
    "                    show it garbled; a Windows-1252 text is hidden as always\n"
    "  -o, --output FILE reveal writes the text to FILE, replaced only once the\n"
    "                    whole text is found; a picture's name is refused\n"
    "  -0, --null        check ends each name with a NUL byte, not a newline\n"
    "  -q, --quiet       check prints nothing and stops at the first message\n"
    "  -h, --help        show this help and exit\n"
    "  --version         show the version and exit\n"
    "\n"
    "A PICTURE, OUTPUT or FILE of - is standard input or standard output.\n"
    "PICTURE may be BMP, JPEG, GIF, PNG or WebP; OUTPUT is always BMP or PNG.\n"
    "Names listed by capacity and check show control characters (a tab, a line\n"
    "break) as \\xHH; -0 gives them as they are.\n"
    "The text survives only lossless copies of OUTPUT: a messenger, a social\n"
    "network or a site that recompresses or resizes the picture destroys it.\n"
    "\n"
    "A text Windows-1252 holds takes one byte a character and every version\n"
    "reads it; a UTF-8 text takes 3 bytes for the mark and 1 to 4 a character.\n"
    "A text holding \"end message\", the phrase that ends a hidden text, is refused.\n"
    "--text and a terminal follow the locale's encoding; files, pipes and file\n"
    "names are UTF-8 whatever the locale.\n"
    "\n"
    "Exit status: 0 done, 1 usage error, a character Windows-1252 cannot hold\n"
    "without --utf8, or a text that would read back cut short,\n"
    "2 a file that cannot be read or written, 3 no hidden message, 4 too much text.\n"
    "check: 0 when some PICTURE carries a message, 3 when none does, 2 when one\n"
    "could not be read (after the rest were checked).\n";

namespace {

constexpr std::size_t kListedCharacters = 10;

// "x (U+0078)" for each character, the code alone for one that would not
// show (controls, marks such as U+FEFF, lone surrogates), and how many more
// there are past the first ten.
QString describeCharacters(const std::vector<char32_t>& characters)
{
    QStringList parts;
    for (std::size_t i = 0; i < characters.size() && i < kListedCharacters; ++i) {
        const char32_t c = characters[i];
        const QString code = QStringLiteral("U+%1").arg(static_cast<uint>(c), 4, 16, QLatin1Char('0')).toUpper();
        const QChar::Category category = QChar::category(c);
        const bool visible = category != QChar::Other_Control && category != QChar::Other_Format
                             && category != QChar::Other_Surrogate && category != QChar::Other_NotAssigned
                             && category != QChar::Separator_Line && category != QChar::Separator_Paragraph;
        parts << (visible ? QStringLiteral("%1 (%2)").arg(QString::fromUcs4(&c, 1), code) : code);
    }
    QString list = parts.join(QStringLiteral(", "));
    if (characters.size() > kListedCharacters)
        list += QStringLiteral(" and %1 more").arg(characters.size() - kListedCharacters);
    return list;
}

int cannotWrite(const QString& path, const fileio::Failure& failure)
{
    return complain(commandFailure(QStringLiteral("cannot write %1: ").arg(shown(path)), failure));
}

int cannotReadPicture(const QString& path, const fileio::Failure& failure)
{
    return complain(commandFailure(QStringLiteral("cannot read the picture %1: ").arg(shown(path)), failure));
}

// `atLeast` when the text was not read to its end, so only a lower bound is known.
int tooMuchText(double excess, bool utf8, bool atLeast = false)
{
    complainLine(stego::tooMuchTextSentence(stego::formatExcess(excess, "."), utf8, atLeast));
    return kTooMuchText;
}

// Returns kOk with the hidden bytes in `codes`, or the status of the refusal
// it has reported.
int takeText(const Arguments& args, const Picture& picture, std::string& codes)
{
    const std::int64_t capacity = stego::textCapacity(picture.width, picture.height);
    const TextOptions options{.raw = args.raw, .utf8 = args.utf8};
    TextOutcome text;
    if (args.text) {
        text = convertText(*args.text, capacity, options);
    } else if (args.textFile && *args.textFile != kStandardStream) {
        QFile file(*args.textFile);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
            // In the system's words, as a folder given as PICTURE is refused.
            const QString reason = QFileInfo(*args.textFile).isDir() ? QString::fromLocal8Bit(std::strerror(EISDIR))
                                                                    : file.errorString();
            return complain({FailureKind::File, QStringLiteral("cannot read the text file %1: %2").arg(shown(*args.textFile), reason)});
        }
        text = readText(file.handle(), capacity, options);
        if (text.kind == TextOutcome::ReadError)
            return complain({FailureKind::File, QStringLiteral("cannot read the text file %1: %2").arg(shown(*args.textFile), text.error)});
    } else {
        if (isTerminal(STDIN_FILENO))
            complainLine(std::string_view("reading the text to hide from standard input until end of file (Ctrl+D)"));
        text = readText(STDIN_FILENO, capacity, options);
        if (text.kind == TextOutcome::ReadError)
            return complain({FailureKind::File, QStringLiteral("cannot read the text from standard input: %1").arg(text.error)});
    }

    switch (text.kind) {
    case TextOutcome::Ok:
        if (stego::cutShortAt(text.codes))
            return complain({FailureKind::Usage, QString::fromStdString(stego::cutShortSentence())});
        codes = std::move(text.codes);
        return kOk;
    case TextOutcome::NotUtf8:
        return usageError(QStringLiteral("the text is not valid UTF-8; use --raw to hide its bytes as they are"));
    case TextOutcome::Unencodable:
        complainLine(QStringLiteral("the text has characters that Windows-1252 cannot hold: %1")
                         .arg(describeCharacters(text.unencodable)));
        return complain({FailureKind::Usage, QString::fromLatin1(stego::kUtf8Hint)});
    case TextOutcome::TooLong:
        return tooMuchText(stego::excessCharacters(text.length + stego::kMarkerLength, picture.width, picture.height),
                           text.utf8, !text.complete);
    case TextOutcome::ReadError:
        break;
    }
    return kFileError;
}

bool wantsPng(const Arguments& args, const QString& output)
{
    if (args.format != OutputFormat::ByName)
        return args.format == OutputFormat::Png;
    return imagefile::hasPngExtension(output);
}

fileio::MaybeFailure writePictureFile(const DecodedPicture& image, bool png, const QString& path)
{
    return fileio::writeFileAtomically(path, [&](QIODevice& device) { return image.write(png, device); });
}

// Copies the BMP with the text in its pixels, block by block.  A copy
// keeps the input's layout, which is the promised 24-bit BMP only when the
// input is one: a 32-bit BMP is rewritten as 24-bit instead (its fourth
// byte, an alpha to some viewers, would make the output transparent).
int hideInPlace(Picture& picture, const std::string& codes, const QString& picturePath, const QString& outputPath)
{
    bmpfile::BmpHide hidden;
    std::unique_ptr<fileio::AtomicFile> file;
    const bool copy = picture.layout.bitsPerPixel == 24;
    if (outputPath == kStandardStream) {
        const bmpfile::ByteSink toOutput = [](QByteArrayView bytes) {
            writeOut(std::string_view(bytes.data(), static_cast<std::size_t>(bytes.size())));
            return true;  // a failure is reported once, at the end
        };
        hidden = copy ? bmpfile::hideBmp(*picture.bmpFile, codes, toOutput)
                      : bmpfile::hideBmpAs24(*picture.bmpFile, picture.layout, codes, toOutput);
    } else {
        file = std::make_unique<fileio::AtomicFile>(outputPath);
        if (!file->open())
            return cannotWrite(outputPath, file->failure());
        // The picture is copied file to file and only the message's pixels
        // are written over: for most of the file nothing passes through here.
        QFile& in = *picture.bmpFile;
        hidden = copy ? bmpfile::hideBmp(in, codes,
                                       bmpfile::PatchedCopy{[&](qint64 from, qint64 size) { return file->copyFrom(in, size, from); },
                                                          [&](std::uint64_t at, QByteArrayView bytes) {
                                                              return file->writeAt(static_cast<qint64>(at), bytes);
                                                          },
                                                          [&](qint64 from, qint64 size) { file->startWriteback(from, size); }})
                      : bmpfile::hideBmpAs24(in, picture.layout, codes,
                                           [&](QByteArrayView bytes) { return file->write(bytes); });
    }
    if (hidden.report.outcome == stego::HideOutcome::TooMuchText)
        return tooMuchText(hidden.report.excess, stego::bodyEncoding(codes) == stego::BodyEncoding::Utf8);
    // A refused block is the output's failure, whose reason the file holds.
    if (hidden.failure && hidden.failure->kind != fileio::FailureKind::Unwritable)
        return cannotReadPicture(picturePath, *hidden.failure);
    if (file && (hidden.failure || !file->commit()))
        return cannotWrite(outputPath, file->failure());
    return kOk;
}

int hide(const Arguments& args)
{
    if (args.positional.size() != 2)
        return usageError(QStringLiteral("hide takes a PICTURE and an OUTPUT"));
    if (args.raw && args.utf8)
        return usageError(QStringLiteral("--raw and --utf8 cannot be given together: --raw hides the bytes as they are"));
    const QString& picturePath = args.positional[0];
    const QString& outputPath = args.positional[1];
    const bool textFromInput = !args.text && (!args.textFile || *args.textFile == kStandardStream);
    if (picturePath == kStandardStream && textFromInput)
        return usageError(QStringLiteral("standard input cannot give both the picture and the text; use --text or --text-file"));
    // As compressors do: a picture's bytes on a terminal are noise at best
    // and terminal commands at worst.
    if (outputPath == kStandardStream && isTerminal(STDOUT_FILENO))
        return usageError(QStringLiteral("standard output is a terminal; redirect it to a file or a pipe to receive the picture"));
    if (args.format == OutputFormat::ByName) {
        if (const QString lossy = imagefile::lossyFormatNamed(outputPath); !lossy.isEmpty())
            return complain({FailureKind::Usage, lossyOutputRefusal(outputPath, lossy)});
    }
    // Checked before any work: a folder, a device or a FIFO is never
    // replaced by a picture file.
    if (outputPath != kStandardStream) {
        if (const fileio::MaybeFailure failure = fileio::unwritableTarget(outputPath))
            return cannotWrite(outputPath, *failure);
    }

    const bool png = wantsPng(args, outputPath);
    Picture picture = openPicture(picturePath, !png);
    if (!picture.ok())
        return picture.status;
    std::string codes;
    if (const int status = takeText(args, picture, codes); status != kOk)
        return status;
    if (picture.bmpFile)
        return hideInPlace(picture, codes, picturePath, outputPath);

    const DecodedPicture& image = *picture.decoded;
    const stego::HideReport report = stego::hideBytes(picture.decoded->pixels(), codes);
    if (report.outcome == stego::HideOutcome::TooMuchText)
        return tooMuchText(report.excess, stego::bodyEncoding(codes) == stego::BodyEncoding::Utf8);
    if (outputPath == kStandardStream) {
        // A failed write to standard output is reported once, at the end;
        // the encoder's own refusal here.
        StandardOutputDevice device;
        if (const fileio::MaybeFailure failure = image.write(png, device))
            return complain(commandFailure(QStringLiteral("cannot write the picture to standard output: "), *failure));
        return kOk;
    }
    if (const fileio::MaybeFailure failure = writePictureFile(image, png, outputPath))
        return cannotWrite(outputPath, *failure);
    return kOk;
}

int reveal(const Arguments& args)
{
    if (args.positional.size() != 1 || args.text || args.textFile || args.utf8 || args.formatGiven)
        return usageError(QStringLiteral("reveal takes one PICTURE"));
    const bool toFile = args.output && *args.output != kStandardStream;
    if (toFile) {
        if (const int status = refuseTextOutput(*args.output, args.positional[0]); status != kOk)
            return status;
    }
    Picture picture = openPicture(args.positional[0], true, true);
    if (!picture.ok())
        return picture.status;
    if (picture.noStartMarker) {
        complainLine(stego::kNoMessageSentence);
        return kNoMessage;
    }
    // Replaced only when a whole text has been found and written.
    std::unique_ptr<fileio::AtomicFile> file;
    if (toFile) {
        file = std::make_unique<fileio::AtomicFile>(*args.output);
        if (!file->open())
            return cannotWrite(*args.output, file->failure());
    }
    RevealedTextWriter writer(args.raw, file.get());
    stego::ReadResult result;
    if (picture.bmpFile) {
        // Read in place: only the pixels the text lies in, and the text
        // itself handed on in pieces.
        stego::BodyEncoding encoding = stego::BodyEncoding::Windows1252;
        bool begun = false;
        const bmpfile::BmpReveal revealed = bmpfile::revealBmp(
            *picture.bmpFile,
            [&](QByteArrayView piece) {
                if (!std::exchange(begun, true))
                    writer.begin(encoding);
                return writer.write(std::string_view(piece.data(), static_cast<std::size_t>(piece.size())));
            },
            encoding);
        // The writer reports a piece it could not take itself.
        if (revealed.failure && revealed.failure->kind != fileio::FailureKind::Unwritable)
            return cannotReadPicture(args.positional[0], *revealed.failure);
        result.outcome = revealed.result.outcome;
    } else {
        result = stego::readMessage(picture.decoded->pixels());
        if (result.outcome == stego::ReadOutcome::Found) {
            writer.begin(stego::bodyEncoding(result.text));
            writer.write(result.text);
        }
    }
    if (result.outcome == stego::ReadOutcome::NoStartMarker) {
        complainLine(stego::kNoMessageSentence);
        return kNoMessage;
    }
    if (result.outcome == stego::ReadOutcome::NoEndMarker) {
        // Under 40 pixels the start marker is never tested, so there is no
        // start to speak of.
        complainLine(picture.width * picture.height >= 40 ? stego::kNoEndMarkerSentence : stego::kNoMessageSentence);
        return kNoMessage;
    }
    if (file && !file->commit())
        return cannotWrite(*args.output, file->failure());
    writer.finish();
    return kOk;
}

}  // namespace

int run(const Arguments& args)
{
    if (const int status = refusePictureFromTerminal(args); status != kOk)
        return status;
    if (args.help) {
        writeOut(kHelp);
        return kOk;
    }
    if (args.version) {
        writeOut(std::string(kProgram) + " " + mirrorvane::kVersionString + "\n");
        return kOk;
    }
    if (const QString misplaced = misplacedOption(args); !misplaced.isEmpty())
        return usageError(misplaced);
    if (args.command == QStringLiteral("capacity"))
        return capacity(args);
    if (args.command == QStringLiteral("check"))
        return check(args);
    if (args.command == QStringLiteral("hide"))
        return hide(args);
    if (args.command == QStringLiteral("reveal"))
        return reveal(args);
    if (args.command.isEmpty())
        return usageError(QStringLiteral("no command given (capacity, check, hide or reveal)"));
    return usageError(QStringLiteral("unknown command %1").arg(shown(args.command)));
}

}  // namespace cli
