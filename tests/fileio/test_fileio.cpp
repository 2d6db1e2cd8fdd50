// The write helper every save goes through, and the regular-file reader.
// What matters is what is on disk afterwards: the old file whole or the new
// one whole, never a cut-short file, never a leftover temporary, never a
// FIFO or device replaced by a regular file.

#include "fileio/fileio.h"
#include "support/failures.h"
#include "support/files.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <tuple>

namespace {

using testsupport::namesIn;
using testsupport::reasonOf;
using testsupport::written;
const auto readAll = testsupport::contentsOf;

mode_t modeOf(const QString& path)
{
    struct stat status {};
    ::lstat(QFile::encodeName(path).constData(), &status);
    return status.st_mode;
}

QByteArray pattern(qsizetype size) { return QByteArray("abcdefghijklmnopqrstuvw").repeated(size / 23 + 1).left(size); }

class AtomicFileTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return m_dir.path() + '/' + name; }
    QTemporaryDir m_dir;
};

// A new file, written through a device, takes the umask's mode, a replaced one keeps its own, a link
// stays a link to the replaced file, and a 255-byte name is replaced (a
// temporary named after it would pass the limit).
TEST_F(AtomicFileTest, WritesKeepModesLinksAndNamesAtTheFileSystemsLimit)
{
    const mode_t mask = ::umask(022);
    ::umask(mask);
    const QString fresh = path("new.bin");
    ASSERT_EQ(reasonOf(fileio::writeFileAtomically(fresh, [](QIODevice& device) {
                  return device.write(pattern(100000)) == 100000 ? fileio::MaybeFailure() : fileio::unwritable(device.errorString());
              })),
              QString());
    EXPECT_EQ(readAll(fresh), pattern(100000));
    EXPECT_EQ(modeOf(fresh) & 0777, 0666 & ~mask);

    const QString real = path("real.txt"), link = path("link.txt");
    written(real, "old");
    ASSERT_EQ(::chmod(QFile::encodeName(real).constData(), 0640), 0);
    ASSERT_TRUE(QFile::link(real, link));
    ASSERT_EQ(reasonOf(fileio::writeFileAtomically(real, "replaced")), QString());
    ASSERT_EQ(reasonOf(fileio::writeFileAtomically(link, "new")), QString());
    EXPECT_TRUE(S_ISLNK(modeOf(link)));
    EXPECT_EQ(readAll(real), "new");
    EXPECT_EQ(modeOf(real) & 0777, 0640u);

    const QString longName = path(QString(251, 'n') + ".bmp");
    for (const char* bytes : {"first", "second"})
        ASSERT_EQ(reasonOf(fileio::writeFileAtomically(longName, bytes)), QString());
    EXPECT_EQ(readAll(longName), "second");
    EXPECT_EQ(namesIn(m_dir.path()).size(), 4) << "no temporary left: " << namesIn(m_dir.path()).join(' ').toStdString();
    EXPECT_EQ(reasonOf(fileio::writeFileAtomically(path("no/such/file"), "x")), QStringLiteral("No such file or directory"));
}

TEST_F(AtomicFileTest, CancelledOrAbandonedWriteLeavesTheOldFile)
{
    const QString target = written(path("old.txt"), "old");
    {
        fileio::AtomicFile file(target);
        ASSERT_TRUE(file.open());
        ASSERT_TRUE(file.write("half of the new"));
    }
    fileio::AtomicFile cancelled(target);
    ASSERT_TRUE(cancelled.open());
    ASSERT_TRUE(cancelled.write("new"));
    cancelled.cancel();
    EXPECT_FALSE(cancelled.commit());
    EXPECT_EQ(readAll(target), "old");
    EXPECT_EQ(namesIn(m_dir.path()), QStringList{"old.txt"});
}

