// `mirrorvane [--] [FILE]`: the usage and the version without a window (or
// a display), and which argument is the file.

#include "app/commandline.h"

#include <mirrorvane/version.h>

#include <QProcess>

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(CommandLine, HelpAndVersionPrintWithoutADisplay)
{
    QProcessEnvironment headless = QProcessEnvironment::systemEnvironment();
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        headless.remove(QLatin1String(variable));
    const std::tuple<QStringList, QByteArray> rows[] = {
        {{"--help"}, "Usage: mirrorvane [--] [FILE]\n"},
        {{"-h", "holiday.bmp"}, "Usage: mirrorvane [--] [FILE]\n"},
        {{"--version"}, QByteArray("mirrorvane ") + mirrorvane::kVersionString + "\n"},
    };
    for (const auto& [args, start] : rows) {
        SCOPED_TRACE(args.join(' ').toStdString());
        QProcess program;
        program.setProcessEnvironment(headless);
        program.start(QStringLiteral(MIRRORVANE_DESKTOP_PROGRAM), args);
        ASSERT_TRUE(program.waitForFinished(20000));
        EXPECT_EQ(program.exitCode(), 0);
        EXPECT_TRUE(program.readAllStandardOutput().startsWith(start));
        EXPECT_EQ(program.readAllStandardError(), QByteArray());
    }
}

TEST(CommandLine, TheFirstFileOpensAndTheOthersAreNamed)
{
    using Action = app::CommandLine::Action;
    const struct {
        const char* why;
        std::vector<const char*> args;
        Action action;
        QByteArray file;
        QByteArray warning;
    } rows[] = {
        {"a file", {"a.bmp"}, Action::Run, "a.bmp", ""},
        {"after --, an option's name is a file", {"--", "--help", "b.bmp"}, Action::Run, "--help",
         "mirrorvane: only the first FILE is opened; ignored: \"b.bmp\"\n"},
        {"a name cannot drive the terminal", {"a.bmp", "b\x1B]2;x\x07.png"}, Action::Run, "a.bmp",
         "mirrorvane: only the first FILE is opened; ignored: \"b\\x1B]2;x\\x07.png\"\n"},
        {"help wins over the version", {"--version", "--help"}, Action::Help, "", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        std::vector<const char*> argv{"mirrorvane"};
        argv.insert(argv.end(), row.args.begin(), row.args.end());
        const app::CommandLine line = app::readCommandLine(static_cast<int>(argv.size()), argv.data());
        EXPECT_EQ(line.action, row.action);
        EXPECT_EQ(line.file.value_or(QByteArray()), row.file);
        EXPECT_EQ(app::ignoredFilesWarning(line), row.warning);
    }
}

}  // namespace
