#include "imagecanvas.h"

#include "imageio.h"

#include <QPainter>

#include <cmath>

namespace picture {

ImageCanvas::ImageCanvas(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Picture2"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ImageCanvas::setImage(QImage image)
{
    if (image.format() != QImage::Format_RGB32)
        image = image.convertToFormat(QImage::Format_RGB32);
    m_image = std::move(image);
    resize(m_image.size());
    update();
}

stego::PixelSurface ImageCanvas::surface()
{
    return surfaceOf(m_image);
}

stego::ConstPixelSurface ImageCanvas::constSurface() const
{
    return surfaceOf(m_image);
}

void ImageCanvas::pixelsChanged()
{
    update();
}

void ImageCanvas::setExactPos(double left, double top)
{
    m_left = left;
    m_top = top;
    move(static_cast<int>(std::lround(left)), static_cast<int>(std::lround(top)));
}

void ImageCanvas::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, 0, m_image);
}

}  // namespace picture
