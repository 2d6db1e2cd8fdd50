// Save Text on a full disk and Open Text on names that are not regular files.
// A full disk fails a small text only when the last buffer is flushed and a
// large one part-way through: both must be reported with the system's reason
// and leave the old file whole.  The disk is a 64 KB tmpfs, which needs root
// with CAP_SYS_ADMIN; the case skips elsewhere.
#include "textfixture.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <future>
#include <thread>

namespace {

using testsupport::isFailureBox;
using texttest::TextCommandsTest;

class FullDiskTest : public TextCommandsTest {
protected:
    void TearDown() override
    {
        TextCommandsTest::TearDown();
        if (m_mounted)
            ::umount2(m_diskName.constData(), MNT_DETACH);
    }

    // Mounts the disk with the old file on it and fills the rest; empty when ready, else why not.
    QString stage()
    {
        if (!QDir().mkpath(m_disk))
            return QStringLiteral("cannot make the mount point");
        if (::mount("tmpfs", m_diskName.constData(), "tmpfs", 0, "size=64k") != 0)
            return QStringLiteral("mounting a tmpfs needs CAP_SYS_ADMIN: ") + QString::fromLocal8Bit(std::strerror(errno));
        m_mounted = true;
        QFile old(m_old);
        if (!old.open(QIODevice::WriteOnly) || old.write(m_oldBytes) != m_oldBytes.size() || !old.flush())
            return QStringLiteral("cannot write the old file");
        const int filler = ::open(QFile::encodeName(m_disk + QStringLiteral("/filler")).constData(),
                                  O_WRONLY | O_CREAT, 0600);
        const QByteArray page(4096, 'f');
        while (::write(filler, page.constData(), static_cast<std::size_t>(page.size())) > 0) {
        }
        while (::write(filler, page.constData(), 1) > 0) {
        }
        ::close(filler);
        return QString();
    }

    QStringList entries() const
    {
        return QDir(m_disk).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }

    const QString m_disk = pathOf(QStringLiteral("disk"));
    const QByteArray m_diskName = QFile::encodeName(m_disk);
    const QString m_old = m_disk + QStringLiteral("/old.txt");
    const QByteArray m_oldBytes = QByteArray("the old file, which must survive\n").repeated(4);
    bool m_mounted = false;
};

TEST_F(FullDiskTest, SaveTextReportsTheFullDiskAndKeepsTheOldFile)
{
    const QString notStaged = stage();
    if (!notStaged.isEmpty())
        GTEST_SKIP() << notStaged.toStdString();
    const QStringList before = entries();
    const struct {
        const char* why;
        qsizetype length;
    } rows[] = {
        {"fits the last buffer: fails only when flushed", 10},
        {"a few pages", 20000},
        {"larger than the disk", 100000},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        m_platform.boxes.clear();
        text::setTextBoxText(m_text1, QString(row.length, u'w'));
        m_platform.dialogAnswers = {m_old};
        text::saveText(m_context);
        ASSERT_EQ(m_platform.boxes.size(), 1);
        EXPECT_TRUE(isFailureBox(m_platform.boxes[0], QStringLiteral("The text file could not be saved:"), m_old));
        EXPECT_TRUE(m_platform.boxes[0].text.endsWith(QString::fromLocal8Bit(std::strerror(ENOSPC))))
            << m_platform.boxes[0].text.toStdString();
        EXPECT_EQ(readFile(m_old), m_oldBytes);
        EXPECT_EQ(entries(), before) << "no temporary file left behind";
    }
}

// Nothing is read from a FIFO or a device, and nothing waits on one.
TEST_F(TextCommandsTest, NamesThatAreNotRegularFilesAreRefusedWithoutWaiting)
{
    const QString fifo = pathOf(QStringLiteral("pipe.txt"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString device = pathOf(QStringLiteral("device.txt"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), device));
    // Should the open block after all, a writer lets it go so the test fails instead of hanging.
    std::promise<void> finished;
    std::thread unblock([fifo, done = finished.get_future()] {
        if (done.wait_for(std::chrono::seconds(10)) == std::future_status::ready)
            return;
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    });
    text::setTextBoxText(m_text1, QStringLiteral("keep me"));
    for (const QString& path : {fifo, device}) {
        text::openTextFile(m_context, path);
        EXPECT_TRUE(isFailureBox(m_platform.lastBox(), QStringLiteral("The text file could not be opened:"), path));
    }
    EXPECT_EQ(boxText(), QStringLiteral("keep me"));

    // Nor is one written over by Save Text.
    m_platform.dialogAnswers = {fifo};
    text::saveText(m_context);
    EXPECT_TRUE(isFailureBox(m_platform.lastBox(), QStringLiteral("The text file could not be saved:"), fifo));
    struct stat info {};
    EXPECT_TRUE(::stat(QFile::encodeName(fifo).constData(), &info) == 0 && S_ISFIFO(info.st_mode));
    finished.set_value();
    unblock.join();
}

TEST_F(TextCommandsTest, SaveTextReplacesAFileWithTheLongestNameTheSystemAllows)
{
    const QString path = writeFile(QString(246, u'n') + QStringLiteral(".txt"), "old");
    text::setTextBoxText(m_text1, QStringLiteral("new"));
    m_platform.dialogAnswers = {path};
    text::saveText(m_context);
    EXPECT_TRUE(m_platform.boxes.isEmpty());
    EXPECT_EQ(readFile(path), QByteArray("new"));
}

}  // namespace
