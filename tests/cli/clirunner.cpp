#include "clirunner.h"

#include <cerrno>
#include <csignal>
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
    // /dev/full closes itself at exec; its copy on `target` stays.
    const int full = stream == Stream::Full ? open("/dev/full", O_WRONLY | O_CLOEXEC) : -1;
    if (stream == Stream::Closed)
        close(target);
    else
        dup2(stream == Stream::Full ? full : stream == Stream::Pipe ? pipeEnd : terminal, target);
}

// execve's form: pointers into `strings`, then a null.
std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> result;
    for (std::string& s : strings)
        result.push_back(s.data());
    result.push_back(nullptr);
    return result;
}

}  // namespace

Outcome launch(const Launch& launch)
{
    std::signal(SIGPIPE, SIG_IGN);
    int inPipe[2] = {-1, -1}, outPipe[2] = {-1, -1}, errPipe[2] = {-1, -1};
    int master = -1, slave = -1;
    if (pipe(inPipe) != 0 || pipe(outPipe) != 0 || pipe(errPipe) != 0)
        return {};
    if (launch.in == Stream::Terminal || launch.out == Stream::Terminal) {
        termios raw{};
        cfmakeraw(&raw);
        // An output-only terminal is raw, so the bytes arrive as written; an
        // input terminal keeps line editing, where Ctrl+D ends the input.
        if (openpty(&master, &slave, nullptr, launch.in == Stream::Terminal ? nullptr : &raw, nullptr) != 0)
            return {};
    }

    std::vector<std::string> args = launch.args;
    args.insert(args.begin(), launch.program.empty() ? std::string(MIRRORVANE_CLI) : launch.program);
    // No display: the tool must not need one.  The launch's own variables
    // first, so they win (getenv takes the first).  Built before fork, since
    // the child may only make async-signal-safe calls.
    std::vector<std::string> environment = launch.environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view variable = *entry;
        if (!variable.starts_with("DISPLAY=") && !variable.starts_with("WAYLAND_DISPLAY=")
            && !variable.starts_with("QT_QPA_PLATFORM="))
            environment.emplace_back(variable);
    }
    const std::vector<char*> argv = pointers(args), envp = pointers(environment);

    const pid_t child = fork();
    if (child == 0) {
        const rlimit limit{launch.addressSpace, launch.addressSpace};
        if (launch.addressSpace != 0)
            setrlimit(RLIMIT_AS, &limit);
        place(launch.in, 0, inPipe[0], slave);
        place(launch.out, 1, outPipe[1], slave);
        dup2(launch.errToOut ? 1 : errPipe[1], 2);
        closefrom(3);  // the pipes' and the terminal's other ends
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    // The parent keeps its ends of the pipes in use.
    int input = launch.in == Stream::Pipe ? inPipe[1] : -1, output = launch.out == Stream::Pipe ? outPipe[0] : -1;
    for (int fd : {inPipe[0], outPipe[1], errPipe[1], slave, input == -1 ? inPipe[1] : -1, output == -1 ? outPipe[0] : -1})
        if (fd != -1)
            close(fd);
    if (launch.in == Stream::Terminal) {
        // Typed text, then Ctrl+D at the start of a line.
        const QByteArray typed = launch.input + "\x04";
        (void)!write(master, typed.constData(), static_cast<size_t>(typed.size()));
    }
    int error = errPipe[0];
    if (input != -1)
        fcntl(input, F_SETFL, fcntl(input, F_GETFL) | O_NONBLOCK);
    // Endless input is this block again and again, up to a bound that a
    // program reading it all has failed long before.
    const QByteArray endless(64 * 1024, 'a');
    const long long inputEnd = launch.endlessInput ? 256LL << 20 : launch.input.size();

    Outcome outcome;
    while (output != -1 || error != -1 || master != -1) {
        std::vector<pollfd> fds;
        for (int fd : {output, error, master})
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
                const bool head = outcome.inputTaken < launch.input.size();
                const QByteArray& source = head ? launch.input : endless;
                const long long offset = head ? outcome.inputTaken : 0;
                const ssize_t put = write(input, source.constData() + offset, static_cast<size_t>(source.size() - offset));
                if (put > 0)
                    outcome.inputTaken += put;
                if ((put < 0 && errno != EAGAIN) || outcome.inputTaken >= inputEnd) {
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
            for (int* fd : {&output, &error, &master})
                if (*fd == p.fd)
                    *fd = -1;
        }
    }
    for (int fd : {input, output, error, master})
        if (fd != -1)
            close(fd);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    outcome.peakKilobytes = usage.ru_maxrss;
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return outcome;
}

}  // namespace clitest
