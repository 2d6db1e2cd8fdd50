#include "attributes.h"

#include "syscalls.h"

#include <QByteArray>
#include <QList>

#include <sys/xattr.h>
#include <unistd.h>

namespace fileio {

namespace {

// Where the access control list lives; copied as the attribute it is, which
// also sets the group bits to the list's mask as the original has them.
constexpr char kAccessList[] = "system.posix_acl_access";

bool copied(const QByteArray& name)
{
    return name == kAccessList || name.startsWith("user.");
}

// The names of `path`'s extended attributes, or the errno of the failure.
int attributeNames(const QByteArray& path, QList<QByteArray>& names)
{
    for (;;) {
        const ssize_t size = ::listxattr(path.constData(), nullptr, 0);
        if (size < 0)
            return errno == ENOTSUP ? 0 : errno;
        QByteArray list(size, Qt::Uninitialized);
        const ssize_t got = ::listxattr(path.constData(), list.data(), static_cast<std::size_t>(list.size()));
        if (got < 0 && errno == ERANGE)
            continue;  // grew meanwhile
        if (got < 0)
            return errno;
        list.truncate(got);
        for (const QByteArray& name : list.split('\0'))
            if (!name.isEmpty())
                names.append(name);
        return 0;
    }
}

QString keepExtendedAttributes(int from, int to)
{
    const QByteArray source = sys::descriptorPath(from);
    QList<QByteArray> names;
    if (const int error = attributeNames(source, names); error != 0)
        return QStringLiteral("its extended attributes cannot be read (%1)").arg(sys::reason(error));
    for (const QByteArray& name : names) {
        if (!copied(name))
            continue;
        const bool list = name == kAccessList;
        QByteArray value;
        ssize_t got = -1;
        do {
            const ssize_t size = ::getxattr(source.constData(), name.constData(), nullptr, 0);
            if (size < 0)
                break;
            value.resize(size);
            got = ::getxattr(source.constData(), name.constData(), value.data(), static_cast<std::size_t>(value.size()));
        } while (got < 0 && errno == ERANGE);
        if (got < 0 && errno == ENODATA)
            continue;  // removed meanwhile
        if (got >= 0) {
            value.truncate(got);
            if (::fsetxattr(to, name.constData(), value.constData(), static_cast<std::size_t>(value.size()), 0) == 0)
                continue;
        }
        const QString reason = sys::reason(errno);
        return list ? QStringLiteral("its access control list cannot be kept (%1)").arg(reason)
                    : QStringLiteral("its extended attribute %1 cannot be kept (%2)").arg(QString::fromUtf8(name), reason);
    }
    return QString();
}

}  // namespace

QString keepAttributes(int from, const struct stat& status, int to)
{
    // Owner and group first: a change of owner clears the set-id bits, which
    // the mode below puts back.  Only root may give a file away; anyone may
    // keep a group they belong to.
    if (::fchown(to, status.st_uid, status.st_gid) != 0) {
        if (errno != EPERM || ::fchown(to, static_cast<uid_t>(-1), status.st_gid) != 0) {
            if (errno != EPERM)
                return QStringLiteral("its owner and group cannot be kept (%1)").arg(sys::reason(errno));
            // This user's own group then: refused where it would gain the
            // rights the file's group had.
            struct stat mine {};
            if (::fstat(to, &mine) != 0)
                return sys::reason(errno);
            if (mine.st_gid != status.st_gid && (status.st_mode & S_IRWXG) != 0)
                return QStringLiteral("its group cannot be kept (%1)").arg(sys::reason(EPERM));
        }
    }
    // The exact bits, from the file itself: Qt's permissions() reports what
    // the process may do, which for root is more than the mode says.
    if (::fchmod(to, status.st_mode & 07777) != 0)
        return QStringLiteral("its permissions cannot be kept (%1)").arg(sys::reason(errno));
    return keepExtendedAttributes(from, to);
}

}  // namespace fileio
