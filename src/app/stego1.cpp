#include "stego1.h"

namespace app {

Stego1::Stego1(platform::Platform& platform, QWidget* parent) : QMainWindow(parent), m_platform(platform)
{
    setObjectName(QStringLiteral("Stego1"));
    setWindowTitle(QStringLiteral("Steganography - Hide a Secret Text Message in an Image"));
}

}  // namespace app
