#include "picture/librarymessages.h"
#include "platform/qtplatform.h"
#include "stego1.h"

#include <QApplication>

int main(int argc, char* argv[])
{
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
    return QApplication::exec();
}
