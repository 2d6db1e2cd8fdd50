#include "fileio.h"

#include <QDir>
#include <QFileInfo>
#include <QIODevice>
#include <QRandomGenerator>

#include <filesystem>
#include <system_error>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace fileio {

namespace {

QString systemReason(int error)
{
    return QString::fromStdString(std::generic_category().message(error));
}

std::filesystem::path nativePath(const QString& path)
{
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

QString notRegularReason(const QFileInfo& info)
{
    return info.isDir() ? systemReason(EISDIR) : QStringLiteral("Not a regular file");
}

// The file a write to `path` replaces: a link's final target, so the link
// survives.  A dangling link's target is created.
QString resolveLinks(const QString& path)
{
    QFileInfo info(path);
    if (!info.isSymLink())
        return path;
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.symLinkTarget() : canonical;
}

}  // namespace

QString openRegularFile(QFile& file, const QString& path, QIODevice::OpenMode extraMode)
{
#ifdef Q_OS_UNIX
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return systemReason(errno);
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        const int error = errno;
        ::close(fd);
        return systemReason(error);
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        return S_ISDIR(status.st_mode) ? systemReason(EISDIR) : QStringLiteral("Not a regular file");
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file.setFileName(path);
    if (!file.open(fd, QIODevice::ReadOnly | extraMode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return file.errorString();
    }
    return QString();
#else
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return notRegularReason(info);
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly | extraMode))
        return file.errorString();
    return QString();
#endif
}

ReadResult readRegularFile(const QString& path, qint64 maxBytes)
{
    QFile file;
    if (QString error = openRegularFile(file, path); !error.isEmpty())
        return {QByteArray(), error};
    const qint64 size = file.size();
    if (size > maxBytes)
        return {QByteArray(), QStringLiteral("The file is larger than %L1 bytes").arg(maxBytes)};
    // Read to the end rather than trusting the size: the file may change
    // under us, and what is returned is what was read, never padding.
    QByteArray bytes(size, Qt::Uninitialized);
    qint64 got = 0;
    while (true) {
        if (got == bytes.size()) {
            if (got > maxBytes)
                return {QByteArray(), QStringLiteral("The file is larger than %L1 bytes").arg(maxBytes)};
            bytes.resize(std::min<qint64>(maxBytes + 1, got + 65536));
            if (got == bytes.size())
                break;
        }
        const qint64 n = file.read(bytes.data() + got, bytes.size() - got);
        if (n < 0)
            return {QByteArray(), file.errorString()};
        if (n == 0)
            break;
        got += n;
    }
    if (got > maxBytes)
        return {QByteArray(), QStringLiteral("The file is larger than %L1 bytes").arg(maxBytes)};
    bytes.truncate(got);
    return {bytes, QString()};
}

QString unwritableTargetReason(const QString& path)
{
    const QFileInfo info(resolveLinks(path));
    if (info.exists() && !info.isFile())
        return notRegularReason(info);
    return QString();
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
}

bool AtomicFile::fail(const QString& reason)
{
    if (m_error.isEmpty())
        m_error = reason.isEmpty() ? QStringLiteral("Unknown error") : reason;
    // The temporary goes at the first failure: on a full disk it holds the
    // space the user needs to try again.
    if (!m_committed && !m_tempPath.isEmpty()) {
        m_temp.close();
        QFile::remove(m_tempPath);
        m_tempPath.clear();
    }
    return false;
}

