// mirrorvane-cli at its edges: odd standard streams, names and outputs,
// endless input, and pictures made to hurt the reader, each answered within
// seconds and 100 MB whatever its size, a refusal with its reason; saving
// and reading pictures when the system says no, another user is about, a
// signal arrives or the picture comes through a pipe.  Failures are injected
// into the real binary by the fault shim (LD_PRELOAD); the other user is
// `nobody`, reached with setpriv where the tests run as root.
#include "clitest.h"

#include "imagefile/bmpfiles.h"
#include "imagefile/hostilefiles.h"

#include <QFileInfo>

#include <csignal>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <thread>

#include <pwd.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace clitest {
namespace {

TEST_F(Cli, DashIsStandardInputAndOutputThroughPipes)
{
    const QByteArray picture = read(save(patternImage(40, 30), "in.png"));
    const std::string text = "through pipes \xC3\xA9";
    for (const char* format : {"bmp", "png"}) {
        SCOPED_TRACE(format);
        const Outcome hidden = run({"hide", "-", "-", "--text", text, "--format", format}, picture);
        EXPECT_TRUE(hidden.status == 0 && hidden.out.startsWith(format == std::string("png") ? "\x89PNG" : "BM")) << hidden.err.toStdString();
        EXPECT_FALSE(exists(path("-"))) << "no file named -";

        EXPECT_EQ(run({"reveal", "-"}, hidden.out).out.toStdString(), text);
        EXPECT_EQ(run({"capacity", "-"}, hidden.out).out, "376\n");
    }

    EXPECT_TRUE(ended(run({"hide", "-", path("o.bmp")}, picture), 1)) << "standard input as the picture and the text";
}

TEST_F(Cli, AFailedStandardOutputIsReported)
{
    const std::string picture = save(patternImage(30, 30), "in.png"), hidden = path("hidden.bmp");
    ASSERT_EQ(run({"hide", picture, hidden, "--text", "a secret that must not be cut short"}).status, 0);
    const std::vector<std::vector<std::string>> commands = {
        {"reveal", hidden}, {"capacity", picture}, {"--help"}, {"--version"}, {"hide", picture, "-", "--text", "x"},
    };
    for (const auto& [stream, reason] : {std::pair{Stream::Full, "No space left on device"},
                                         std::pair{Stream::Closed, "Bad file descriptor"}})
        for (const auto& args : commands)
            EXPECT_TRUE(ended(run(args, {}, stream), 2, QByteArray("mirrorvane-cli: cannot write standard output: ") + reason + "\n"))
                << args[0] << (stream == Stream::Full ? " > /dev/full" : " >&-");
    // With standard output closed, no file the program opens takes its place.
    ASSERT_EQ(run({"hide", picture, path("out.bmp"), "--text", "x"}, {}, Stream::Closed).status, 0);
    EXPECT_EQ(run({"reveal", path("out.bmp")}).out, "x");
}

TEST_F(Cli, NamesThatAreNotUtf8AreRefusedAndNoOtherFileIsTouched)
{
    // Qt would turn the byte 0xFF or 0xE9 into U+FFFD and reach these files.
    const std::string lookalikeOut = write("out\xEF\xBF\xBD.bmp", "keep me");
    save(patternImage(60, 60), "caf\xEF\xBF\xBD.bmp");
    const std::string picture = save(patternImage(30, 30), "in.png"), latin1 = path("caf\xE9.bmp");
    ASSERT_EQ(::rename(save(patternImage(30, 30), "real.bmp").c_str(), latin1.c_str()), 0);

    const std::vector<std::vector<std::string>> commands = {
        {"hide", picture, path("out\xFF.bmp"), "--text", "x"},
        {"capacity", latin1},
        {"reveal", latin1},
        {"hide", picture, path("o.bmp"), "--text-file", path("t\xFF.txt")},
    };
    for (const auto& args : commands) {
        const Outcome o = run(args);
        EXPECT_TRUE(ended(o, 2, "is not valid UTF-8") && (o.err.contains("\\xFF") || o.err.contains("\\xE9")) && o.out.isEmpty())
            << o.err.toStdString() << ": the byte shown escaped, the look-alike picture's capacity not printed";
    }
    EXPECT_EQ(read(lookalikeOut), "keep me");
    EXPECT_FALSE(exists(path("o.bmp")));
    EXPECT_EQ(::access(path("out\xFF.bmp").c_str(), F_OK), -1);
    ::unlink(latin1.c_str());  // Qt's clean-up cannot name it either
}

TEST_F(Cli, TerminalsGetAHintAndEscapedControls)
{
    const std::string picture = save(patternImage(40, 40), "in.png"), out = path("o.bmp");
    Outcome o = launch({.args = {"hide", picture, out}, .input = "typed\n", .in = Stream::Terminal});
    ASSERT_EQ(o.status, 0) << o.err.toStdString();
    EXPECT_EQ(o.err, "mirrorvane-cli: reading the text to hide from standard input until end of file (Ctrl+D)\n");
    EXPECT_EQ(run({"reveal", out}).out, "typed\n");

    // ESC ] 2 ; ... BEL retitles a terminal window.
    const QByteArray hostile = "a\x1B]2;owned\x07" "b\tc\r\nd\x7F";
    EXPECT_EQ(roundTrip({"hide", picture, out, "--text", hostile.toStdString()}), hostile) << "redirected: the bytes exactly";
    for (const std::vector<std::string>& args : {std::vector<std::string>{"reveal", out}, {"reveal", out, "--raw"}}) {
        o = run(args, {}, Stream::Terminal);
        EXPECT_TRUE(ended(o, 0, "shown as \\xHH") && o.out == "a\\x1B]2;owned\\x07b\tc\r\nd\\x7F") << o.out.toStdString();
    }
    o = launch({.args = {"reveal", out}, .out = Stream::Terminal, .errToOut = true});
    EXPECT_TRUE(o.out.startsWith("a\\x1B]2;owned") && o.out.endsWith("as they are\n")) << "the note follows the text";

    // No picture can come from a terminal: waiting would look like a hang.
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"capacity", "-"}, {"check", out, "-"}, {"reveal", "-"}, {"hide", "-", out}, {"hide", "-", out, "--text", "x"}})
        EXPECT_TRUE(ended(launch({.args = args, .in = Stream::Terminal}), 2, "standard input is a terminal")) << args[0] << " " << args.size();

    o = run({"hide", out, "-", "--text", "x"}, {}, Stream::Terminal);
    EXPECT_TRUE(ended(o, 1) && o.out.isEmpty()) << "no picture bytes on a terminal";

    // Arguments Qt would take for itself reach the parser.
    for (const char* text : {"-qmljsdebugger=port:1234", "-reverse", "-platform"})
        EXPECT_EQ(roundTrip({"hide", picture, out, "--text", text}), text);
}

