#include "imagecanvas.h"

#include "imageio.h"

#include <QFrame>
#include <QPaintEngine>
#include <QPaintEvent>
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
    m_face = QImage();
    resize(m_image.size());
    update();
}

void ImageCanvas::setImage(QImage image, QImage face)
{
    setImage(std::move(image));
    m_face = std::move(face);
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
    m_face = QImage();
    update();
}

void ImageCanvas::setExactPos(double left, double top)
{
    m_left = left;
    m_top = top;
    QPoint origin;
    if (const auto* frame = qobject_cast<const QFrame*>(parentWidget()))
        origin = frame->contentsRect().topLeft();
    // nearbyint rounds ties to even in the default rounding mode, as the
    // scroll values do, so a centring offset of 40.5 shows where value -40 puts it.
    move(origin + QPoint(static_cast<int>(std::nearbyint(left)), static_cast<int>(std::nearbyint(top))));
}

void ImageCanvas::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRect area = event->rect();
    painter.fillRect(area, Qt::black);
    // The device painted on, which a widget's own device() hides when the
    // painting is redirected (a grab, say).
    const QPaintDevice* target = painter.paintEngine() ? painter.paintEngine()->paintDevice() : nullptr;
    if (!m_face.isNull() && target && target->devicePixelRatioF() > 1)
        painter.drawImage(QRectF(rect()), m_face);
    else if (!m_image.isNull())
        painter.drawImage(area.topLeft(), m_image, area);
}

}  // namespace picture
