// Save Image and Save Text when the disk says no: the user is told, and
// neither the old file nor the unsaved hidden message is lost.
//
// Linux has no mandatory file locks, so "a file another program holds
// locked" is played by a target nobody can replace: a folder where the file
// should go.  (A file name under a regular file is the Save commands' own
// case.)  Root writes through permission bits, so as root the read-only cases
// use a read-only bind mount and the immutable attribute, and skip when the
// system refuses those.

#include "windowfixture.h"

#include <QTemporaryDir>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>

namespace {

enum class Fault { ReadOnlyFolder, ReadOnlyFile, FullDisk, TargetIsFolder };

QString systemReason() { return QString::fromLocal8Bit(std::strerror(errno)); }

bool setImmutable(const QString& path, bool on)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0)
        return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    const int saved = errno;
    ::close(fd);
    errno = saved;
    return done;
}

class SaveFaultTest : public apptest::WindowTest, public ::testing::WithParamInterface<std::tuple<Fault, bool>> {
protected:
    void TearDown() override
    {
        // Save Text moves into the folder it saved to; undo in reverse, so the
        // folder is writable again for QTemporaryDir to remove it.
        QDir::setCurrent(m_startFolder);
        for (auto undo = m_undo.rbegin(); undo != m_undo.rend(); ++undo)
            (*undo)();
    }

    // Mounts `options` over the test folder, undone at the end.
    bool mount(const char* source, const char* type, unsigned long flags, const char* options)
    {
        const QByteArray folder = QFile::encodeName(m_folder);
        if (::mount(source, folder.constData(), type, flags, options) != 0)
            return false;
        if (!(flags & MS_REMOUNT))
            m_undo.push_back([folder] { ::umount2(folder.constData(), MNT_DETACH); });
        return true;
    }

    // Builds the fault around an old file in a folder of its own; returns
    // an empty string when ready, or why this system cannot stage it.
    QString stage(Fault fault, const QString& extension)
    {
        m_folder = m_dir.filePath("folder");
        if (!QDir().mkpath(m_folder))
            return "cannot make the test folder";
        if (fault == Fault::FullDisk && !mount("tmpfs", "tmpfs", 0, "size=64k"))
            return "mounting a 64 KB tmpfs needs root with CAP_SYS_ADMIN: " + systemReason();
        m_old = apptest::writeFile(m_folder + "/old." + extension, m_oldBytes);
        m_target = m_old;
        const bool root = ::geteuid() == 0;
        switch (fault) {
        case Fault::ReadOnlyFolder:
            if (!root) {
                QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::ExeOwner);
                m_undo.push_back([this] { QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner); });
            } else if (!mount(qPrintable(m_folder), nullptr, MS_BIND, nullptr)
                       || !mount(nullptr, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr)) {
                return "root ignores permission bits, and a read-only bind mount needs CAP_SYS_ADMIN: " + systemReason();
            }
            break;
        case Fault::ReadOnlyFile:
            QFile::setPermissions(m_old, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
            if (root) {
                if (!setImmutable(m_old, true))
                    return "root ignores permission bits, and the immutable attribute needs CAP_LINUX_IMMUTABLE and a "
                           "file system that has it: " + systemReason();
                m_undo.push_back([this] { setImmutable(m_old, false); });
            }
            break;
        case Fault::FullDisk:
            break;
        case Fault::TargetIsFolder:
            m_target = m_folder + "/taken." + extension;
            if (!QDir().mkdir(m_target))
                return "cannot make the folder that stands in the way";
            break;
        }
        return QString();
    }

    // Every name in the folder, hidden ones included, so a leftover temporary shows.
    QStringList entries() const
    {
        return QDir(m_folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }

    QTemporaryDir m_dir;
    const QString m_startFolder = QDir::currentPath();
    std::vector<std::function<void()>> m_undo;
    QString m_folder;
    QString m_old;
    QString m_target;
    const QByteArray m_oldBytes = QByteArray("the old file, which must survive\r\n").repeated(4);
};

TEST_P(SaveFaultTest, FailedSaveIsReportedAndLosesNothing)
{
    const auto [fault, image] = GetParam();
    hideUnsaved("a secret");
    const QString notStaged = stage(fault, image ? "bmp" : "txt");
    if (!notStaged.isEmpty())
        GTEST_SKIP() << notStaged.toStdString();
    const QStringList before = entries();

    // Both are larger than the 64 KB disk: the write fails part-way.
    if (!image)
        setText(QString(100000, QLatin1Char('w')));
    platform.dialogAnswers.push_back(m_target);
    image ? window->Command5_Click() : window->Command6_Click();

    ASSERT_EQ(platform.boxes.size(), 1);
    EXPECT_TRUE(apptest::isFailureBox(platform.boxes[0],
                                      image ? "The picture could not be saved:" : "The text file could not be saved:",
                                      m_target));
    QFile old(m_old);
    EXPECT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), m_oldBytes);
    EXPECT_EQ(entries(), before) << "no temporary file left behind";
    EXPECT_EQ(window->imageChanged(), 1);
    EXPECT_EQ(platform.busyDepth, 0);
}

std::string faultName(const ::testing::TestParamInfo<std::tuple<Fault, bool>>& param)
{
    static const char* const kFaults[] = {"ReadOnlyFolder", "ReadOnlyFile", "FullDisk", "TargetIsFolder"};
    return std::string(kFaults[static_cast<int>(std::get<0>(param.param))])
           + (std::get<1>(param.param) ? "_SaveImage" : "_SaveText");
}

INSTANTIATE_TEST_SUITE_P(EveryFault, SaveFaultTest,
                         ::testing::Combine(::testing::Values(Fault::ReadOnlyFolder, Fault::ReadOnlyFile,
                                                              Fault::FullDisk, Fault::TargetIsFolder),
                                            ::testing::Bool()),
                         faultName);

}  // namespace
