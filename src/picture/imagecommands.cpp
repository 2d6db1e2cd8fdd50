#include "imagecommands.h"

namespace picture {
// Placeholder until Open Image and Save Image land.
void openImage(PictureCommandContext&) {}
void openImageFile(PictureCommandContext&, const QString&, bool) {}
void saveImage(PictureCommandContext&) {}
QString proposedSaveName(const QString&) { return QStringLiteral("Stego Picture.bmp"); }
QImage makePreview(const QImage&, int, int) { return {}; }
}  // namespace picture
