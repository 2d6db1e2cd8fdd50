#pragma once

// The command line as the user typed it.  The arguments are read from
// main's argv before Qt sees them, so an argument that looks like one of
// Qt's own options reaches the commands unchanged.

#include "exitstatus.h"

#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace cli {

enum class OutputFormat { ByName, Bmp, Png };

struct Arguments {
    QString command;
    // File names, decoded from valid UTF-8; "-" is standard input or output.
    std::vector<QString> positional;
    std::optional<std::string> text;  // bytes as given
    std::optional<QString> textFile;
    OutputFormat format = OutputFormat::ByName;
    bool formatGiven = false;
    bool raw = false;
    bool utf8 = false;
    std::optional<QString> output;  // reveal -o: the file the text goes to
    bool nullEnded = false;         // check -0: names end in NUL, not a line break
    bool quiet = false;             // check -q: the exit status alone
    bool help = false;
    bool version = false;
};

// None when the arguments parse.
using ParseError = std::optional<Failure>;

// Fills `args` from argv; file names that are not valid UTF-8 are refused,
// since no Qt file call could reach the file they name.
ParseError parse(int argc, char** argv, Arguments& args);

// The sentence refusing an option that `args.command` does not take (-o
// outside reveal, -0 and -q outside check), or empty.
QString misplacedOption(const Arguments& args);

// The text of --text, typed in the locale's encoding, as UTF-8 (unless
// --raw takes it as bytes).  Once the locale is set.
ParseError followLocale(Arguments& args);

}  // namespace cli
