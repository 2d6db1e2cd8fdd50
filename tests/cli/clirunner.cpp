#include "clirunner.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace clitest {

namespace {

// In the child: puts `stream` on descriptor `target`.
void place(Stream stream, int target, int pipeEnd, int terminal)
{
    switch (stream) {
    case Stream::Pipe: dup2(pipeEnd, target); break;
    case Stream::Terminal: dup2(terminal, target); break;
    case Stream::Full: {
        const int full = open("/dev/full", O_WRONLY);
        dup2(full, target);
        close(full);
        break;
    }
    case Stream::Closed: close(target); break;
    }
}

}  // namespace

Outcome launch(const Launch& launch)
{
    std::signal(SIGPIPE, SIG_IGN);
    int inPipe[2] = {-1, -1}, outPipe[2] = {-1, -1}, errPipe[2] = {-1, -1};
    int master = -1, slave = -1;
    if (pipe(inPipe) != 0 || pipe(outPipe) != 0 || pipe(errPipe) != 0)
        return {};
    const bool terminal = launch.in == Stream::Terminal || launch.out == Stream::Terminal;
    if (terminal) {
        termios settings{};
        cfmakeraw(&settings);
        // An output-only terminal is raw, so the bytes arrive as written; an
        // input terminal keeps line editing, where Ctrl+D ends the input.
        if (openpty(&master, &slave, nullptr, launch.in == Stream::Terminal ? nullptr : &settings, nullptr) != 0)
            return {};
    }

    std::vector<std::string> args = launch.args;
    args.insert(args.begin(), launch.program.empty() ? std::string(MIRRORVANE_CLI) : launch.program);
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    // No display: the tool must not need one.  Built before fork, since the
    // child may only make async-signal-safe calls.
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view variable = *entry;
        if (!variable.starts_with("DISPLAY=") && !variable.starts_with("WAYLAND_DISPLAY=")
            && !variable.starts_with("QT_QPA_PLATFORM="))
            environment.emplace_back(variable);
    }
    std::vector<char*> envp;
    for (std::string& variable : environment)
        envp.push_back(variable.data());
    envp.push_back(nullptr);

    const pid_t child = fork();
    if (child == 0) {
        if (launch.addressSpace != 0) {
            const rlimit limit{launch.addressSpace, launch.addressSpace};
            setrlimit(RLIMIT_AS, &limit);
        }
        place(launch.in, 0, inPipe[0], slave);
        place(launch.out, 1, outPipe[1], slave);
        dup2(errPipe[1], 2);
        for (int fd : {inPipe[0], inPipe[1], outPipe[0], outPipe[1], errPipe[0], errPipe[1], master, slave})
            if (fd > 2)
                close(fd);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(inPipe[0]);
    close(outPipe[1]);
    close(errPipe[1]);
    if (slave != -1)
        close(slave);

    Outcome outcome;
    int input = launch.in == Stream::Pipe ? inPipe[1] : -1;
    if (launch.in != Stream::Pipe)
        close(inPipe[1]);
    if (input != -1)
        fcntl(input, F_SETFL, fcntl(input, F_GETFL) | O_NONBLOCK);
    if (launch.in == Stream::Terminal) {
        // Typed text, then Ctrl+D at the start of a line.
        const QByteArray typed = launch.input + "\x04";
        (void)!write(master, typed.constData(), static_cast<size_t>(typed.size()));
    }
    const QByteArray endless(64 * 1024, 'a');
    constexpr long long kEndlessLimit = 256LL << 20;  // a program that reads it all has failed anyway
    int output = launch.out == Stream::Pipe ? outPipe[0] : -1;
    if (launch.out != Stream::Pipe)
        close(outPipe[0]);
    int error = errPipe[0];
    int terminalOut = master;
    while (output != -1 || error != -1 || terminalOut != -1) {
        std::vector<pollfd> fds;
        for (int fd : {output, error, terminalOut})
            if (fd != -1)
                fds.push_back({fd, POLLIN, 0});
        if (input != -1)
            fds.push_back({input, POLLOUT, 0});
        if (poll(fds.data(), fds.size(), 60000) <= 0)
            break;
        for (const pollfd& p : fds) {
            if (p.revents == 0)
                continue;
            if (p.fd == input) {
                const QByteArray& source = launch.endlessInput ? endless : launch.input;
                const long long offset = launch.endlessInput ? 0 : outcome.inputTaken;
                const ssize_t put = write(input, source.constData() + offset, static_cast<size_t>(source.size() - offset));
                if (put > 0)
                    outcome.inputTaken += put;
                const bool done = launch.endlessInput ? outcome.inputTaken >= kEndlessLimit
                                                      : outcome.inputTaken >= source.size();
                if ((put < 0 && errno != EAGAIN) || done) {
                    close(input);
                    input = -1;
                }
                continue;
            }
            char buffer[65536];
            const ssize_t got = read(p.fd, buffer, sizeof buffer);
            if (got > 0) {
                (p.fd == error ? outcome.err : outcome.out).append(buffer, got);
                continue;
            }
            close(p.fd);
            for (int* fd : {&output, &error, &terminalOut})
                if (*fd == p.fd)
                    *fd = -1;
        }
    }
    for (int fd : {input, output, error, terminalOut})
        if (fd != -1)
            close(fd);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    outcome.peakKilobytes = usage.ru_maxrss;
    if (WIFEXITED(status))
        outcome.status = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        outcome.signal = WTERMSIG(status);
    return outcome;
}

bool allPrefixed(const QByteArray& err)
{
    for (const QByteArray& line : err.split('\n'))
        if (!line.isEmpty() && !line.startsWith("mirrorvane-cli: "))
            return false;
    return err.isEmpty() || err.endsWith('\n');
}

}  // namespace clitest
