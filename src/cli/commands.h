#pragma once

#include "arguments.h"

namespace cli {

// The usage text of --help.
extern const char* const kHelp;

// Runs the parsed command line; returns the exit status.  Everything for
// standard output goes through writeOut; the caller checks it at the end.
int run(const Arguments& args);

}  // namespace cli
