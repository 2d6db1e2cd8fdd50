#include "commandline.h"

#include <mirrorvane/version.h>

#include <QByteArrayView>

namespace app {

CommandLine readCommandLine(int argc, const char* const* argv)
{
    CommandLine line;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArrayView arg(argv[i]);
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (arg == "--help" || arg == "-h")) {
            line.action = CommandLine::Action::Help;
        } else if (!optionsEnded && arg == "--version") {
            if (line.action == CommandLine::Action::Run)
                line.action = CommandLine::Action::Version;
        } else if (!line.file) {
            line.file = arg.toByteArray();
        } else {
            line.ignored.append(arg.toByteArray());
        }
    }
    return line;
}

QByteArray usageText()
{
    return "Usage: mirrorvane [--] [FILE]\n"
           "\n"
           "Hides a text in the lowest bits of a picture's pixels and reads it back.\n"
           "FILE is opened once the window shows: a .txt file as Open Text opens it,\n"
           "any other file as Open Image does.  Only the first FILE is opened.\n"
           "\n"
           "  -h, --help  show this help and exit\n"
           "  --version   show the version and exit\n"
           "  --          end the options, for a FILE whose name starts with a dash\n"
           "\n"
           "The standard Qt options (-platform, -style, ...) are accepted as well.\n"
           "mirrorvane-cli does the same work for scripts.\n";
}

QByteArray versionText()
{
    return QByteArray("mirrorvane ") + mirrorvane::kVersionString + "\n";
}

QByteArray ignoredFilesWarning(const CommandLine& line)
{
    if (line.ignored.isEmpty())
        return {};
    // Names reach a terminal: bytes outside printable ASCII are shown as \xHH.
    QByteArray names;
    for (const QByteArray& name : line.ignored) {
        names += names.isEmpty() ? "\"" : " \"";
        for (const char c : name) {
            const auto byte = static_cast<unsigned char>(c);
            names += byte >= 0x20 && byte < 0x7F ? QByteArray(1, c) : "\\x" + QByteArray::number(byte, 16).toUpper().rightJustified(2, '0');
        }
        names += '"';
    }
    return "mirrorvane: only the first FILE is opened; ignored: " + names + "\n";
}

}  // namespace app
