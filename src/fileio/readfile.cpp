// Reading: only regular files are opened, and a stream is first kept in an
// unnamed copy, bounded, so everything downstream reads a regular file.
#include "fileio.h"

#include "syscalls.h"

#include <QDir>

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fileio {

namespace {

// Hands the descriptor to `file`, which closes it from then on.
MaybeFailure adopt(QFile& file, int fd, const QString& name, QIODevice::OpenMode mode)
{
    file.setFileName(name);
    if (!file.open(fd, mode, QFileDevice::AutoCloseHandle)) {
        sys::closeOnce(fd);
        return unreadable(file.errorString());
    }
    return std::nullopt;
}

// A new file in the temporary folder that has no name, or loses it at once.
int unnamedFile(QString& error)
{
    const QByteArray folder = QFile::encodeName(QDir::tempPath());
    int fd = sys::retried([&] { return ::open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600); });
    if (fd >= 0)
        return fd;
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        error = sys::reason(errno);
        return -1;
    }
    QByteArray name = folder + "/mirrorvane-cli.XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        error = sys::reason(errno);
        return -1;
    }
    ::unlink(name.constData());
    return fd;
}

// Reads up to `size` bytes, fewer only at the end of the input; -1 on failure.
qint64 readUpTo(int input, char* to, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t got = sys::retried([&] { return ::read(input, to + done, static_cast<std::size_t>(size - done)); });
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

bool writeAll(int fd, const char* from, qint64 size)
{
    while (size > 0) {
        const ssize_t put = sys::retried([&] { return ::write(fd, from, static_cast<std::size_t>(size)); });
        if (put <= 0) {
            if (put == 0)
                errno = ENOSPC;
            return false;
        }
        from += put;
        size -= put;
    }
    return true;
}

}  // namespace

MaybeFailure openRegularFile(QFile& file, const QString& path, QIODevice::OpenMode extraMode)
{
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    const QByteArray native = QFile::encodeName(path);
    const int fd = sys::retried([&] { return ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY); });
    if (fd < 0)
        return unreadable(sys::reason(errno));
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        const int error = errno;
        sys::closeOnce(fd);
        return unreadable(sys::reason(error));
    }
    if (!S_ISREG(status.st_mode)) {
        sys::closeOnce(fd);
        return unreadable(sys::notRegularReason(status.st_mode));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return adopt(file, fd, path, QIODevice::ReadOnly | extraMode);
}

bool isStream(const QString& path)
{
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0
           && (S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode) || S_ISSOCK(status.st_mode));
}

MaybeFailure copyToUnnamedFile(int input, QFile& copy, const std::function<qint64(QByteArrayView)>& limit,
                               QIODevice::OpenMode extraMode)
{
    QString error;
    const int fd = unnamedFile(error);
    if (fd < 0)
        return unwritable(error);
    const auto failed = [fd](int reason, Failure (*kind)(QString)) {
        sys::closeOnce(fd);
        return MaybeFailure(kind(sys::reason(reason)));
    };
    QByteArray block(1 << 20, Qt::Uninitialized);
    qint64 got = readUpTo(input, block.data(), kStreamHeadBytes);
    if (got < 0)
        return failed(errno, unreadable);
    const qint64 keep = std::max<qint64>(0, limit(QByteArrayView(block.constData(), got)));
    qint64 kept = 0;
    while (got > 0) {
        const qint64 take = std::min(got, keep - kept);
        if (!writeAll(fd, block.constData(), take))
            return failed(errno, unwritable);
        kept += take;
        if (kept == keep)
            break;
        got = readUpTo(input, block.data(), std::min<qint64>(block.size(), keep - kept));
        if (got < 0)
            return failed(errno, unreadable);
    }
    if (::lseek(fd, 0, SEEK_SET) != 0)
        return failed(errno, unreadable);
    return adopt(copy, fd, QString(), QIODevice::ReadOnly | extraMode);
}

QString reopenableName(const QFileDevice& file)
{
    return QString::fromLatin1(sys::descriptorPath(file.handle()));
}

}  // namespace fileio
