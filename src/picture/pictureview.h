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
//
// The canvas and the preview live in an inner area that covers exactly the
// inside of the viewport's border, so neither can paint over the border: the
// model's positions are measured from that inside corner.
//
// The bars' maxima and values are the model's own 16-bit numbers, kept here:
// a maximum below the minimum is legal in the model but not in QScrollBar,
// which would clamp it, so the widgets only follow as far as they can.
class PictureView : public QObject {
    Q_OBJECT
public:
    PictureView(QFrame* viewport, ImageCanvas* canvas, QScrollBar* horizontal, QScrollBar* vertical,
                QObject* parent = nullptr);

    QFrame* viewport() const { return m_viewport; }
    // The inside of the viewport's border, where pictures and previews show.
    QWidget* pictureArea() const { return m_inside; }
    QSize pictureAreaSize() const;
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
    // Preview: `preview` (already scaled to pictureAreaSize()) as the picture
    // area's background, canvas hidden.  A null preview leaves the area black.
    void showPreview(const QImage& preview);
    bool isPreviewShown() const;
    const QImage& preview() const { return m_preview; }

    // The bars as the model holds them (maximum possibly below 0).
    const ScrollBarState& horizontalState() const { return m_horizontalState; }
    const ScrollBarState& verticalState() const { return m_verticalState; }

private:
    void setBarValue(QScrollBar* bar, ScrollBarState& state, std::int16_t value, void (PictureView::*handler)());
    void syncWidget(QScrollBar* bar, const ScrollBarState& state);
    void userScrolled(QScrollBar* bar, ScrollBarState& state, int value, void (PictureView::*handler)());
    void setViewportBackground();
    void fitPictureArea();

    QFrame* m_viewport;
    QWidget* m_inside;
    ImageCanvas* m_canvas;
    QScrollBar* m_horizontal;
    QScrollBar* m_vertical;
    QImage m_preview;
    bool m_previewShown = false;
    ScrollBarState m_horizontalState;
    ScrollBarState m_verticalState;
    bool m_syncing = false;  // the widgets are being set from the model, not moved by the user
};

}  // namespace picture
