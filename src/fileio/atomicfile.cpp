// Writing: a file is replaced only when its whole new content is on disk,
// with the attributes of the file it replaces.
#include "fileio.h"

#include "attributes.h"
#include "cleanup.h"
#include "syscalls.h"

#include <QRandomGenerator>

#include <algorithm>
#include <mutex>

#include <fcntl.h>
#include <unistd.h>

namespace fileio {

namespace {

QByteArray randomName()
{
    return ".mirrorvane-" + QByteArray::number(QRandomGenerator::global()->generate(), 16).rightJustified(8, '0') + ".tmp";
}

mode_t currentUmask()
{
    static std::mutex asking;
    const std::lock_guard lock(asking);
    const mode_t mask = ::umask(077);
    ::umask(mask);
    return mask;
}

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Where a link leads, as the kernel resolved it when `fd` was opened.
QByteArray openedPath(int fd)
{
    QByteArray path(4096, Qt::Uninitialized);
    const ssize_t got = ::readlink(sys::descriptorPath(fd).constData(), path.data(), static_cast<std::size_t>(path.size()));
    return got > 0 && got < path.size() ? path.left(got) : QByteArray();
}

// The reasons for which a file cannot be made in a folder the user names
// the folder: the file itself may well be writable.
bool isFolderRefusal(int error)
{
    return error == EACCES || error == EPERM || error == EROFS;
}

}  // namespace

MaybeFailure unwritableTarget(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    if (const int error = sys::plantedLinkError(native); error != 0)
        return unwritable(sys::reason(error));
    const int fd = sys::retried([&] { return ::open(native.constData(), O_PATH | O_CLOEXEC); });
    if (fd < 0)
        return errno == ENOENT ? MaybeFailure() : unwritable(sys::reason(errno));
    QString reason;
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        reason = sys::reason(errno);
    else if (!S_ISREG(status.st_mode))
        reason = sys::notRegularReason(status.st_mode);
    else if (::access(sys::descriptorPath(fd).constData(), W_OK) != 0)
        reason = sys::reason(errno);
    sys::closeOnce(fd);
    return reason.isEmpty() ? MaybeFailure() : unwritable(reason);
}

// Forwards a writer's output to AtomicFile::write, so its failures are the
// file's failures.
class AtomicFile::Device : public QIODevice {
public:
    explicit Device(AtomicFile& owner) : m_owner(owner) {}
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        return m_owner.write(QByteArrayView(data, size)) ? size : -1;
    }

private:
    AtomicFile& m_owner;
};

AtomicFile::AtomicFile(const QString& path) : m_path(path) {}

AtomicFile::~AtomicFile()
{
    cancel();
    for (const int fd : {m_target, m_folder})
        if (fd >= 0)
            sys::closeOnce(fd);
}

