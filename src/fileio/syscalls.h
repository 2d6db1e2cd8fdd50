#pragma once

// The system calls fileio is built on, with the retries POSIX asks for and
// the system's own reasons.  Internal to fileio.

#include <QByteArray>
#include <QString>

#include <cerrno>

#include <sys/types.h>

namespace fileio::sys {

// The system's sentence for an errno value ("Permission denied").
QString reason(int error);

// "Not a regular file", or the folder's own reason, for a file of this mode.
QString notRegularReason(mode_t mode);

// The name through which the kernel reaches the open descriptor `fd`, for
// calls that take a name only (access, getxattr, linkat of an unnamed file).
QByteArray descriptorPath(int fd);

// Runs `call` again while it fails with EINTR.
template <typename Call>
auto retried(Call call)
{
    auto result = call();
    while (result == -1 && errno == EINTR)
        result = call();
    return result;
}

// Closes `fd` exactly once: Linux frees the descriptor even when close
// reports EINTR, so a second close could hit a descriptor opened since.
// Returns 0, or the errno of a real failure (EIO on a network file system).
int closeOnce(int fd);

// EACCES when `path` names a link that the kernel's protection of sticky,
// world-writable folders forbids following (fs.protected_symlinks): the
// link's owner is neither this user nor the folder's owner.  Applied here as
// well, so systems that leave that protection off refuse the same links.
int plantedLinkError(const QByteArray& path);

// The folder part and the name part of `path`, as given.
QByteArray folderOf(const QByteArray& path);
QByteArray nameOf(const QByteArray& path);

}  // namespace fileio::sys
