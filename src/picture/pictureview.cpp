#include "pictureview.h"

#include "imagecanvas.h"

#include <QFrame>
#include <QScrollBar>

namespace picture {
// Placeholder until the picture view lands.
PictureView::PictureView(QFrame* viewport, ImageCanvas* canvas, QScrollBar* horizontal, QScrollBar* vertical,
                         QObject* parent)
    : QObject(parent), m_viewport(viewport), m_canvas(canvas), m_horizontal(horizontal), m_vertical(vertical)
{
}
void PictureView::layoutPictureView() {}
void PictureView::hScrollChanged() {}
void PictureView::vScrollChanged() {}
void PictureView::hideScrollBars() {}
void PictureView::showFullView() {}
void PictureView::showPreview(const QImage& preview) { m_preview = preview; m_previewShown = true; }
bool PictureView::isPreviewShown() const { return m_previewShown; }
}  // namespace picture
