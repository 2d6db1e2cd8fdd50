#pragma once

// `mirrorvane [--] [FILE]`: what the command line asks of the desktop program.

#include <QByteArray>
#include <QList>

#include <optional>

namespace app {

struct CommandLine {
    enum class Action { Run, Help, Version };
    Action action = Action::Run;
    std::optional<QByteArray> file;  // the file to open at start, as given
    QList<QByteArray> ignored;       // file arguments past the first
};

// Reads argv after the program's name.  "-h", "--help" and "--version"
// before "--" ask for the usage or the version; every other argument is a
// file, so read it once Qt has taken its own options out.
CommandLine readCommandLine(int argc, const char* const* argv);

// The usage and the version as `--help` and `--version` print them.
QByteArray usageText();
QByteArray versionText();

// The warning for file arguments past the first, or empty when there are none.
QByteArray ignoredFilesWarning(const CommandLine& line);

}  // namespace app
