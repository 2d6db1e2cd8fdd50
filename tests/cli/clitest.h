#pragma once

// The fixture of the CLI tests: a scratch folder, pictures made on the spot
// and the real binary run on byte arguments.

#include "clirunner.h"

#include "imagefile/imageio.h"
#include "imagefile/pictures.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace clitest {

using imagefiletest::patternImage;
inline const std::string kHide = "hide", kReveal = "reveal", kText = "--text";

class Cli : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return m_dir.path().toStdString() + "/" + name; }

    static Outcome run(std::vector<std::string> args, const QByteArray& input = {}, Stream out = Stream::Pipe)
    {
        return launch({.args = std::move(args), .input = input, .out = out});
    }

    std::string save(const QImage& image, const std::string& name) const
    {
        EXPECT_TRUE(image.save(QString::fromStdString(path(name)))) << name;
        return path(name);
    }

    static QByteArray read(const std::string& file) { return testsupport::contentsOf(QString::fromStdString(file)); }

    std::string write(const std::string& name, const QByteArray& bytes) const
    {
        return testsupport::written(QString::fromStdString(path(name)), bytes).toStdString();
    }

    static bool exists(const std::string& file) { return QFile::exists(QString::fromStdString(file)); }

    // Makes the folder `name` in the scratch folder; its path.
    std::string folder(const std::string& name) const
    {
        EXPECT_TRUE(QDir().mkpath(QString::fromStdString(path(name)))) << name;
        return path(name);
    }

    // What reveal finds in the picture that `hide` with `args` (its output
    // third) wrote, or why hide failed; both run by `program` when given.
    static QByteArray roundTrip(const std::vector<std::string>& args, const QByteArray& input = {}, const std::string& program = {})
    {
        const Outcome o = launch({.args = args, .program = program, .input = input});
        return o.status == 0 ? launch({.args = {"reveal", args[2]}, .program = program}).out : "hide failed: " + o.err;
    }

    QTemporaryDir m_dir;
};

// Peak memory is not bounded under AddressSanitizer, whose shadow memory
// and quarantine count too.
#ifdef __SANITIZE_ADDRESS__
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif

// `args` followed by `more`.
inline std::vector<std::string> joined(std::vector<std::string> args, const std::vector<std::string>& more)
{
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// Ended with `status`, having said something on standard error that holds
// `words`, every line of it under the program's prefix.
inline ::testing::AssertionResult ended(const Outcome& o, int status, const QByteArray& words = {})
{
    bool prefixed = o.err.endsWith('\n');  // and so not empty
    for (const QByteArray& line : o.err.split('\n'))
        prefixed = prefixed && (line.isEmpty() || line.startsWith("mirrorvane-cli: "));
    if (o.status == status && prefixed && o.err.contains(words))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "status " << o.status << ", standard error: " << o.err.toStdString();
}

// Ended well and silently, with exactly `out` on standard output.
inline ::testing::AssertionResult gave(const Outcome& o, const QByteArray& out)
{
    if (o.status == 0 && o.out == out && o.err.isEmpty())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "status " << o.status << ", standard output: " << o.out.left(300).toStdString()
                                         << ", standard error: " << o.err.toStdString();
}

}  // namespace clitest
