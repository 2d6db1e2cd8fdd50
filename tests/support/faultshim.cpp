// Injected system call failures for the CLI's tests, preloaded into the
// real binary (LD_PRELOAD).  Configured by the environment:
//
//   MIRRORVANE_FAULT       call:errno:times  e.g. "fsync:4:1" (EINTR once);
//                          times 0 fails every call from the first on; a
//                          negative errno raises that signal instead
//   MIRRORVANE_NO_TMPFILE  set: unnamed files (O_TMPFILE) are refused, as on
//                          a file system without them
//   MIRRORVANE_FAULT_PATH  only descriptors whose file's path holds this
//                          text are touched (for renameat and linkat: the
//                          new name's path)
//
// close really closes before it reports its failure, as Linux does.

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

template <typename Function>
Function real(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// `fd`'s path, or with `name` the path of `name` in the folder `fd`.
bool concerns(int fd, const char* name = nullptr)
{
    const char* wanted = std::getenv("MIRRORVANE_FAULT_PATH");
    char link[64], target[8192];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t got = wanted == nullptr ? -1 : fd == AT_FDCWD ? 0 : readlink(link, target, 4096);
    if (got < 0)
        return false;
    target[got] = '\0';
    if (name != nullptr)
        std::snprintf(target + got, sizeof target - static_cast<std::size_t>(got), "/%s", name);
    return std::strstr(target, wanted) != nullptr;
}

// True, with errno set, when this call is to fail.
bool injected(const char* call, int fd, const char* name = nullptr)
{
    static int failures = 0;
    const char* spec = std::getenv("MIRRORVANE_FAULT");
    const std::size_t length = std::strlen(call);
    if (spec == nullptr || std::strncmp(spec, call, length) != 0 || spec[length] != ':' || !concerns(fd, name))
        return false;
    char* rest = nullptr;
    const int error = static_cast<int>(std::strtol(spec + length + 1, &rest, 10));
    const int times = *rest == ':' ? static_cast<int>(std::strtol(rest + 1, nullptr, 10)) : 0;
    if (times != 0 && failures >= times)
        return false;
    ++failures;
    if (error < 0) {
        std::raise(-error);
        return false;
    }
    errno = error;
    return true;
}

// Both opening calls: an unnamed file (O_TMPFILE holds O_DIRECTORY's bit
// too: both must be set) is refused when the test asks, as a file system
// without it would; otherwise the real call gets the mode that only a
// creating call carries.
int opened(int folder, const char* path, int flags, va_list arguments)
{
    const bool temporary = (flags & O_TMPFILE) == O_TMPFILE;
    if (temporary && std::getenv("MIRRORVANE_NO_TMPFILE") != nullptr) {
        errno = EOPNOTSUPP;
        return -1;
    }
    const mode_t mode = (flags & O_CREAT) != 0 || temporary ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
    return real<int (*)(int, const char*, int, ...)>("openat")(folder, path, flags, mode);
}

}  // namespace

// Fails as the fault asks, else passes the call on; `fault` names the call
// in MIRRORVANE_FAULT, `fd` and `name` say which file it touches.
#define FAILS_AS_ASKED(type, function, fault, fd, name, parameters, arguments) \
    __attribute__((visibility("default"))) type function parameters \
    { \
        if (injected(fault, fd, name)) \
            return -1; \
        return real<type(*) parameters>(#function) arguments; \
    }

extern "C" {

FAILS_AS_ASKED(ssize_t, write, "write", fd, nullptr, (int fd, const void* data, size_t size), (fd, data, size))
FAILS_AS_ASKED(ssize_t, pread, "pread", fd, nullptr, (int fd, void* data, size_t size, off_t at), (fd, data, size, at))
FAILS_AS_ASKED(ssize_t, pread64, "pread", fd, nullptr, (int fd, void* data, size_t size, off_t at), (fd, data, size, at))
FAILS_AS_ASKED(ssize_t, read, "read", fd, nullptr, (int fd, void* data, size_t size), (fd, data, size))
FAILS_AS_ASKED(int, fsync, "fsync", fd, nullptr, (int fd), (fd))
FAILS_AS_ASKED(int, renameat, "rename", toFolder, to, (int fromFolder, const char* from, int toFolder, const char* to),
               (fromFolder, from, toFolder, to))
FAILS_AS_ASKED(int, linkat, "link", toFolder, to,
               (int fromFolder, const char* from, int toFolder, const char* to, int flags),
               (fromFolder, from, toFolder, to, flags))

__attribute__((visibility("default"))) int close(int fd)
{
    const bool fail = injected("close", fd);
    const int result = real<int (*)(int)>("close")(fd);
    return fail ? -1 : result;
}

// Both opening calls hand their variable mode on to `opened`.
#define OPENS(function, folder, parameters) \
    __attribute__((visibility("default"))) int function parameters \
    { \
        va_list arguments; \
        va_start(arguments, flags); \
        const int fd = opened(folder, path, flags, arguments); \
        va_end(arguments); \
        return fd; \
    }

// Qt's own file opens call the 64-bit names.
OPENS(openat, folder, (int folder, const char* path, int flags, ...))
OPENS(open, AT_FDCWD, (const char* path, int flags, ...))
OPENS(openat64, folder, (int folder, const char* path, int flags, ...))
OPENS(open64, AT_FDCWD, (const char* path, int flags, ...))

}  // extern "C"
