#pragma once

// The window's titles and the box texts more than one of its files use.

#include <QString>

namespace app {

inline const QString kStartTitle = QStringLiteral("Steganography - Hide a Secret Text Message in an Image");
inline const QString kBusyTitle = QStringLiteral("Mirrorvane - Processing...");
inline const QString kNormalTitle = QStringLiteral("Mirrorvane - Steganography - Hide a Secret Text Message in an Image");
inline const QString kApplicationTitle = QStringLiteral("Mirror Vane");
inline const QString kTooMuchText = QStringLiteral("Too Much Text!");

}  // namespace app
