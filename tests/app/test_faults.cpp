// Save Image and Save Text when the disk says no: the user is told, and
// neither the old file nor the unsaved message is lost.  A read-only folder
// stops the save before it writes, a full disk part-way.  As root the folder
// is made read-only by a bind mount; cases skip where mounting is refused.

#include "windowfixture.h"

#include <QTemporaryDir>

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

class SaveFaultTest : public apptest::WindowTest, public ::testing::WithParamInterface<std::tuple<bool, bool>> {
protected:
    void TearDown() override
    {
        // Save Text moves into the folder it saved to.
        QDir::setCurrent(m_startFolder);
        if (m_mounted)
            ::umount2(m_folderName.constData(), MNT_DETACH);
        QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // Builds the fault around an old file in a folder of its own; returns
    // an empty string when ready, or why this system cannot stage it.
    QString stage(bool fullDisk, const QString& extension)
    {
        if (!QDir().mkpath(m_folder))
            return "cannot make the test folder";
        if (fullDisk && ::mount("tmpfs", m_folderName.constData(), "tmpfs", 0, "size=64k") != 0)
            return "mounting a 64 KB tmpfs needs root with CAP_SYS_ADMIN: " + reason();
        m_mounted = fullDisk;
        m_old = apptest::written(m_folder + "/old." + extension, m_oldBytes);
        if (fullDisk) {
            // Filled to the last byte, so even a short text fails at its last flush.
            QFile filler(m_folder + "/filler");
            if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
                return "cannot make the filler file";
            while (filler.write(QByteArray(4096, 'f')) > 0 || filler.write("f", 1) > 0) {}
            return QString();
        }
        if (::geteuid() != 0)
            return QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::ExeOwner) ? QString() : "chmod failed";
        if (::mount(m_folderName.constData(), m_folderName.constData(), nullptr, MS_BIND, nullptr) != 0)
            return "root ignores permission bits, and a read-only bind mount needs CAP_SYS_ADMIN: " + reason();
        m_mounted = true;
        if (::mount(nullptr, m_folderName.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
            return "cannot remount the bind mount read-only: " + reason();
        return QString();
    }

    static QString reason() { return QString::fromLocal8Bit(std::strerror(errno)); }

    QTemporaryDir m_dir;
    const QString m_startFolder = QDir::currentPath();
    const QString m_folder = m_dir.filePath("folder");
    const QByteArray m_folderName = QFile::encodeName(m_folder);
    bool m_mounted = false;
    QString m_old;
    const QByteArray m_oldBytes = QByteArray("the old file, which must survive\r\n").repeated(4);
};

TEST_P(SaveFaultTest, FailedSaveIsReportedAndLosesNothing)
{
    const auto [fullDisk, image] = GetParam();
    hideUnsaved("a secret");
    const QString notStaged = stage(fullDisk, image ? "bmp" : "txt");
    if (!notStaged.isEmpty())
        GTEST_SKIP() << notStaged.toStdString();
    const QStringList before = testsupport::namesIn(m_folder);

    // The text is the short one hidden; the picture is larger than the disk.
    withFile(image ? &app::Stego1::Command5_Click : &app::Stego1::Command6_Click, m_old);

    ASSERT_EQ(platform.boxes.size(), 1);
    EXPECT_TRUE(apptest::isFailureBox(platform.boxes[0],
                                      image ? "The picture could not be saved:" : "The text file could not be saved:",
                                      m_old));
    if (fullDisk) {
        EXPECT_TRUE(platform.boxes[0].text.endsWith(QString::fromLocal8Bit(std::strerror(ENOSPC))))
            << qPrintable(platform.boxes[0].text);
    }
    EXPECT_EQ(testsupport::contentsOf(m_old), m_oldBytes);
    EXPECT_EQ(testsupport::namesIn(m_folder), before) << "no temporary file left behind";
    EXPECT_EQ(window->imageChanged(), 1);
    EXPECT_EQ(platform.busyDepth, 0);
}

INSTANTIATE_TEST_SUITE_P(Faults, SaveFaultTest, ::testing::Combine(::testing::Bool(), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<bool, bool>>& row) {
                             return std::string(std::get<0>(row.param) ? "FullDisk" : "ReadOnlyFolder")
                                    + (std::get<1>(row.param) ? "_SaveImage" : "_SaveText");
                         });

}  // namespace
