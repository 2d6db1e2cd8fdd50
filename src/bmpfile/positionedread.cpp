#include "positionedread.h"

#include "bmpfile/bmpformat.h"

#include <QFileDevice>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace bmpfile::detail {

namespace {

const QString kReadFailed = QStringLiteral("The picture could not be read: %1");

// The errno of the first positioned read that failed since the last probe:
// the QFile around the descriptor knows nothing of it, and the system's
// reason is the one to report.
std::atomic<int> g_positionedReadError{0};

}  // namespace

bool readFully(QIODevice& in, char* to, qint64 n)
{
    while (n > 0) {
        const qint64 got = in.read(to, n);
        if (got <= 0)
            return false;
        to += got;
        n -= got;
    }
    return true;
}

qint64 readUpTo(QIODevice& in, char* to, qint64 n)
{
    qint64 total = 0;
    while (total < n) {
        const qint64 got = in.read(to + total, n - total);
        if (got < 0)
            return -1;
        if (got == 0 && !in.waitForReadyRead(-1))
            break;
        total += got;
    }
    return total;
}

int positionedHandle(const QIODevice& in)
{
    const auto* file = qobject_cast<const QFileDevice*>(&in);
    return file != nullptr && (in.openMode() & QIODevice::Unbuffered) != 0 ? file->handle() : -1;
}

bool readAt(QIODevice& in, std::uint64_t at, char* to, qint64 n)
{
    if (const int handle = positionedHandle(in); handle >= 0) {
        while (n > 0) {
            const ssize_t got = ::pread(handle, to, static_cast<std::size_t>(n), static_cast<off_t>(at));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                int none = 0;
                g_positionedReadError.compare_exchange_strong(none, errno);
            }
            if (got <= 0)
                return false;
            to += got;
            n -= got;
            at += static_cast<std::uint64_t>(got);
        }
        return true;
    }
    return in.seek(static_cast<qint64>(at)) && readFully(in, to, n);
}

void willRead(const QIODevice& in, std::uint64_t at, std::uint64_t n)
{
    if (const int handle = positionedHandle(in); handle >= 0)
        ::posix_fadvise(handle, static_cast<off_t>(at), static_cast<off_t>(n), POSIX_FADV_WILLNEED);
}

QString readError(QIODevice& in)
{
    if (const int error = g_positionedReadError.load(); error != 0 && positionedHandle(in) >= 0)
        return kReadFailed.arg(QString::fromLocal8Bit(std::strerror(error)));
    const QString reason = in.errorString();
    return in.atEnd() || reason.isEmpty() || reason == QLatin1String("Unknown error")
               ? QString::fromLatin1(kTruncatedSentence)
               : kReadFailed.arg(reason);
}

void forgetReadError()
{
    g_positionedReadError.store(0);
}

}  // namespace bmpfile::detail