bool AtomicFile::open()
{
    if (!m_error.isEmpty())
        return false;
    if (m_path.isEmpty())
        return fail(systemReason(ENOENT));
    m_targetPath = resolveLinks(m_path);
    if (const QString reason = unwritableTargetReason(m_targetPath); !reason.isEmpty())
        return fail(reason);
    const QFileInfo target(m_targetPath);
    // A short name of our own: the target's name plus a suffix would pass
    // the file system's limit for long names.  NewOnly never reuses a name.
    for (int attempt = 0; attempt < 100; ++attempt) {
        m_tempPath = target.absolutePath() + QStringLiteral("/.mirrorvane-%1.tmp")
                                                 .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        m_temp.setFileName(m_tempPath);
        if (m_temp.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
            break;
        if (m_temp.error() != QFileDevice::OpenError || !QFileInfo::exists(m_tempPath)) {
            m_tempPath.clear();
            return fail(m_temp.errorString());
        }
    }
    if (!m_temp.isOpen()) {
        m_tempPath.clear();
        return fail(m_temp.errorString());
    }
    if (target.exists())
        m_temp.setPermissions(QFile::permissions(m_targetPath));
    return true;
}

bool AtomicFile::write(QByteArrayView bytes)
{
    if (!m_error.isEmpty())
        return false;
    if (!m_temp.isOpen())
        return fail(QStringLiteral("The file is not open"));
    // Unbuffered: each call reaches the system, and QFile retries short
    // writes until the system gives its reason.
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = m_temp.write(bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            return fail(m_temp.errorString());
        done += n;
    }
    return true;
}

bool AtomicFile::copyFrom(QFileDevice& source, qint64 size)
{
    if (!m_error.isEmpty())
        return false;
    if (!m_temp.isOpen())
        return fail(QStringLiteral("The file is not open"));
    const QString shortSource = QStringLiteral("The file to copy ended early");
    qint64 done = 0;
#ifdef Q_OS_LINUX
    // File to file in the kernel: nothing passes through the program.
    off_t from = 0;
    while (done < size) {
        const ssize_t n = ::copy_file_range(source.handle(), &from, m_temp.handle(), nullptr,
                                            static_cast<std::size_t>(size - done), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP) && done == 0)
            break;  // not between these two: copy in blocks below
        if (n < 0)
            return fail(systemReason(errno));
        if (n == 0)
            return fail(shortSource);
        done += n;
    }
#endif
    QByteArray block;
    while (done < size) {
        block.resize(std::min<qint64>(size - done, qint64(4) << 20));
        if (!source.seek(done))
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
    if (!m_temp.isOpen())
        return fail(QStringLiteral("The file is not open"));
#ifdef Q_OS_UNIX
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(m_temp.handle(), bytes.data() + done, static_cast<std::size_t>(bytes.size() - done),
                                   static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail(systemReason(n < 0 ? errno : ENOSPC));
        done += n;
    }
    return true;
#else
    const qint64 end = m_temp.pos();
    return (m_temp.seek(offset) || fail(m_temp.errorString())) && write(bytes)
           && (m_temp.seek(end) || fail(m_temp.errorString()));
#endif
}

QIODevice* AtomicFile::device()
{
    if (!m_device) {
        m_device = std::make_unique<Device>(*this);
        m_device->open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    return m_device.get();
}

bool AtomicFile::commit()
{
    if (!m_error.isEmpty() || m_committed)
        return m_committed;
    if (!m_temp.isOpen())
        return fail(QStringLiteral("The file is not open"));
    if (!m_temp.flush() || m_temp.error() != QFileDevice::NoError)
        return fail(m_temp.errorString());
#ifdef Q_OS_UNIX
    // The data before the name: after a crash the target is the old file or
    // the whole new one.  Delayed allocation can also report a full disk here.
    if (::fsync(m_temp.handle()) != 0)
        return fail(systemReason(errno));
#endif
    m_temp.close();
    if (m_temp.error() != QFileDevice::NoError)
        return fail(m_temp.errorString());
    std::error_code error;
    std::filesystem::rename(nativePath(m_tempPath), nativePath(m_targetPath), error);
    if (error)
        return fail(QString::fromStdString(error.message()));
    m_committed = true;
#ifdef Q_OS_UNIX
    // The rename itself, so the new name survives a crash too; a folder that
    // cannot be synced still holds the renamed file.
    const int folder = ::open(QFile::encodeName(QFileInfo(m_targetPath).absolutePath()).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
#endif
    return true;
}

void AtomicFile::cancel()
{
    if (!m_committed)
        fail(QStringLiteral("The write was cancelled"));
}

QString writeFileAtomically(const QString& path, QByteArrayView bytes)
{
    AtomicFile file(path);
    if (!file.open() || !file.write(bytes) || !file.commit())
        return file.errorString();
    return QString();
}

QString writeFileAtomically(const QString& path, const std::function<QString(QIODevice&)>& write)
{
    AtomicFile file(path);
    if (!file.open())
        return file.errorString();
    if (const QString error = write(*file.device()); !error.isEmpty()) {
        const QString reason = file.errorString().isEmpty() ? error : file.errorString();
        file.cancel();
        return reason;
    }
    if (!file.commit())
        return file.errorString();
    return QString();
}

}  // namespace fileio