bool AtomicFile::fail(const QString& reason)
{
    if (m_error.isEmpty())
        m_error = reason.isEmpty() ? QStringLiteral("Unknown error") : reason;
    if (m_committed)
        return false;
    // The temporary goes at the first failure: on a full disk it holds the
    // space the user needs to try again.
    if (m_fd >= 0) {
        sys::closeOnce(m_fd);
        m_fd = -1;
    }
    if (!m_tempName.isEmpty()) {
        ::unlinkat(m_folder, m_tempName.constData(), 0);
        m_tempName.clear();
    }
    releaseTemporary(m_guard);
    m_guard = -1;
    // An empty file made through a dangling link goes too, if still ours.
    if (m_createdTarget) {
        struct stat named {};
        if (::fstatat(m_folder, m_name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(named, m_status))
            ::unlinkat(m_folder, m_name.constData(), 0);
        m_createdTarget = false;
    }
    return false;
}

bool AtomicFile::openTarget()
{
    const QByteArray native = QFile::encodeName(m_path);
    if (const int error = sys::plantedLinkError(native); error != 0)
        return fail(sys::reason(error));
    // The kernel follows the links, with its own protections.
    m_target = sys::retried([&] { return ::open(native.constData(), O_PATH | O_CLOEXEC); });
    if (m_target < 0 && errno != ENOENT)
        return fail(sys::reason(errno));
    bool created = false;
    struct stat link {};
    if (m_target < 0 && ::lstat(native.constData(), &link) == 0 && S_ISLNK(link.st_mode)) {
        // A dangling link: its target is created, as a shell's > would.
        m_target = sys::retried([&] {
            return ::open(native.constData(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
        });
        if (m_target < 0)
            return fail(sys::reason(errno));
        created = true;
    }
    QByteArray real = native;
    if (m_target >= 0) {
        if (::fstat(m_target, &m_status) != 0)
            return fail(sys::reason(errno));
        if (!S_ISREG(m_status.st_mode))
            return fail(sys::notRegularReason(m_status.st_mode));
        m_createdTarget = created;
        if (!created && ::access(sys::descriptorPath(m_target).constData(), W_OK) != 0)
            return fail(sys::reason(errno));
        real = openedPath(m_target);
        if (real.isEmpty())
            return fail(sys::reason(errno != 0 ? errno : ENOENT));
    }
    m_folderShown = QFile::decodeName(sys::folderOf(real));
    m_name = sys::nameOf(real);
    m_folder = sys::retried([&] { return ::open(sys::folderOf(real).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC); });
    if (m_folder < 0)
        return fail(sys::reason(errno));
    // The name must still be the file opened, or the save would replace
    // another one.
    struct stat named {};
    if (m_target >= 0
        && (::fstatat(m_folder, m_name.constData(), &named, AT_SYMLINK_NOFOLLOW) != 0 || !sameFile(named, m_status)))
        return fail(QStringLiteral("The file was moved while it was being opened"));
    return true;
}

bool AtomicFile::openTemporary()
{
    // Unnamed until complete: nobody can open it meanwhile, and nothing is
    // left whatever stops the process.
    m_fd = sys::retried([&] { return ::openat(m_folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600); });
    if (m_fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        // A file system without unnamed files: a hidden name of our own, as
        // short as it gets (the target's name plus a suffix could pass the
        // limit for long names), guarded against stopping signals.
        for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
            const StopSignalsHeld held;
            const QByteArray name = randomName();
            m_fd = sys::retried([&] {
                return ::openat(m_folder, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            });
            if (m_fd >= 0) {
                m_tempName = name;
                m_guard = guardTemporary(m_folder, name);
            } else if (errno != EEXIST) {
                break;
            }
        }
    }
    if (m_fd < 0) {
        const int error = errno;
        return fail(isFolderRefusal(error) ? QStringLiteral("%1 in the folder \"%2\"").arg(sys::reason(error), m_folderShown)
                                           : sys::reason(error));
    }
    return true;
}

bool AtomicFile::open()
{
    if (!m_error.isEmpty())
        return false;
    if (m_path.isEmpty())
        return fail(sys::reason(ENOENT));
    return openTarget() && openTemporary();
}

bool AtomicFile::write(QByteArrayView bytes)
{
    if (!m_error.isEmpty())
        return false;
    if (m_fd < 0)
        return fail(QStringLiteral("The file is not open"));
    const char* from = bytes.data();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t put = sys::retried([&] { return ::write(m_fd, from, static_cast<std::size_t>(left)); });
        if (put <= 0)
            return fail(sys::reason(put < 0 ? errno : ENOSPC));
        from += put;
        left -= put;
    }
    return true;
}

bool AtomicFile::copyFrom(QFileDevice& source, qint64 size, qint64 from)
{
    if (!m_error.isEmpty())
        return false;
    if (m_fd < 0)
        return fail(QStringLiteral("The file is not open"));
    const QString shortSource = QStringLiteral("The file to copy ended early");
    qint64 done = 0;
    // File to file in the kernel: nothing passes through the program.
    off_t at = from;
    while (done < size) {
        const ssize_t n = sys::retried([&] {
            return ::copy_file_range(source.handle(), &at, m_fd, nullptr, static_cast<std::size_t>(size - done), 0);
        });
        if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP) && done == 0)
            break;  // not between these two: copy in blocks below
        if (n < 0)
            return fail(sys::reason(errno));
        if (n == 0)
            return fail(shortSource);
        done += n;
    }
    QByteArray block;
    while (done < size) {
        block.resize(std::min<qint64>(size - done, qint64(4) << 20));
        if (!source.seek(from + done))
            return fail(source.errorString());
        const qint64 n = source.read(block.data(), block.size());
        if (n < 0)
            return fail(source.errorString());
        if (n == 0)
            return fail(shortSource);
        if (!write(QByteArrayView(block.constData(), n)))
            return false;
        done += n;
    }
    return true;
}

