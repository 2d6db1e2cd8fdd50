// The shell completions of mirrorvane-cli, driven as each shell drives them
// when Tab is pressed, in a folder of pictures and other files.
#include "clitest.h"

#include <QProcess>
#include <QStandardPaths>

#include <iostream>

namespace clitest {
namespace {

const QString kCompletions = QStringLiteral(MIRRORVANE_COMPLETIONS);

// bash: the function called with COMP_WORDS and COMP_CWORD set; one reply a line.
const char* const kBash = R"sh(source "$1/bash/mirrorvane-cli"; eval "COMP_WORDS=($2)"; COMP_CWORD=$3
_mirrorvane_cli_complete; printf '%s\n' "${COMPREPLY[@]}")sh";

// zsh: an interactive shell on a pseudo-terminal that is sent the line and a
// Tab; every match added is written to $3 until the completion has finished.
const char* const kZsh = R"sh(zmodload zsh/zpty
zpty z zsh -f -i
zpty -w z "fpath=($1/zsh \$fpath); autoload -Uz compinit; compinit -u -D"
zpty -w z 'compadd() { local -a hits; builtin compadd -O hits "$@"; print -rl -- $hits >> '$3'; builtin compadd "$@" }'
zpty -w z 'comppostfuncs=(finished); finished() { print -r -- "-- finished" >> '$3' }'
zpty -w -n z "$2"$'\t'
for i in {1..300}; do grep -q -- '^-- finished' $3 2>/dev/null && break; sleep 0.1; done
zpty -d z
cat $3)sh";

// fish: its own query for what Tab would offer; the description after a tab is dropped.
const char* const kFish = R"sh(source $argv[1]/fish/mirrorvane-cli.fish; complete -C"$argv[2]" | string split -f1 \t)sh";

class Completions : public Cli {
protected:
    void SetUp() override
    {
        for (const char* name : {"holiday photo.png", "HOLIDAY.JPG", "notes.txt"})
            write(name, "");
        folder("sub");
    }

    // What `shell` offers, sorted, or nothing when it is not installed.
    std::optional<QStringList> offered(const char* shell, const QString& line, const QString& cword = {}) const
    {
        const QString program = QStandardPaths::findExecutable(QString::fromLatin1(shell));
        if (program.isEmpty())
            return std::nullopt;
        const QString name = QString::fromLatin1(shell), matches = m_dir.filePath(QStringLiteral(".zsh-matches"));
        QFile::remove(matches);
        const QStringList args = name == QLatin1String("bash")  ? QStringList{"-c", kBash, "bash", kCompletions, line, cword}
                                 : name == QLatin1String("zsh") ? QStringList{"-fc", kZsh, "zsh", kCompletions, line, matches}
                                                                : QStringList{"--no-config", "-c", kFish, kCompletions, line};
        QProcess process;
        process.setWorkingDirectory(m_dir.path());
        process.start(program, args);
        EXPECT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.readAllStandardError(), QByteArray());
        QStringList replies = QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        // zsh quotes what it inserts and adds some matches twice.
        replies.removeAll(QStringLiteral("-- finished"));
        for (QString& reply : replies)
            reply.remove('\\');
        replies.sort();
        replies.removeDuplicates();
        return replies;
    }
};

TEST_F(Completions, EachShellOffersCommandsValuesAndPicturesByTheirPlace)
{
    const QStringList pictures = {"HOLIDAY.JPG", "holiday photo.png", "sub"};
    const QStringList everything = {"HOLIDAY.JPG", "holiday photo.png", "notes.txt", "sub"};
    const QStringList formats = {"bmp", "png"};
    // Why, shell, the line (bash: its words), bash's word index, what is offered.
    const std::tuple<const char*, const char*, QString, QString, QStringList> rows[] = {
        {"pictures by extension in any case", "bash", "mirrorvane-cli reveal ''", "2", pictures},
        {"--format= split at the =", "bash", "mirrorvane-cli hide --format = ''", "4", formats},
        {"an option before the command", "bash", "mirrorvane-cli --raw h", "2", {"hide"}},
        {"the output is any file, a name with a space kept whole", "bash", "mirrorvane-cli hide --format=png a.png ''", "4", everything},
        {"an option before the command", "zsh", "mirrorvane-cli --raw h", {}, {"hide"}},
        {"pictures by extension in any case", "zsh", "mirrorvane-cli reveal ", {}, pictures},
        {"--format's values", "zsh", "mirrorvane-cli hide --format ", {}, formats},
        {"pictures by extension in any case", "fish", "mirrorvane-cli reveal ", {}, {"HOLIDAY.JPG", "holiday photo.png", "sub/"}},
        {"the output is any file", "fish", "mirrorvane-cli hide --format png a.png ", {}, {"HOLIDAY.JPG", "holiday photo.png", "notes.txt", "sub/"}},
        {"--format's values", "fish", "mirrorvane-cli hide --format ", {}, formats},
    };
    for (const auto& [why, shell, line, cword, expected] : rows) {
        SCOPED_TRACE(std::string(shell) + ": " + why);
        const std::optional<QStringList> replies = offered(shell, line, cword);
        if (!replies)
            std::cout << "[  SKIPPED ] " << shell << " is not installed\n";
        else
            EXPECT_EQ(*replies, expected) << replies->join('|').toStdString();
    }
}

}  // namespace
}  // namespace clitest
