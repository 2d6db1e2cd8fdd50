#include "imagecanvas.h"

#include "imagefile/imageio.h"

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
    m_faceDrawnFor = QImage();
    resize(m_image.size());
    update();
}

void ImageCanvas::setImage(QImage image, QImage face)
{
    setImage(std::move(image));
    if (face.isNull())
        return;
    m_face = std::move(face).convertToFormat(QImage::Format_RGB32);
    m_faceDrawnFor = m_image.copy();
}

stego::PixelSurface ImageCanvas::surface()
{
    return imagefile::surfaceOf(m_image);
}

stego::ConstPixelSurface ImageCanvas::constSurface() const
{
    return imagefile::surfaceOf(m_image);
}

void ImageCanvas::pixelsChanged()
{
    // Hiding a text only touches the lowest bits, which the eye cannot see:
    // the sharp drawing stays, with those bits, rather than the pixels
    // blown up to the display's scale as if hiding had spoilt the picture.
    if (!m_face.isNull() && !followLowBits()) {
        m_face = QImage();
        m_faceDrawnFor = QImage();
    }
    update();
}

bool ImageCanvas::followLowBits()
{
    constexpr QRgb kHighBits = 0xFEFEFE;
    if (m_faceDrawnFor.size() != m_image.size())
        return false;
    for (int y = 0; y < m_image.height(); ++y) {
        const auto* now = reinterpret_cast<const QRgb*>(m_image.constScanLine(y));
        const auto* then = reinterpret_cast<const QRgb*>(m_faceDrawnFor.constScanLine(y));
        for (int x = 0; x < m_image.width(); ++x) {
            if ((now[x] ^ then[x]) & kHighBits)
                return false;
        }
    }
    // Each face pixel takes the low bits of the picture pixel it lies in.
    const double scaleX = double(m_image.width()) / m_face.width();
    const double scaleY = double(m_image.height()) / m_face.height();
    for (int fy = 0; fy < m_face.height(); ++fy) {
        auto* face = reinterpret_cast<QRgb*>(m_face.scanLine(fy));
        const auto* pixels = reinterpret_cast<const QRgb*>(m_image.constScanLine(int(fy * scaleY)));
        for (int fx = 0; fx < m_face.width(); ++fx)
            face[fx] = (face[fx] & ~QRgb(0x010101)) | (pixels[int(fx * scaleX)] & 0x010101);
    }
    return true;
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
