#include "commandline.h"
#include "imagefile/librarymessages.h"
#include "platform/qtplatform.h"
#include "stego1.h"
#include "titlebar.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    // Usage and version need no display, so they come before Qt starts.
    const app::CommandLine asked = app::readCommandLine(argc, argv);
    if (asked.action != app::CommandLine::Action::Run) {
        const QByteArray text = asked.action == app::CommandLine::Action::Help ? app::usageText() : app::versionText();
        const bool written = std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stdout)
                                 == static_cast<std::size_t>(text.size());
        return std::fflush(stdout) == 0 && written ? 0 : 1;
    }
    // QApplication takes its own options (-style, -platform, ...) out of
    // argc and argv; what is left is ours.
    QApplication application(argc, argv);
    const app::CommandLine line = app::readCommandLine(argc, argv);
    if (const QByteArray warning = app::ignoredFilesWarning(line); !warning.isEmpty())
        std::fputs(warning.constData(), stderr);
    imagefile::quietLibraryMessages();
    QApplication::setApplicationName(QStringLiteral("Mirrorvane"));
    QApplication::setDesktopFileName(QStringLiteral("mirrorvane"));
    platform::QtPlatform desktop;
    app::Stego1 window(desktop);
    // A refused display has had its message; the program ends without a window.
    if (!window.Form_Load())
        return 0;
    QApplication::setWindowIcon(window.windowIcon());
    window.show();
    app::replaceQtDecoration(&window);

    // "mirrorvane FILE", as the desktop entry's %f gives it.
    if (line.file)
        window.openCommandLineFile(*line.file);
    return QApplication::exec();
}
