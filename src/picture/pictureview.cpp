#include "pictureview.h"

#include "imagecanvas.h"

#include <QFrame>
#include <QPixmap>
#include <QScrollBar>

#include <algorithm>

namespace picture {

PictureView::PictureView(QFrame* viewport, ImageCanvas* canvas, QScrollBar* horizontal, QScrollBar* vertical,
                         QObject* parent)
    : QObject(parent), m_viewport(viewport), m_inside(new QWidget(viewport)), m_canvas(canvas),
      m_horizontal(horizontal), m_vertical(vertical)
{
    m_inside->setObjectName(QStringLiteral("pictureArea"));
    m_inside->setAutoFillBackground(true);
    m_inside->setPalette(QPalette(Qt::black));
    fitPictureArea();
    const bool canvasHidden = m_canvas->isHidden();
    m_canvas->setParent(m_inside);
    m_canvas->setVisible(!canvasHidden);
    for (QScrollBar* bar : {m_horizontal, m_vertical}) {
        bar->setMinimum(0);
        bar->setSingleStep(1);
        bar->setPageStep(1);
    }
    syncWidget(m_horizontal, m_horizontalState);
    syncWidget(m_vertical, m_verticalState);
    connect(m_horizontal, &QScrollBar::valueChanged, this, [this](int value) {
        userScrolled(m_horizontal, m_horizontalState, value, &PictureView::hScrollChanged);
    });
    connect(m_vertical, &QScrollBar::valueChanged, this, [this](int value) {
        userScrolled(m_vertical, m_verticalState, value, &PictureView::vScrollChanged);
    });
}

QSize PictureView::pictureAreaSize() const
{
    return m_viewport->contentsRect().size();
}

// The frame's style or size may be set after the view is made.
void PictureView::fitPictureArea()
{
    m_inside->setGeometry(m_viewport->contentsRect());
}

void PictureView::layoutPictureView()
{
    m_viewport->move(0, 72);
    fitPictureArea();
    const Size viewport{static_cast<double>(m_viewport->width()), static_cast<double>(m_viewport->height())};
    const Size canvas{static_cast<double>(m_canvas->width()), static_cast<double>(m_canvas->height())};

    m_horizontal->setGeometry(0, m_viewport->y() + m_viewport->height() - m_horizontal->height(),
                              m_viewport->width(), m_horizontal->height());
    m_vertical->setGeometry(m_viewport->width(), m_viewport->y(), m_vertical->width(), m_viewport->height());

    const std::optional<ViewLayout> layout = picture::layoutPictureView(viewport, canvas);
    if (!layout) {
        // A canvas beyond the bars' 16-bit range: the routine stops after
        // placing the canvas, leaving the bars as they were.
        m_canvas->setExactPos(canvas.width < viewport.width ? (viewport.width - canvas.width) / 2 : 0.0,
                              canvas.height < viewport.height ? (viewport.height - canvas.height) / 2 : 0.0);
        return;
    }
    m_canvas->setExactPos(layout->canvasLeft, layout->canvasTop);

    m_horizontalState.maximum = layout->horizontal.maximum;
    m_verticalState.maximum = layout->vertical.maximum;
    syncWidget(m_horizontal, m_horizontalState);
    syncWidget(m_vertical, m_verticalState);

    m_verticalState.visible = layout->vertical.visible;
    m_vertical->setVisible(m_verticalState.visible);
    m_horizontalState.visible = layout->horizontal.visible;
    m_horizontal->setVisible(m_horizontalState.visible);

    setBarValue(m_horizontal, m_horizontalState, layout->horizontal.value, &PictureView::hScrollChanged);
    setBarValue(m_vertical, m_verticalState, layout->vertical.value, &PictureView::vScrollChanged);
}

void PictureView::hScrollChanged()
{
    m_canvas->setExactPos(-static_cast<double>(m_horizontalState.value), m_canvas->exactTop());
}

void PictureView::vScrollChanged()
{
    m_canvas->setExactPos(m_canvas->exactLeft(), -static_cast<double>(m_verticalState.value));
}

void PictureView::hideScrollBars()
{
    m_horizontalState.visible = false;
    m_verticalState.visible = false;
    m_horizontal->setVisible(false);
    m_vertical->setVisible(false);
}

void PictureView::showFullView()
{
    m_previewShown = false;
    m_preview = QImage();
    setViewportBackground();
    m_canvas->show();
    layoutPictureView();
}

void PictureView::showPreview(const QImage& preview)
{
    m_preview = preview;
    m_previewShown = true;
    m_canvas->hide();
    setViewportBackground();
}

bool PictureView::isPreviewShown() const
{
    return m_previewShown;
}

void PictureView::setBarValue(QScrollBar* bar, ScrollBarState& state, std::int16_t value,
                              void (PictureView::*handler)())
{
    if (state.value == value)
        return;
    state.value = value;
    syncWidget(bar, state);
    (this->*handler)();
}

void PictureView::syncWidget(QScrollBar* bar, const ScrollBarState& state)
{
    const bool wasSyncing = m_syncing;
    m_syncing = true;
    const int maximum = std::max<int>(0, state.maximum);
    bar->setMaximum(maximum);
    bar->setValue(std::clamp<int>(state.value, 0, maximum));
    m_syncing = wasSyncing;
}

void PictureView::userScrolled(QScrollBar* bar, ScrollBarState& state, int value, void (PictureView::*handler)())
{
    if (m_syncing)
        return;
    // The widget's range lies within 0..32767, so its value always fits.
    setBarValue(bar, state, static_cast<std::int16_t>(value), handler);
}

void PictureView::setViewportBackground()
{
    fitPictureArea();
    QPalette palette = m_inside->palette();
    if (m_previewShown && !m_preview.isNull())
        palette.setBrush(QPalette::Window, QBrush(QPixmap::fromImage(m_preview)));
    else
        palette.setBrush(QPalette::Window, QBrush(Qt::black));
    m_inside->setPalette(palette);
    m_inside->update();
}

}  // namespace picture
