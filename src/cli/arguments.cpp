#include "arguments.h"

#include "exitstatus.h"
#include "localeencoding.h"
#include "output.h"

#include <QByteArrayView>
#include <QFile>

#include <string_view>

namespace cli {

namespace {

// Qt decodes file names as UTF-8 and replaces what is not; such a name
// would silently reach another file.
std::optional<QString> fileName(std::string_view bytes)
{
    if (!QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())).isValidUtf8())
        return std::nullopt;
    return QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

ParseError notUtf8(std::string_view bytes)
{
    return Failure{FailureKind::File, QStringLiteral("the file name %1 is not valid UTF-8, so it cannot be passed on unchanged; "
                                       "rename the file")
                            .arg(shownBytes(bytes))};
}

ParseError usage(const QString& sentence)
{
    return Failure{FailureKind::Usage, sentence};
}

}  // namespace

ParseError parse(int argc, char** argv, Arguments& args)
{
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto hasValue = [&](std::string_view name) {
            return arg.size() > name.size() && arg.substr(0, name.size()) == name && arg[name.size()] == '=';
        };
        const auto matches = [&](std::string_view name) { return arg == name || hasValue(name); };
        // The value of `--name=value` or of `--name value`.
        const auto value = [&](std::string_view name) -> std::optional<std::string_view> {
            if (hasValue(name))
                return arg.substr(name.size() + 1);
            if (i + 1 < argc)
                return std::string_view(argv[++i]);
            return std::nullopt;
        };

        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            if (args.command.isEmpty()) {
                args.command = QString::fromUtf8(arg.data(), static_cast<qsizetype>(arg.size()));
                continue;
            }
            const auto name = fileName(arg);
            if (!name)
                return notUtf8(arg);
            args.positional.push_back(*name);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            args.help = true;
        } else if (arg == "--version") {
            args.version = true;
        } else if (arg == "--raw") {
            args.raw = true;
        } else if (arg == "--utf8") {
            args.utf8 = true;
        } else if (matches("--text") || matches("--text-file")) {
            const bool isFile = matches("--text-file");
            if (args.text || args.textFile)
                return usage(QStringLiteral("give the text once, with --text or --text-file"));
            const auto given = value(isFile ? "--text-file" : "--text");
            if (!given)
                return usage(isFile ? QStringLiteral("--text-file needs a file name (or - for standard input)")
                                    : QStringLiteral("--text needs the text to hide"));
            if (!isFile) {
                args.text = std::string(*given);
                continue;
            }
            args.textFile = fileName(*given);
            if (!args.textFile)
                return notUtf8(*given);
        } else if (arg == "-o" || matches("--output")) {
            if (args.output)
                return usage(QStringLiteral("give the output file once, with -o"));
            const auto given = arg == "-o" ? value("-o") : value("--output");
            if (!given)
                return usage(QStringLiteral("-o needs a file name (or - for standard output)"));
            args.output = fileName(*given);
            if (!args.output)
                return notUtf8(*given);
        } else if (arg == "-0" || arg == "--null") {
            args.nullEnded = true;
        } else if (arg == "-q" || arg == "--quiet") {
            args.quiet = true;
        } else if (matches("--format")) {
            if (args.formatGiven)
                return usage(QStringLiteral("give the format once, with --format"));
            const auto given = value("--format");
            if (given == std::optional<std::string_view>("png"))
                args.format = OutputFormat::Png;
            else if (given == std::optional<std::string_view>("bmp"))
                args.format = OutputFormat::Bmp;
            else
                return usage(QStringLiteral("--format takes bmp or png"));
            args.formatGiven = true;
        } else {
            return usage(QStringLiteral("unknown option %1").arg(shown(QString::fromUtf8(arg.data(), static_cast<qsizetype>(arg.size())))));
        }
    }
    return {};
}

QString misplacedOption(const Arguments& args)
{
    const bool reveal = args.command == QLatin1String("reveal"), check = args.command == QLatin1String("check");
    if (args.output && !reveal)
        return QStringLiteral("-o is an option of reveal only");
    if ((args.nullEnded || args.quiet) && !check)
        return QStringLiteral("%1 is an option of check only").arg(args.quiet ? QStringLiteral("-q") : QStringLiteral("-0"));
    return {};
}

ParseError followLocale(Arguments& args)
{
    if (!args.text || args.raw || localeEncoding().empty())
        return {};
    std::optional<std::string> utf8 = localeToUtf8(*args.text);
    if (!utf8)
        return usage(QStringLiteral("the text is not valid in the locale's encoding, %1")
                         .arg(QString::fromStdString(localeEncoding())));
    args.text = std::move(utf8);
    return {};
}

}  // namespace cli
