#pragma once

#include "stego/message.h"

#include <QImage>
#include <QWidget>

namespace picture {

// The working picture (`Picture2`): a borderless box that takes its
// picture's size and keeps every pixel in an off-screen Format_RGB32 image,
// read and written exactly, also while the box is hidden.
class ImageCanvas : public QWidget {
    Q_OBJECT
public:
    explicit ImageCanvas(QWidget* parent = nullptr);

    // Replaces the picture and resizes the box to it.  Converts to RGB32 when needed.
    void setImage(QImage image);
    // The same, with `face`: a drawing of the picture at a higher resolution
    // (its device pixel ratio set) that scaled displays show instead of the
    // pixels, until another picture is set.  Changes to the pixels' lowest
    // bits (a hidden text) are copied into it; any other change retires it.
    void setImage(QImage image, QImage face);
    const QImage& image() const { return m_image; }

    // Direct pixel access for the engine; call pixelsChanged() after writing.
    stego::PixelSurface surface();
    stego::ConstPixelSurface constSurface() const;
    void pixelsChanged();

    // Position in the viewport as the view model computes it (fractions
    // allowed), measured from the inside of the parent's border when the
    // parent is a QFrame.  The widget is placed at the position rounded to
    // the nearest pixel, ties to even.
    void setExactPos(double left, double top);
    double exactLeft() const { return m_left; }
    double exactTop() const { return m_top; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Carries the lowest bits of the pixels into the face; false when the
    // pixels changed more than that.
    bool followLowBits();

    QImage m_image;
    QImage m_face;
    QImage m_faceDrawnFor;  // the pixels the face was made for
    double m_left = 0;
    double m_top = 0;
};

}  // namespace picture
