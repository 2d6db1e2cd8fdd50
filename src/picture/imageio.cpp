#include "imageio.h"

#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>

namespace picture {

LoadResult loadPicture(const QString& path)
{
    QImageReader::setAllocationLimit(kAllocationLimitMB);
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    QImage image = reader.read();
    if (image.isNull())
        return {QImage(), reader.errorString()};
    if (image.format() != QImage::Format_RGB32)
        image = image.convertToFormat(QImage::Format_RGB32);
    if (image.isNull())
        return {QImage(), QStringLiteral("Not enough memory to hold the picture")};
    return {std::move(image), QString()};
}

QString saveBmp(const QImage& image, const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    QImageWriter writer(&file, "bmp");
    if (!writer.write(image)) {
        file.cancelWriting();
        return writer.errorString();
    }
    if (!file.commit())
        return file.errorString();
    return QString();
}

stego::PixelSurface surfaceOf(QImage& image)
{
    if (image.isNull())
        return {};
    return {reinterpret_cast<std::uint32_t*>(image.bits()), image.bytesPerLine() / 4, image.width(),
            image.height()};
}

stego::ConstPixelSurface surfaceOf(const QImage& image)
{
    if (image.isNull())
        return {};
    return {reinterpret_cast<const std::uint32_t*>(image.constBits()), image.bytesPerLine() / 4,
            image.width(), image.height()};
}

}  // namespace picture
