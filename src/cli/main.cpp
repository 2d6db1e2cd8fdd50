// mirrorvane-cli: the engine for scripts.  Exit status: 0 done, 1 usage or a
// text the code page cannot hold, 2 a file that cannot be read or written,
// 3 no hidden message, 4 too much text for the picture.
#include "picture/imageio.h"
#include "picture/librarymessages.h"
#include "stego/codepage.h"
#include "stego/message.h"

#include <mirrorvane/version.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStringDecoder>

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {
namespace {

enum Exit { kOk = 0, kUsage = 1, kFileError = 2, kNoMessage = 3, kTooMuchText = 4 };

constexpr std::string_view kProgram = "mirrorvane-cli";
constexpr std::string_view kNoMessageText = "THIS IMAGE DOES NOT HAVE A MIRROR VANE SECRET TEXT MESSAGE";
constexpr std::string_view kNoEndText =
    "The image starts with a Mirror Vane secret text message, but the message has no end marker.";
// The window shows the same lines in its encrypted-text box.
constexpr std::string_view kEncryptedNotice =
    "You have an Encrypted Text Message!\n"
    "You require Lockharbour (and the Password)\n"
    "to Decrypt and read this message!\n"
    "\n"
    "Lockharbour is available from www.lockharbour.example\n";

constexpr std::string_view kHelp =
    "Usage: mirrorvane-cli capacity PICTURE\n"
    "       mirrorvane-cli hide PICTURE OUTPUT [--text TEXT | --text-file FILE] [--raw]\n"
    "       mirrorvane-cli reveal PICTURE [--raw]\n"
    "\n"
    "Hides a text in the lowest bits of a picture's pixels and reads it back.\n"
    "\n"
    "  capacity  print the longest text PICTURE can hide\n"
    "  hide      hide a text in PICTURE and write the result to OUTPUT, always as\n"
    "            an uncompressed 24-bit BMP; the text comes from --text, from\n"
    "            --text-file (FILE - is standard input) or else from standard input,\n"
    "            exactly as given\n"
    "  reveal    write the hidden text to standard output, with no newline added\n"
    "\n"
    "  --raw      the text is bytes of the Windows-1252 code page as they stand,\n"
    "             not UTF-8\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "PICTURE may be BMP, JPEG, GIF or PNG.\n"
    "Exit status: 0 done, 1 usage error or a character Windows-1252 cannot hold,\n"
    "2 a file that cannot be read or written, 3 no hidden message, 4 too much text.\n";

void write(std::FILE* stream, std::string_view bytes)
{
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
}

void writeLine(std::FILE* stream, std::string_view line)
{
    write(stream, line);
    write(stream, "\n");
}

int complain(int status, const QString& sentence)
{
    writeLine(stderr, std::string(kProgram) + ": " + sentence.toStdString());
    return status;
}

int usageError(const QString& sentence)
{
    complain(kUsage, sentence);
    writeLine(stderr, "Try 'mirrorvane-cli --help' for more information.");
    return kUsage;
}

QString shown(const QString& path)
{
    return QStringLiteral("\"%1\"").arg(QDir::toNativeSeparators(path));
}

struct Arguments {
    QString command;
    std::vector<QString> positional;
    std::optional<std::string> text;
    std::optional<QString> textFile;
    bool raw = false;
    bool help = false;
    bool version = false;
};

// Returns an error sentence, or an empty string when the arguments parse.
QString parse(int argc, char** argv, Arguments& args)
{
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&](std::string_view name) -> std::optional<std::string> {
            if (arg.size() > name.size() && arg.substr(0, name.size()) == name && arg[name.size()] == '=')
                return std::string(arg.substr(name.size() + 1));
            if (i + 1 < argc)
                return std::string(argv[++i]);
            return std::nullopt;
        };
        auto isOption = [&](std::string_view name) {
            return arg == name || (arg.substr(0, name.size()) == name && arg.size() > name.size() && arg[name.size()] == '=');
        };
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            if (args.command.isEmpty())
                args.command = QString::fromLocal8Bit(argv[i]);
            else
                args.positional.push_back(QFile::decodeName(argv[i]));
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            args.help = true;
        } else if (arg == "--version") {
            args.version = true;
        } else if (arg == "--raw") {
            args.raw = true;
        } else if (isOption("--text")) {
            if (args.text || args.textFile)
                return QStringLiteral("give the text once, with --text or --text-file");
            args.text = value("--text");
            if (!args.text)
                return QStringLiteral("--text needs the text to hide");
        } else if (isOption("--text-file")) {
            if (args.text || args.textFile)
                return QStringLiteral("give the text once, with --text or --text-file");
            const auto file = value("--text-file");
            if (!file)
                return QStringLiteral("--text-file needs a file name (or - for standard input)");
            args.textFile = QFile::decodeName(file->c_str());
        } else {
            return QStringLiteral("unknown option %1").arg(QString::fromLocal8Bit(argv[i]));
        }
    }
    return {};
}

std::optional<std::string> readStandardInput()
{
    std::string bytes;
    char buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, stdin)) > 0)
        bytes.append(buffer, got);
    if (std::ferror(stdin))
        return std::nullopt;
    return bytes;
}

// Loads PICTURE or reports why not; the caller returns `status` when empty.
std::optional<QImage> load(const QString& path, int& status)
{
    picture::LoadResult loaded = picture::loadPicture(path);
    if (!loaded.ok()) {
        status = complain(kFileError, QStringLiteral("cannot read the picture %1: %2").arg(shown(path), loaded.error));
        return std::nullopt;
    }
    return std::move(loaded.image);
}