TEST_F(AtomicFileTest, CopiedFileCanBePatchedInPlace)
{
    QFile in(written(path("source.bin"), pattern(300000)));
    ASSERT_TRUE(in.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
    fileio::AtomicFile file(path("copy.bin"));
    ASSERT_TRUE(file.open());
    // In two stretches, the first patched and handed to disk before the second.
    ASSERT_TRUE(file.copyFrom(in, 100000));
    ASSERT_TRUE(file.writeAt(5, "HELLO"));
    file.startWriteback(0, 100000);
    ASSERT_TRUE(file.copyFrom(in, 200000, 100000));
    ASSERT_TRUE(file.writeAt(299998, "!!"));
    ASSERT_TRUE(file.commit());
    QByteArray expected = pattern(300000);
    expected.replace(5, 5, "HELLO").replace(299998, 2, "!!");
    EXPECT_EQ(readAll(path("copy.bin")), expected);

    fileio::AtomicFile tooLong(path("short.bin"));
    ASSERT_TRUE(tooLong.open());
    EXPECT_FALSE(tooLong.copyFrom(in, 300001)) << "a source that ends early is no copy";
    EXPECT_FALSE(tooLong.commit());
    EXPECT_FALSE(QFile::exists(path("short.bin")));
}

// Names that exist and are not regular files are never replaced: a FIFO
// (with a reader, a write would go to it), a folder, a link to a FIFO.
TEST_F(AtomicFileTest, TargetsThatAreNotRegularFilesAreRefusedAndLeftAsTheyWere)
{
    const auto fifo = [](const QString& p) { return ::mkfifo(QFile::encodeName(p).constData(), 0600) == 0; };
    const struct { const char* name; const char* reason; std::function<bool(const QString&)> make; } rows[] = {
        {"fifo", "Not a regular file", fifo},
        {"folder", "Is a directory", [](const QString& p) { return QDir().mkdir(p); }},
        {"link-to-fifo", "Not a regular file", [&](const QString& p) { return fifo(p + ".fifo") && QFile::link(p + ".fifo", p); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QString target = path(row.name);
        ASSERT_TRUE(row.make(target));
        const mode_t before = modeOf(target);
        fileio::AtomicFile file(target);
        EXPECT_FALSE(file.open());
        EXPECT_EQ(file.errorString(), QString::fromUtf8(row.reason));
        EXPECT_FALSE(file.write("x"));
        EXPECT_FALSE(file.commit());
        EXPECT_EQ(modeOf(target), before);
        EXPECT_EQ(reasonOf(fileio::unwritableTarget(target)), QString::fromUtf8(row.reason));
    }
    EXPECT_EQ(namesIn(m_dir.path()).filter("mirrorvane"), QStringList());
}

// What a replaced file keeps, as cp --preserve=all keeps it.  Modes are the
// exact bits (Qt's permissions() reports root's access instead), owners are
// another user's where root saves.
TEST_F(AtomicFileTest, ReplacedFilesKeepOwnerModeAccessListAndUserAttributes)
{
    const passwd* nobody = ::getpwnam("nobody");
    const bool root = ::geteuid() == 0 && nobody != nullptr;
    const struct { const char* why; mode_t mode; } rows[] = {
        {"read-only, which root may replace", 0444}, {"no access at all", 0000},
        {"the group's only", 0070}, {"set-group-id", 02750},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const QString target = written(path("kept.bin"), "old");
        const QByteArray native = QFile::encodeName(target);
        ASSERT_TRUE(!root || ::chown(native.constData(), nobody->pw_uid, nobody->pw_gid) == 0);
        ASSERT_EQ(::chmod(native.constData(), row.mode), 0);
        struct stat before {}, after {};
        ASSERT_EQ(::stat(native.constData(), &before), 0);
        const QString reason = reasonOf(fileio::writeFileAtomically(target, "new"));
        if (!root && (row.mode & S_IWUSR) == 0) {
            EXPECT_EQ(reason, QStringLiteral("Permission denied")) << "as cp and > refuse it";
            EXPECT_EQ(readAll(target), "<unreadable>");
            continue;
        }
        ASSERT_EQ(reason, QString());
        ASSERT_EQ(::stat(native.constData(), &after), 0);
        EXPECT_EQ(std::tie(after.st_mode, after.st_uid, after.st_gid), std::tie(before.st_mode, before.st_uid, before.st_gid));
        ASSERT_EQ(::chmod(native.constData(), 0600), 0);
        EXPECT_EQ(readAll(target), "new");
    }

    // An access list whose mask keeps the group from writing, and a user's
    // attribute, on file systems that hold them.
    const QString target = written(path("listed.bin"), "old");
    const QByteArray native = QFile::encodeName(target);
    if (::setxattr(native.constData(), "user.origin", "camera", 6, 0) != 0)
        GTEST_SKIP() << "this file system holds no user attributes: " << std::strerror(errno);
    const QByteArray command = "setfacl -m u:nobody:rw,g::rw,m::r " + native + " 2>/dev/null";
    if (std::system(command.constData()) != 0)
        GTEST_SKIP() << "setfacl (package acl) is missing or this file system holds no access lists";
    const auto attribute = [&](const char* name) {
        QByteArray value(256, Qt::Uninitialized);
        const ssize_t got = ::getxattr(native.constData(), name, value.data(), static_cast<std::size_t>(value.size()));
        return got < 0 ? QByteArray("<none>") : value.left(got);
    };
    const QByteArray list = attribute("system.posix_acl_access");
    const mode_t mode = modeOf(target);
    ASSERT_EQ(reasonOf(fileio::writeFileAtomically(target, "new")), QString());
    EXPECT_EQ(attribute("system.posix_acl_access"), list);
    EXPECT_EQ(modeOf(target), mode) << "the mask stays the group bits: the group cannot write";
    EXPECT_EQ(attribute("user.origin"), "camera");
}

// Until it is complete the new content has no name and no bits for others:
// nobody watching the folder can open it.
TEST_F(AtomicFileTest, TheTemporaryIsNamelessAndPrivateUntilCommitted)
{
    const QString target = written(path("private.bin"), "old");
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0644), 0);
    fileio::AtomicFile file(target);
    ASSERT_TRUE(file.open());
    ASSERT_TRUE(file.write("private secret"));
    EXPECT_EQ(namesIn(m_dir.path()), QStringList{"private.bin"});
    int temporaries = 0;
    for (int fd = 3; fd < 1024; ++fd) {
        const QByteArray link = "/proc/self/fd/" + QByteArray::number(fd);
        char resolved[4096];
        const ssize_t got = ::readlink(link.constData(), resolved, sizeof resolved);
        struct stat status {};
        if (got > 0 && QByteArray(resolved, got).startsWith(QFile::encodeName(m_dir.path()))
            && ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 3) {
            ++temporaries;
            EXPECT_EQ(status.st_mode & 0077, 0u);
        }
    }
    EXPECT_EQ(temporaries, 1);
    ASSERT_TRUE(file.commit());
    EXPECT_EQ(modeOf(target) & 0777, 0644u);
    EXPECT_EQ(readAll(target), "private secret");
}

// A nearly full disk: the old file must survive whether the failure comes
// from a large write or from the last few kilobytes that a buffered writer
// would still hold at commit.
enum class Road { Write, DeviceWrites, CopyFromAnotherFileSystem };
struct FullDiskCase { const char* why; qsizetype size; Road road; };

class FullDiskTest : public ::testing::TestWithParam<FullDiskCase> {
protected:
    void SetUp() override
    {
        m_folder = m_dir.path() + "/disk";
        ASSERT_TRUE(QDir().mkdir(m_folder));
        if (::mount("tmpfs", QFile::encodeName(m_folder).constData(), "tmpfs", 0, "size=64k") != 0)
            GTEST_SKIP() << "mounting a 64 KB tmpfs needs root with CAP_SYS_ADMIN: " << std::strerror(errno);
        m_mounted = true;
        m_old = m_folder + "/old.bin";
        written(m_old, "the old file");
        // Leave 8 KB free, less than the 16 KB a buffered writer keeps.
        struct statvfs disk {};
        ASSERT_EQ(::statvfs(QFile::encodeName(m_folder).constData(), &disk), 0);
        const qint64 free = qint64(disk.f_bavail) * qint64(disk.f_frsize);
        written(m_folder + "/filler", QByteArray(free - 8192, 'f'));
    }
    void TearDown() override { if (m_mounted) ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH); }

    QTemporaryDir m_dir;
    QString m_folder, m_old;
    bool m_mounted = false;
};