// Under a Latin-1 locale --text is typed in Latin-1 and a terminal shows
// Latin-1; files and pipes stay UTF-8.
TEST_F(Cli, TheLocalesEncodingIsFollowedForTheTextArgumentAndTheTerminal)
{
    const std::string locales = folder("locales");
    if (std::system(("localedef -i en_US -f ISO-8859-1 '" + locales + "/en_US.ISO-8859-1' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "cannot build a Latin-1 locale (localedef and the locales package are needed)";
    // The locale is the program's alone; the test's own stays as it was.
    const auto latin1 = [&](std::vector<std::string> args, Stream out = Stream::Pipe) {
        return launch({.args = std::move(args), .environment = {"LOCPATH=" + locales, "LC_ALL=en_US.ISO-8859-1"}, .out = out});
    };
    const std::string picture = save(patternImage(40, 40), "in.png"), out = path("o.bmp");
    EXPECT_TRUE(gave(latin1({"hide", picture, out, "--text", "caf\xE9 \xA4"}), ""));
    EXPECT_EQ(latin1({"reveal", out}).out, "caf\xC3\xA9 \xC2\xA4");
    EXPECT_EQ(latin1({"reveal", out}, Stream::Terminal).out, "caf\xE9 \xA4");
    ASSERT_EQ(latin1({"hide", picture, out, "--text", "\x80", "--raw"}).status, 0) << "the euro sign, which Latin-1 lacks";
    const Outcome lacking = latin1({"reveal", out}, Stream::Terminal);
    EXPECT_EQ(lacking.out, "\\x80");
    EXPECT_TRUE(ended(lacking, 0, "characters ISO-8859-1 lacks are shown as \\xHH"));
    // A UTF-8 text: what Latin-1 has in Latin-1, the rest as its bytes.
    ASSERT_EQ(latin1({"hide", picture, out, "--utf8", "--text-file", write("pl.txt", "\xC3\xA9 \xC5\x81")}).status, 0);
    EXPECT_EQ(latin1({"reveal", out}, Stream::Terminal).out, "\xE9 \\xC5\\x81");
}

TEST_F(Cli, OutputsThatAreNotRegularFilesAreRefused)
{
    const std::string picture = save(patternImage(30, 30), "in.png");
    // A folder and the other kinds are the write helper's own test.
    const std::string fifo = path("fifo"), device = path("null"), link = path("link");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A device of our own, reached through a link: a faulty program replaces
    // this node, never the system's /dev/null.
    std::vector<std::string> targets = {fifo};
    if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0 && ::symlink(device.c_str(), link.c_str()) == 0)
        targets.push_back(link);
    else
        std::cout << "[  SKIPPED ] a device output: mknod needs root\n";
    for (const std::string& target : targets)
        EXPECT_TRUE(ended(run({"hide", picture, target, "--text", "x"}), 2, QByteArray::fromStdString(target)));
    struct stat st {};
    EXPECT_TRUE(::stat(fifo.c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
    EXPECT_TRUE(targets.size() == 1 || (::lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && ::stat(device.c_str(), &st) == 0
                                        && S_ISCHR(st.st_mode))) << "nothing renamed over the link or the device";
}

TEST_F(Cli, TextWithoutEndIsRefusedAfterWhatThePictureHolds)
{
    const std::string picture = save(patternImage(64, 48), "in.png"), out = path("o.bmp");
    // Under ulimit -v of 2 GB, except with ASan, whose shadow memory needs more.
    const Outcome o = launch({.args = {"hide", picture, out}, .endlessInput = true, .addressSpace = kSanitized ? 0 : 2000000ULL * 1024});
    EXPECT_TRUE(ended(o, 4) && o.err.startsWith("mirrorvane-cli: The Message has at least ")) << o.err.toStdString();
    // The picture holds 1,000 characters; reading goes on a megabyte past
    // them for a figure, and a pipe buffers at most another.
    EXPECT_LT(o.inputTaken, 3LL << 20) << "the program stopped reading";
    EXPECT_FALSE(exists(out));
}

TEST_F(Cli, ALowPictureOfAnyWidthTakesConstantMemory)
{
    // One row of three million pixels: a row's slice alone is 9 MB, and the
    // text reaches past the first band.
    const std::string picture = write("wide.bmp", imagefiletest::bmpBytes(patternImage(3000000, 1))), out = path("out.bmp");
    const QByteArray text = QByteArray("a wide and low picture. ").repeated(25000);
    const Outcome hidden = run({"hide", picture, out, "--text-file", write("text.txt", text)}), revealed = run({"reveal", out});
    EXPECT_TRUE(gave(hidden, ""));
    EXPECT_TRUE(gave(revealed, text));
    EXPECT_TRUE(kSanitized || (hidden.peakKilobytes < 64 << 10 && revealed.peakKilobytes < 64 << 10))
        << hidden.peakKilobytes << " and " << revealed.peakKilobytes << " KB";
}

TEST_F(Cli, HostilePicturesAreAnsweredInSecondsWithinBoundedMemory)
{
    using namespace imagefiletest;
    const QByteArray jpeg = progressiveJpeg(patternImage(64, 48));
    // Each kind is the decoders' own test; these prove the tool neither reads
    // a large file whole nor decodes a refused one. Made one at a time: the
    // program's peak counts what this process holds when it starts it.
    const struct { const char* why; std::function<QByteArray()> make; int status; QByteArray words; } rows[] = {
        {"JPEG padded with 100 MB of comments", [&] {
             return QByteArray(jpeg).insert(2, (QByteArray::fromHex("FFFEFFFF") + QByteArray(65533, 'c')).repeated(1600));
         }, 0, {}},
        {"progressive CMYK 16384 x 16384 behind stuffed zeros",
         [&] { return behindStuffedZeros(withFrame(jpeg, 16384, 16384, 4)); }, 2, "would need 3072 MB"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const std::string file = write("picture", row.make());
        // Killed past 5 seconds: the status would then be 137.
        const Outcome o = launch({.args = {"-s", "KILL", "5", MIRRORVANE_CLI, "capacity", file}, .program = "/usr/bin/timeout"});
        EXPECT_TRUE(row.status == 0 ? gave(o, "1000\n") : ended(o, row.status, row.words));
        EXPECT_TRUE(kSanitized || o.peakKilobytes < 100 << 10) << o.peakKilobytes << " KB, whatever the file's size";
    }
}

// Only the hidden name a save falls back to where unnamed files are refused
// matches: a row that names it fails unless that fallback ran.
const std::string kNamedTemporary = "/out/.mirrorvane-";

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
        {"failing write of a named temporary", {"write:28:0", kNamedTemporary, true}, 2, "No space left on device", true},
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
        {"SIGINT while a named temporary is synced", {"fsync:-2:1", kNamedTemporary, true}, SIGINT, false},
        {"SIGHUP while a named temporary is synced", {"fsync:-1:1", kNamedTemporary, true}, SIGHUP, false},
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
    ASSERT_TRUE(::symlink(rootFile.c_str(), planted.c_str()) == 0 && ::lchown(planted.c_str(), nobody->pw_uid, nobody->pw_gid) == 0);
    EXPECT_TRUE(ended(run({"hide", m_picture, planted, "--text", "x"}), 2, "Permission denied"));
    EXPECT_EQ(read(rootFile), "root's");

    const auto asNobody = [&](const std::string& output) {
        return launch({.args = {"--reuid=" + std::to_string(nobody->pw_uid), "--regid=" + std::to_string(nobody->pw_gid),
                                "--clear-groups", MIRRORVANE_CLI, "hide", m_picture, output, "--text", "x"},
                       .program = "/usr/bin/setpriv"});
    };
    // nobody's own read-only file.
    const std::string readOnly = write("shared/mine.bmp", "mine");
    ASSERT_TRUE(::chown(readOnly.c_str(), nobody->pw_uid, nobody->pw_gid) == 0 && ::chmod(readOnly.c_str(), 0444) == 0);
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