QString describeCharacters(const std::vector<char32_t>& characters)
{
    QStringList parts;
    for (char32_t c : characters) {
        const bool printable = c < 0xD800 || c > 0xDFFF;
        const QString code = QStringLiteral("U+%1").arg(static_cast<uint>(c), 4, 16, QLatin1Char('0')).toUpper();
        parts << (printable ? QStringLiteral("%1 (%2)").arg(QString::fromUcs4(&c, 1), code) : code);
    }
    return parts.join(QStringLiteral(", "));
}

int capacity(const Arguments& args)
{
    if (args.positional.size() != 1 || args.text || args.textFile || args.raw)
        return usageError(QStringLiteral("capacity takes one PICTURE and no options"));
    int status = kOk;
    const auto image = load(args.positional[0], status);
    if (!image)
        return status;
    writeLine(stdout, std::to_string(stego::textCapacity(image->width(), image->height())));
    return kOk;
}

int hide(const Arguments& args)
{
    if (args.positional.size() != 2)
        return usageError(QStringLiteral("hide takes a PICTURE and an OUTPUT"));
    const QString& picturePath = args.positional[0];
    const QString& outputPath = args.positional[1];

    std::string input;
    if (args.text) {
        input = *args.text;
    } else if (args.textFile && *args.textFile != QStringLiteral("-")) {
        QFile file(*args.textFile);
        if (!file.open(QIODevice::ReadOnly))
            return complain(kFileError,
                            QStringLiteral("cannot read the text file %1: %2").arg(shown(*args.textFile), file.errorString()));
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return complain(kFileError,
                            QStringLiteral("cannot read the text file %1: %2").arg(shown(*args.textFile), file.errorString()));
        input = bytes.toStdString();
    } else if (auto bytes = readStandardInput()) {
        input = std::move(*bytes);
    } else {
        return complain(kFileError, QStringLiteral("cannot read the text from standard input"));
    }

    std::string codes;
    if (args.raw) {
        codes = std::move(input);
    } else {
        // A byte-order mark is text like any other, so it is kept (and refused).
        QStringDecoder decoder(QStringConverter::Utf8,
                               QStringConverter::Flag::ConvertInitialBom | QStringConverter::Flag::Stateless);
        const QString text = decoder.decode(QByteArrayView(input.data(), static_cast<qsizetype>(input.size())));
        if (decoder.hasError())
            return usageError(QStringLiteral("the text is not valid UTF-8; use --raw to hide its bytes as they are"));
        stego::EncodeResult encoded =
            stego::encodeWindows1252(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                                         static_cast<std::size_t>(text.size())));
        if (!encoded.ok())
            return complain(kUsage, QStringLiteral("the text has characters that Windows-1252 cannot hold: %1")
                                        .arg(describeCharacters(encoded.unencodable)));
        codes = std::move(encoded.bytes);
    }

    int status = kOk;
    auto image = load(picturePath, status);
    if (!image)
        return status;
    const stego::HideReport report = stego::hideBytes(picture::surfaceOf(*image), codes);
    if (report.outcome == stego::HideOutcome::TooMuchText) {
        writeLine(stderr, "The Message has " + stego::formatExcess(report.excess, ".")
                              + " characters more than the image can accommodate");
        return kTooMuchText;
    }
    if (const QString error = picture::saveBmp(*image, outputPath); !error.isEmpty())
        return complain(kFileError, QStringLiteral("cannot write %1: %2").arg(shown(outputPath), error));
    return kOk;
}

int reveal(const Arguments& args)
{
    if (args.positional.size() != 1 || args.text || args.textFile)
        return usageError(QStringLiteral("reveal takes one PICTURE"));
    int status = kOk;
    const auto image = load(args.positional[0], status);
    if (!image)
        return status;
    const stego::ReadResult result = stego::readMessage(picture::surfaceOf(*image));
    if (result.outcome == stego::ReadOutcome::NoStartMarker) {
        writeLine(stderr, kNoMessageText);
        return kNoMessage;
    }
    if (result.outcome == stego::ReadOutcome::NoEndMarker) {
        // Under 40 pixels the start marker is never tested, so there is no
        // start to speak of.
        const bool hasStart = std::int64_t{image->width()} * image->height() >= 40;
        writeLine(stderr, hasStart ? kNoEndText : kNoMessageText);
        return kNoMessage;
    }
    const std::u16string text = stego::decodeWindows1252(result.text);
    if (args.raw)
        write(stdout, result.text);
    else
        write(stdout, QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())).toUtf8().toStdString());
    std::fflush(stdout);
    if (stego::isEncryptedText(text))
        write(stderr, kEncryptedNotice);
    return kOk;
}

int run(int argc, char** argv)
{
    Arguments args;
    if (const QString error = parse(argc, argv, args); !error.isEmpty())
        return usageError(error);
    if (args.help) {
        write(stdout, kHelp);
        return kOk;
    }
    if (args.version) {
        writeLine(stdout, std::string(kProgram) + " " + mirrorvane::kVersionString);
        return kOk;
    }
    if (args.command == QStringLiteral("capacity"))
        return capacity(args);
    if (args.command == QStringLiteral("hide"))
        return hide(args);
    if (args.command == QStringLiteral("reveal"))
        return reveal(args);
    if (args.command.isEmpty())
        return usageError(QStringLiteral("no command given (capacity, hide or reveal)"));
    return usageError(QStringLiteral("unknown command %1").arg(args.command));
}

}  // namespace
}  // namespace cli

int main(int argc, char** argv)
{
    // No windows: the tool must run where there is no display.
    QCoreApplication application(argc, argv);
    picture::quietLibraryMessages();
    QCoreApplication::setApplicationName(QStringLiteral("mirrorvane-cli"));
    const int status = cli::run(argc, argv);
    std::fflush(stdout);
    std::fflush(stderr);
    return status;
}
