#include "platform/qtplatform.h"
#include "stego1.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    platform::QtPlatform desktop;
    app::Stego1 window(desktop);
    window.show();
    return QApplication::exec();
}