bool AtomicFile::writeAt(qint64 offset, QByteArrayView bytes)
{
    if (!m_error.isEmpty())
        return false;
    if (m_fd < 0)
        return fail(QStringLiteral("The file is not open"));
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = sys::retried([&] {
            return ::pwrite(m_fd, bytes.data() + done, static_cast<std::size_t>(bytes.size() - done),
                            static_cast<off_t>(offset + done));
        });
        if (n <= 0)
            return fail(sys::reason(n < 0 ? errno : ENOSPC));
        done += n;
    }
    return true;
}

void AtomicFile::startWriteback(qint64 offset, qint64 size)
{
    if (m_error.isEmpty() && m_fd >= 0 && size > 0)
        ::sync_file_range(m_fd, offset, size, SYNC_FILE_RANGE_WRITE);  // a hint: a failure shows at commit's flush
}

QIODevice* AtomicFile::device()
{
    if (!m_device) {
        m_device = std::make_unique<Device>(*this);
        m_device->open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    return m_device.get();
}

bool AtomicFile::giveName()
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = randomName();
        int linked = sys::retried([&] {
            return ::linkat(AT_FDCWD, sys::descriptorPath(m_fd).constData(), m_folder, name.constData(), AT_SYMLINK_FOLLOW);
        });
        if (linked != 0 && errno == ENOENT)  // no /proc: the direct way, which needs privilege
            linked = ::linkat(m_fd, "", m_folder, name.constData(), AT_EMPTY_PATH);
        if (linked == 0) {
            m_tempName = name;
            return true;
        }
        if (errno != EEXIST)
            return fail(sys::reason(errno));
    }
    return fail(sys::reason(EEXIST));
}

bool AtomicFile::commit()
{
    if (!m_error.isEmpty() || m_committed)
        return m_committed;
    if (m_fd < 0)
        return fail(QStringLiteral("The file is not open"));
    // The final mode only now that the content is complete.
    if (m_target >= 0 && !m_createdTarget) {
        if (const QString reason = keepAttributes(m_target, m_status, m_fd); !reason.isEmpty())
            return fail(reason);
    } else if (::fchmod(m_fd, 0666 & ~currentUmask()) != 0) {
        return fail(sys::reason(errno));
    }
    // The data before the name: after a crash the target is the old file or
    // the whole new one.  Delayed allocation can also report a full disk here.
    if (sys::retried([&] { return ::fsync(m_fd); }) != 0)
        return fail(sys::reason(errno));
    const StopSignalsHeld held;
    if (m_tempName.isEmpty() && !giveName())
        return false;
    const int closeError = sys::closeOnce(m_fd);
    m_fd = -1;
    if (closeError != 0)
        return fail(sys::reason(closeError));
    if (sys::retried([&] { return ::renameat(m_folder, m_tempName.constData(), m_folder, m_name.constData()); }) != 0)
        return fail(sys::reason(errno));
    m_committed = true;
    m_createdTarget = false;
    m_tempName.clear();
    releaseTemporary(m_guard);
    m_guard = -1;
    // The rename itself, so the new name survives a crash too; a folder that
    // cannot be synced still holds the renamed file.
    const int folder = ::openat(m_folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        sys::retried([&] { return ::fsync(folder); });
        sys::closeOnce(folder);
    }
    return true;
}

void AtomicFile::cancel()
{
    if (!m_committed)
        fail(QStringLiteral("The write was cancelled"));
}

MaybeFailure writeFileAtomically(const QString& path, QByteArrayView bytes)
{
    AtomicFile file(path);
    if (!file.open() || !file.write(bytes) || !file.commit())
        return unwritable(file.errorString());
    return std::nullopt;
}

MaybeFailure writeFileAtomically(const QString& path, const std::function<MaybeFailure(QIODevice&)>& write)
{
    AtomicFile file(path);
    if (!file.open())
        return unwritable(file.errorString());
    if (MaybeFailure failure = write(*file.device())) {
        if (!file.errorString().isEmpty())
            failure = unwritable(file.errorString());
        file.cancel();
        return failure;
    }
    if (!file.commit())
        return unwritable(file.errorString());
    return std::nullopt;
}

}  // namespace fileio
