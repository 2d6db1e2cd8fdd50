// Open Text and Save Text on names they cannot use.  A full disk and names at
// the length limit are the atomic writer's tests (Save Text writes through it).
#include "textfixture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <future>
#include <thread>

namespace {

using testsupport::isFailureBox;
using texttest::TextCommandsTest;

// Nothing is read from a FIFO or a device, and nothing waits on one.
TEST_F(TextCommandsTest, UnusableNamesAreReportedWithoutWaitingAndTheTextKept)
{
    text::saveText(m_context);
    EXPECT_FALSE(m_label4->text().isEmpty()) << "an empty box is reported, not saved";
    EXPECT_TRUE(m_platform.dialogs.isEmpty());

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
    // A missing ".doc" must fail here, not be handed to another program.
    for (const QString& path : {fifo, device, pathOf(QStringLiteral("vanished.doc"))}) {
        text::openTextFile(m_context, path);
        EXPECT_TRUE(isFailureBox(m_platform.lastBox(), QStringLiteral("The text file could not be opened:"), path));
    }
    EXPECT_EQ(boxText(), QStringLiteral("keep me"));
    EXPECT_TRUE(m_platform.openedUrls.isEmpty());

    // Nor is one written over by Save Text; a folder that is a regular file
    // fails even for root.
    const QString blocker = writeFile(QStringLiteral("plain"), "not a folder");
    for (const QString& path : {fifo, pathOf(QStringLiteral("plain/saved.txt"))}) {
        m_platform.dialogAnswers = {path};
        text::saveText(m_context);
        EXPECT_TRUE(isFailureBox(m_platform.lastBox(), QStringLiteral("The text file could not be saved:"), path));
    }
    EXPECT_EQ(readFile(blocker), QByteArray("not a folder"));
    struct stat info {};
    EXPECT_TRUE(::stat(QFile::encodeName(fifo).constData(), &info) == 0 && S_ISFIFO(info.st_mode));
    finished.set_value();
    unblock.join();
}

}  // namespace
