// Save Image and Save Text when the disk says no: the user is told, and
// neither the old file nor the unsaved hidden message is lost.
//
// Linux has no mandatory file locks, so "a file another program holds
// locked" is played by targets that cannot be replaced by anyone: a folder
// where the file should go, and a file name under a regular file.  Root
// writes through permission bits, so as root the read-only cases use a
// read-only bind mount and the immutable attribute, and skip when the
// system refuses those.

#include "windowfixture.h"

#include <QDir>
#include <QFile>
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

enum class Fault { ReadOnlyFolder, ReadOnlyFile, FullDisk, TargetIsFolder, ParentIsFile };
enum class Command { SaveImage, SaveText };

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

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Every name in the folder, hidden ones included, so a leftover temporary shows.
QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

class SaveFaultTest : public apptest::WindowTest,
                      public ::testing::WithParamInterface<std::tuple<Fault, Command>> {
protected:
    void TearDown() override
    {
        // Undo in reverse: the folder must be writable again for QTemporaryDir to remove it.
        QDir::setCurrent(m_startFolder);
        for (auto undo = m_undo.rbegin(); undo != m_undo.rend(); ++undo)
            (*undo)();
    }

    // Builds the fault around an old file in a folder of its own; returns
    // an empty string when ready, or why this system cannot stage it.
    QString stage(Fault fault, const QString& extension)
    {
        m_folder = m_dir.filePath("folder");
        if (!QDir().mkpath(m_folder))
            return "cannot make the test folder";
        if (fault == Fault::FullDisk) {
            if (::mount("tmpfs", QFile::encodeName(m_folder).constData(), "tmpfs", 0, "size=64k") != 0)
                return "mounting a 64 KB tmpfs needs root with CAP_SYS_ADMIN: " + systemReason();
            const QByteArray folder = QFile::encodeName(m_folder);
            m_undo.push_back([folder] { ::umount2(folder.constData(), MNT_DETACH); });
        }
        m_old = m_folder + "/old." + extension;
        {
            QFile old(m_old);
            if (!old.open(QIODevice::WriteOnly) || old.write(m_oldBytes) != m_oldBytes.size())
                return "cannot write the old file";
        }
        m_target = m_old;

        switch (fault) {
        case Fault::ReadOnlyFolder:
            if (::geteuid() != 0) {
                QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::ExeOwner);
                m_undo.push_back([this] {
                    QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
                });
                break;
            }
            {
                const QByteArray folder = QFile::encodeName(m_folder);
                if (::mount(folder.constData(), folder.constData(), nullptr, MS_BIND, nullptr) != 0)
                    return "root ignores permission bits, and a bind mount needs CAP_SYS_ADMIN: " + systemReason();
                m_undo.push_back([folder] { ::umount2(folder.constData(), MNT_DETACH); });
                if (::mount(nullptr, folder.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
                    return "cannot remount the bind mount read-only: " + systemReason();
            }
            break;
        case Fault::ReadOnlyFile:
            QFile::setPermissions(m_old, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
            if (::geteuid() == 0) {
                if (!setImmutable(m_old, true))
                    return "root ignores permission bits, and the immutable attribute needs CAP_LINUX_IMMUTABLE and a file "
                           "system that has it: "
                           + systemReason();
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
        case Fault::ParentIsFile:
            m_target = m_old + "/new." + extension;
            break;
        }
        return QString();
    }

    QTemporaryDir m_dir;
    QString m_startFolder = QDir::currentPath();
    std::vector<std::function<void()>> m_undo;
    QString m_folder;
    QString m_old;
    QString m_target;
    const QByteArray m_oldBytes = QByteArray("the old file, which must survive\r\n").repeated(4);
};

TEST_P(SaveFaultTest, FailedSaveIsReportedAndLosesNothing)
{
    const auto [fault, command] = GetParam();
    const bool image = command == Command::SaveImage;
    // Hide first, so there is an unsaved message whose flag must survive.
    setText("a secret");
    window->Command1_Click();
    ASSERT_EQ(window->imageChanged(), 1);

    const QString notStaged = stage(fault, image ? "bmp" : "txt");
    if (!notStaged.isEmpty())
        GTEST_SKIP() << notStaged.toStdString();
    const QStringList before = entries(m_folder);

    // Both are larger than the 64 KB disk: the write fails part-way.
    if (!image)
        setText(QString(100000, QLatin1Char('w')));
    platform.dialogAnswers.push_back(m_target);
    if (image)
        window->Command5_Click();
    else
        window->Command6_Click();

    ASSERT_EQ(platform.boxes.size(), 1);
    const platform::MessageBox& box = platform.boxes[0];
    EXPECT_EQ(box.title, "Mirrorvane Alert");
    EXPECT_EQ(box.icon, platform::Icon::Warning);
    const QStringList lines = box.text.split("\r\n");
    ASSERT_EQ(lines.size(), 3) << qPrintable(box.text);
    EXPECT_EQ(lines[0], image ? "The picture could not be saved:" : "The text file could not be saved:");
    EXPECT_EQ(lines[1], QDir::toNativeSeparators(m_target));
    EXPECT_FALSE(lines[2].isEmpty()) << "the reason";

    EXPECT_EQ(contents(m_old), m_oldBytes);
    EXPECT_EQ(entries(m_folder), before) << "no temporary file left behind";
    EXPECT_EQ(window->imageChanged(), 1);
    EXPECT_EQ(platform.busyDepth, 0);
}

std::string faultName(const ::testing::TestParamInfo<std::tuple<Fault, Command>>& param)
{
    static const char* const kFaults[] = {"ReadOnlyFolder", "ReadOnlyFile", "FullDisk", "TargetIsFolder",
                                          "ParentIsFile"};
    return std::string(kFaults[static_cast<int>(std::get<0>(param.param))])
           + (std::get<1>(param.param) == Command::SaveImage ? "_SaveImage" : "_SaveText");
}

INSTANTIATE_TEST_SUITE_P(EveryFault, SaveFaultTest,
                         ::testing::Combine(::testing::Values(Fault::ReadOnlyFolder, Fault::ReadOnlyFile,
                                                              Fault::FullDisk, Fault::TargetIsFolder,
                                                              Fault::ParentIsFile),
                                            ::testing::Values(Command::SaveImage, Command::SaveText)),
                         faultName);

}  // namespace
