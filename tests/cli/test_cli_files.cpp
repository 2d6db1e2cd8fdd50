// Saving and reading pictures when the system says no, another user is
// about, a signal arrives or the picture comes through a pipe.  Failures are
// injected into the real binary by the fault shim (LD_PRELOAD); the other
// user is `nobody`, reached with setpriv where the tests run as root.
#include "clitest.h"

#include "imagefile/bmpfiles.h"

#include <QFileInfo>

#include <csignal>
#include <cstdlib>
#include <thread>

#include <pwd.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace clitest {
namespace {

struct Fault {
    std::string spec;          // call:errno:times, see faultshim.cpp
    std::string path;          // the files it touches
    bool noUnnamedFiles = false;
};

std::vector<std::string> faultEnvironment(const Fault& fault)
{
    // A preloaded library that is not the sanitizer's own comes first in an
    // ASan build; the check for that order is the one thing turned off.
    const char* asan = std::getenv("ASAN_OPTIONS");
    std::vector<std::string> environment = {
        "LD_PRELOAD=" MIRRORVANE_FAULT_SHIM, "MIRRORVANE_FAULT=" + fault.spec, "MIRRORVANE_FAULT_PATH=" + fault.path,
        "ASAN_OPTIONS=" + std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0"};
    if (fault.noUnnamedFiles)
        environment.emplace_back("MIRRORVANE_NO_TMPFILE=1");
    return environment;
}

class CliFiles : public Cli {
protected:
    void SetUp() override
    {
        m_old = folder("out") + "/old.bmp";
        folder("in");
        m_picture = write("in/in.bmp", imagefiletest::bmpBytes(patternImage(64, 48)));
    }

    // Hides "secret" over an old file under `fault`, then checks that the
    // folder holds that file alone, whole: the new one when `replaced`.
    Outcome hideOverOld(const Fault& fault, bool replaced, bool png = false) const
    {
        write("out/old.bmp", "old");
        const std::vector<std::string> args = {"hide", m_picture, m_old, "--text", "secret"};
        const Outcome o = launch({.args = png ? joined(args, {"--format", "png"}) : args, .environment = faultEnvironment(fault)});
        EXPECT_EQ(namesIn("out"), QStringList{"old.bmp"});
        EXPECT_EQ(replaced ? run({"reveal", m_old}).out : read(m_old), replaced ? "secret" : "old");
        return o;
    }

    QStringList namesIn(const std::string& folder) const { return testsupport::namesIn(QString::fromStdString(path(folder))); }

    std::string m_picture, m_old;
};

// Interruptions are retried, and a failure anywhere keeps the old file and
// leaves nothing beside it.
TEST_F(CliFiles, InjectedSaveFailuresKeepTheOldFileOrFinishTheNewOne)
{
    const struct { const char* why; Fault fault; int status; const char* words; bool png; } rows[] = {
        {"interrupted fsync is retried", {"fsync:4:1", "/out/"}, 0, "", false},
        {"interrupted rename is retried", {"rename:4:1", "/out/"}, 0, "", false},
        {"interrupted close is done, not closed twice", {"close:4:0", "/out/"}, 0, "", false},
        {"interrupted write is retried", {"write:4:1", "/out/"}, 0, "", true},
        {"failing fsync", {"fsync:5:0", "/out/"}, 2, "Input/output error", false},
        {"failing close", {"close:5:0", "/out/"}, 2, "Input/output error", false},
        {"failing rename", {"rename:28:0", "/out/"}, 2, "No space left on device", false},
        {"failing link of the finished file", {"link:122:0", "/out/"}, 2, "Disk quota exceeded", false},
        {"failing write", {"write:28:0", "/out/"}, 2, "No space left on device", true},
        {"failing write of a named temporary", {"write:28:0", "/out/", true}, 2, "No space left on device", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const Outcome o = hideOverOld(row.fault, row.status == 0, row.png);
        EXPECT_TRUE(row.status == 0 ? gave(o, "") : ended(o, row.status, QByteArray("cannot write \"") + m_old.c_str() + "\": " + row.words));
    }
}

// Reading: the system's reason, not a guess at a damaged file; standard
// output's interruptions are retried.
TEST_F(CliFiles, ReadFailuresGiveTheSystemsReason)
{
    ASSERT_EQ(run({"hide", m_picture, path("in/hidden.bmp"), "--text", "secret"}).status, 0);
    for (const char* call : {"pread:5:0", "read:5:0"})
        EXPECT_TRUE(ended(launch({.args = {"reveal", path("in/hidden.bmp")}, .environment = faultEnvironment({call, "/in/"})}), 2,
                          "The picture could not be read: Input/output error")) << call;
    EXPECT_TRUE(gave(launch({.args = {"reveal", path("in/hidden.bmp")}, .environment = faultEnvironment({"write:4:1", "pipe:"})}),
                     "secret"));
}

// A stopping signal leaves the old file or the whole new one, and no
// temporary, unnamed or named.
TEST_F(CliFiles, SignalsLeaveNoTemporaryBehind)
{
    const struct { const char* why; Fault fault; int signal; bool replaced; } rows[] = {
        {"SIGTERM while the unnamed temporary is synced", {"fsync:-15:1", "/out/"}, SIGTERM, false},
        {"SIGINT while a named temporary is synced", {"fsync:-2:1", "/out/", true}, SIGINT, false},
        {"SIGHUP while a named temporary is synced", {"fsync:-1:1", "/out/", true}, SIGHUP, false},
        {"SIGTERM between link and rename waits for the rename", {"link:-15:1", "/out/"}, SIGTERM, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_EQ(hideOverOld(row.fault, row.replaced).signal, row.signal);
    }
}

// What cp and a shell's > refuse is refused: a link another user planted in
// a shared sticky folder, a read-only file, a folder the user cannot write
// (named in the sentence).
TEST_F(CliFiles, OtherUsersFilesAndReadOnlyFilesAreRefused)
{
    const passwd* nobody = ::getpwnam("nobody");
    if (::geteuid() != 0 || nobody == nullptr || !QFileInfo::exists("/usr/bin/setpriv"))
        GTEST_SKIP() << "needs root, the user nobody and setpriv to act as two users";
    ::chmod(m_dir.path().toLocal8Bit().constData(), 0755);  // reachable for nobody
    const std::string shared = folder("shared"), locked = folder("locked");
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);

    // Root saves through nobody's link to a root-owned file.
    const std::string rootFile = write("root-owned.bmp", "root's"), planted = shared + "/photo.bmp";
    ASSERT_EQ(::symlink(rootFile.c_str(), planted.c_str()), 0);
    ASSERT_EQ(::lchown(planted.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    EXPECT_TRUE(ended(run({"hide", m_picture, planted, "--text", "x"}), 2, "Permission denied"));
    EXPECT_EQ(read(rootFile), "root's");

    const auto asNobody = [&](const std::string& output) {
        return launch({.args = {"--reuid=" + std::to_string(nobody->pw_uid), "--regid=" + std::to_string(nobody->pw_gid),
                                "--clear-groups", MIRRORVANE_CLI, "hide", m_picture, output, "--text", "x"},
                       .program = "/usr/bin/setpriv"});
    };
    // nobody's own read-only file.
    const std::string readOnly = write("shared/mine.bmp", "mine");
    ASSERT_EQ(::chown(readOnly.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
    EXPECT_TRUE(ended(asNobody(readOnly), 2, QByteArray::fromStdString("\": Permission denied\n")));
    EXPECT_EQ(read(readOnly), "mine");

    // A writable file in root's folder: the folder is what refuses.
    const std::string open = write("locked/w.bmp", "w");
    ASSERT_EQ(::chmod(open.c_str(), 0666), 0);
    EXPECT_TRUE(ended(asNobody(open), 2, QByteArray::fromStdString("Permission denied in the folder \"" + locked + "\"")));
    EXPECT_EQ(read(open), "w");
}

// A picture through a pipe, a FIFO or /dev/stdin is read like -: once, into
// an unnamed copy that nothing outlives, and no further than it needs.
TEST_F(CliFiles, PicturesThroughPipesAreCopiedOnceAndBounded)
{
    ASSERT_EQ(roundTrip({"hide", m_picture, path("in/hidden.bmp"), "--text", "piped"}), "piped");
    const QByteArray hidden = read(path("in/hidden.bmp"));
    const std::string tmp = "TMPDIR=" + folder("tmp");
    for (const bool named : {false, true}) {
        SCOPED_TRACE(named ? "a file system without unnamed files" : "unnamed files");
        const std::vector<std::string> environment = joined(faultEnvironment({"", "", named}), {tmp});
        EXPECT_TRUE(gave(launch({.args = {"reveal", "/dev/stdin"}, .input = hidden, .environment = environment}), "piped"));
        EXPECT_EQ(namesIn("tmp"), QStringList());
    }

    const std::string fifo = path("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] { write("fifo", hidden); });
    const Outcome fromFifo = run({"capacity", fifo});
    writer.join();
    EXPECT_TRUE(gave(fromFifo, "1000\n"));

    // An endless stream after a BMP's last pixel is not read.
    const Outcome endless = launch({.args = {"reveal", "-"}, .input = hidden, .endlessInput = true});
    EXPECT_EQ(endless.out, "piped") << endless.err.toStdString();
    EXPECT_LT(endless.inputTaken, hidden.size() + (4LL << 20));
}

// A picture wider than libpng's million-pixel default is written as PNG, to
// a file and to a pipe alike, and reads back.
TEST_F(CliFiles, APngWiderThanLibpngsDefaultIsWrittenAndReadBack)
{
    const std::string wide = write("in/wide.bmp", imagefiletest::bmpBytes(patternImage(1000001, 2)));
    for (const std::string& output : {path("out/wide.png"), std::string("-")}) {
        const Outcome o = run({"hide", wide, output, "--text", "x", "--format", "png"});
        EXPECT_TRUE(gave(run({"reveal", output == "-" ? write("out/piped.png", o.out) : output}), "x")) << output << o.err.toStdString();
    }
}

TEST_F(CliFiles, AFullTemporaryFolderGivesTheSystemsReason)
{
    const std::string tmp = folder("tmp");
    if (::mount("tmpfs", tmp.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "mounting a 64 KB tmpfs needs root with CAP_SYS_ADMIN";
    const QByteArray big = imagefiletest::bmpBytes(patternImage(200, 200));
    const Outcome o = launch({.args = {"capacity", "-"}, .input = big, .environment = {"TMPDIR=" + tmp}});
    ::umount2(tmp.c_str(), MNT_DETACH);
    EXPECT_TRUE(ended(o, 2, "cannot read the picture from standard input: No space left on device"));
}

}  // namespace
}  // namespace clitest
