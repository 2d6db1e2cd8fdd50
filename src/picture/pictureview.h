#pragma once

#include "viewmodel.h"

#include <QImage>
#include <QObject>

class QFrame;
class QScrollBar;

namespace picture {

class ImageCanvas;

// The picture view's widgets: the bordered viewport `Picture1`, the canvas
// `Picture2` inside it, and the scroll bars `HScroll1` and `VScroll1` (the
// bars are children of the window, not of the viewport).  Keeps them in the
// state the view model computes.
class PictureView : public QObject {
    Q_OBJECT
public:
    PictureView(QFrame* viewport, ImageCanvas* canvas, QScrollBar* horizontal, QScrollBar* vertical,
                QObject* parent = nullptr);

    QFrame* viewport() const { return m_viewport; }
    ImageCanvas* canvas() const { return m_canvas; }
    QScrollBar* horizontalBar() const { return m_horizontal; }
    QScrollBar* verticalBar() const { return m_vertical; }

    // LayoutPictureView: centres the canvas and sets up the bars; a bar whose
    // value changes moves the canvas through its handler.
    void layoutPictureView();
    // HScroll1_Change / VScroll1_Change.
    void hScrollChanged();
    void vScrollChanged();

    void hideScrollBars();
    // Full view: no preview, canvas visible and laid out.
    void showFullView();
    // Preview: `preview` (already scaled to the viewport's outer size) as the
    // viewport's background, canvas hidden.  A null preview leaves the viewport black.
    void showPreview(const QImage& preview);
    bool isPreviewShown() const;
    const QImage& preview() const { return m_preview; }

private:
    QFrame* m_viewport;
    ImageCanvas* m_canvas;
    QScrollBar* m_horizontal;
    QScrollBar* m_vertical;
    QImage m_preview;
    bool m_previewShown = false;
};

}  // namespace picture
