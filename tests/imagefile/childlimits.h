#pragma once

// A check run in a child process held to a memory cap and a processor-time
// limit, for decoders fed pictures made to exhaust the machine.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>

namespace imagefiletest {

// Runs `body` in a child process whose address space may grow only
// `extraMB` past what it starts with, and which may use `cpuSeconds` of
// processor time; true when `body` returned true there.  A decoder that
// tries to allocate past the cap fails instead of taking the machine's
// memory, so the body's check of the outcome fails too; one that runs past
// the time is killed.
inline bool passesWithin(long extraMB, const std::function<bool()>& body, int cpuSeconds = 60)
{
    const pid_t child = fork();
    if (child == 0) {
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlim_t cap = static_cast<rlim_t>(pages * sysconf(_SC_PAGESIZE) + (extraMB << 20));
        const rlimit memory{cap, cap}, cpu{rlim_t(cpuSeconds), rlim_t(cpuSeconds)};
        setrlimit(RLIMIT_AS, &memory);
        setrlimit(RLIMIT_CPU, &cpu);
        _exit(body() ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace imagefiletest
