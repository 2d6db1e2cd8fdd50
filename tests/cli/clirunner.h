#pragma once

// Runs the real mirrorvane-cli with each standard stream as a test needs it:
// a pipe, a pseudo-terminal, /dev/full or closed.  Arguments are bytes, so
// names that are not valid UTF-8 reach the program as they are.

#include <QByteArray>
#include <QList>

#include <string>
#include <vector>

namespace clitest {

enum class Stream { Pipe, Terminal, Full, Closed };

struct Launch {
    std::vector<std::string> args;  // after the program's name
    std::string program{};          // the built mirrorvane-cli when empty
    QByteArray input{};             // written to a piped standard input, then closed
    bool endlessInput = false;      // after `input`, keep writing until the program stops reading
    std::vector<std::string> environment{};  // NAME=value, added to the test's own
    Stream in = Stream::Pipe;
    Stream out = Stream::Pipe;
    bool errToOut = false;          // standard error shares standard output, as on one terminal
    // Extra shell-like resource limit: address space in bytes, 0 for none.
    unsigned long long addressSpace = 0;
};

struct Outcome {
    int status = -1;          // exit status; -1 when killed by a signal or not run
    int signal = 0;           // the signal that ended it, if any
    QByteArray out, err;      // standard output (pipe or terminal) and standard error
    long long inputTaken = 0;  // bytes the program accepted on a piped standard input
    long long peakKilobytes = 0;  // the program's peak resident memory
};

Outcome launch(const Launch& launch);

}  // namespace clitest
