#include "picture/librarymessages.h"
#include "platform/qtplatform.h"
#include "stego1.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // QApplication takes its own options (-style, -platform, ...) out of
    // argc and argv; what is left is ours.
    QApplication application(argc, argv);
    picture::quietLibraryMessages();
    QApplication::setApplicationName(QStringLiteral("Mirrorvane"));
    QApplication::setDesktopFileName(QStringLiteral("mirrorvane"));
    platform::QtPlatform desktop;
    app::Stego1 window(desktop);
    // A refused display has had its message; the program ends without a window.
    if (!window.Form_Load())
        return 0;
    QApplication::setWindowIcon(window.windowIcon());
    window.show();

    // "mirrorvane FILE", as the desktop entry's %f gives it.
    int first = 1;
    if (first < argc && QByteArrayView(argv[first]) == "--")
        ++first;
    if (first < argc)
        window.openCommandLineFile(QByteArray(argv[first]));
    return QApplication::exec();
}