TEST_P(FullDiskTest, OldFileSurvivesAndTheReasonIsTheSystems)
{
    const QByteArray bytes = pattern(GetParam().size);
    QFile in(written(m_dir.path() + "/source.bin", bytes));
    ASSERT_TRUE(in.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
    fileio::AtomicFile file(m_old);
    ASSERT_TRUE(file.open());
    switch (GetParam().road) {
    case Road::Write: file.write(bytes); break;
    case Road::DeviceWrites:
        for (qsizetype at = 0; at < bytes.size(); at += 1000)
            file.device()->write(bytes.mid(at, 1000));
        break;
    case Road::CopyFromAnotherFileSystem: file.copyFrom(in, bytes.size()); break;
    }
    EXPECT_FALSE(file.commit());
    EXPECT_EQ(file.errorString(), QStringLiteral("No space left on device"));
    EXPECT_EQ(readAll(m_old), "the old file");
    EXPECT_EQ(namesIn(m_folder), (QStringList{"filler", "old.bin"}));
}

INSTANTIATE_TEST_SUITE_P(Sizes, FullDiskTest,
                         ::testing::Values(FullDiskCase{"JustOverTheFreeSpace", 12 * 1024, Road::Write},
                                           FullDiskCase{"ManyTimesTheFreeSpace", 1024 * 1024, Road::Write},
                                           FullDiskCase{"SmallWritesThroughTheDevice", 12 * 1024, Road::DeviceWrites},
                                           FullDiskCase{"CopyJustOverTheFreeSpace", 12 * 1024, Road::CopyFromAnotherFileSystem},
                                           FullDiskCase{"CopyManyTimesTheFreeSpace", 1024 * 1024, Road::CopyFromAnotherFileSystem}),
                         [](const auto& row) { return std::string(row.param.why); });

// Reading: never hang on a FIFO, never read a folder, say why.
TEST_F(AtomicFileTest, OnlyRegularFilesAreOpened)
{
    const QString fifo = path("pipe.txt");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QFile file, folder, missing, note;
    EXPECT_EQ(reasonOf(fileio::openRegularFile(file, fifo)), QStringLiteral("Not a regular file"));
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ(reasonOf(fileio::openRegularFile(folder, m_dir.path())), QStringLiteral("Is a directory"));
    EXPECT_EQ(reasonOf(fileio::openRegularFile(missing, path("missing"))), QStringLiteral("No such file or directory"));
    ASSERT_EQ(reasonOf(fileio::openRegularFile(note, written(path("note.txt"), pattern(70000)))), QString());
    EXPECT_EQ(note.read(5), pattern(5));
}

}  // namespace
