#include "syscalls.h"

#include <cstring>
#include <system_error>

#include <sys/stat.h>
#include <unistd.h>

namespace fileio::sys {

QString reason(int error)
{
    return QString::fromStdString(std::generic_category().message(error));
}

QString notRegularReason(mode_t mode)
{
    return S_ISDIR(mode) ? reason(EISDIR) : QStringLiteral("Not a regular file");
}

QByteArray descriptorPath(int fd)
{
    return "/proc/self/fd/" + QByteArray::number(fd);
}

int closeOnce(int fd)
{
    if (::close(fd) == 0 || errno == EINTR)
        return 0;
    return errno;
}

int plantedLinkError(const QByteArray& path)
{
    struct stat link {};
    if (::lstat(path.constData(), &link) != 0 || !S_ISLNK(link.st_mode))
        return 0;
    struct stat folder {};
    if (::stat(folderOf(path).constData(), &folder) != 0)
        return 0;
    const bool sharedSticky = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
    if (sharedSticky && link.st_uid != ::geteuid() && link.st_uid != folder.st_uid)
        return EACCES;
    return 0;
}

QByteArray folderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return ".";
    return slash == 0 ? QByteArray("/") : path.left(slash);
}

QByteArray nameOf(const QByteArray& path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

}  // namespace fileio::sys
