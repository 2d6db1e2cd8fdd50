// mirrorvane-cli: the engine for scripts.
#include "arguments.h"
#include "commands.h"
#include "exitstatus.h"
#include "output.h"

#include "imagefile/librarymessages.h"

#include <QCoreApplication>

#include <cstdio>
#include <exception>
#include <new>

namespace {

// What Qt lets through (its critical messages, or every message with
// MIRRORVANE_VERBOSE set) goes to standard error like every other line
// there: with the program's prefix and its control characters escaped.
void prefixQtMessage(QtMsgType, const QMessageLogContext&, const QString& message)
{
    for (const QString& line : message.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        cli::complainLine(cli::escapeControls(line));
}

}  // namespace

int main(int argc, char** argv)
{
    cli::guardStandardDescriptors();
    qInstallMessageHandler(prefixQtMessage);
    // The arguments are parsed before Qt sees any: QCoreApplication takes
    // out those it thinks are its own.  It is given the program's name only.
    cli::Arguments args;
    cli::ParseError error = cli::parse(argc, argv, args);

    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    // Sets the locale from the environment, which --text follows.
    QCoreApplication application(qtArgc, qtArgv);
    imagefile::quietLibraryMessages();
    if (!error)
        error = cli::followLocale(args);

    int status = cli::kOk;
    if (error) {
        cli::complainLine(error->reason);
        if (error->kind == cli::FailureKind::Usage)
            cli::complainLine(std::string_view("Try 'mirrorvane-cli --help' for more information."));
        status = cli::exitStatusOf(error->kind);
    } else {
        try {
            status = cli::run(args);
        } catch (const std::bad_alloc&) {
            cli::complainLine(std::string_view("there is not enough memory for this picture and text"));
            status = cli::exitStatusOf(cli::commandKindOf(fileio::FailureKind::OutOfMemory));
        } catch (const std::exception& failure) {
            cli::complainLine(cli::escapeControls(QString::fromLocal8Bit(failure.what())));
            status = cli::kFileError;
        }
    }
    if (const QString reason = cli::finishOut(); !reason.isEmpty()) {
        cli::complainLine(QStringLiteral("cannot write standard output: %1").arg(reason));
        status = cli::kFileError;
    }
    std::fflush(stderr);
    return status;
}
