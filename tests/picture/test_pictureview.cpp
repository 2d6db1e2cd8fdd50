#include "picture/imagecanvas.h"
#include "picture/pictureview.h"

#include <QFrame>
#include <QScrollBar>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

// The view's widgets as the main window arranges them: a bordered 337 x 281
// viewport holding the canvas, and two bars beside it in the window.
struct ViewFixture : ::testing::Test {
    QWidget window;
    QFrame* viewport = new QFrame(&window);
    picture::ImageCanvas* canvas = new picture::ImageCanvas(viewport);
    QScrollBar* horizontal = new QScrollBar(Qt::Horizontal, &window);
    QScrollBar* vertical = new QScrollBar(Qt::Vertical, &window);
    picture::PictureView view{viewport, canvas, horizontal, vertical};

    ViewFixture()
    {
        window.resize(697, 490);
        viewport->setFrameStyle(QFrame::Box | QFrame::Plain);
        viewport->setGeometry(5, 5, 337, 281);
        horizontal->resize(10, 17);
        vertical->resize(16, 10);
    }

    void setCanvasSize(int width, int height)
    {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        canvas->setImage(image);
    }

    // Where the canvas is drawn, measured from the inside of the viewport's border.
    QPoint drawnAt() const { return canvas->pos() - viewport->contentsRect().topLeft(); }
};

TEST_F(ViewFixture, StartUpLayoutPlacesViewportBarsAndCanvas)
{
    setCanvasSize(256, 256);
    view.layoutPictureView();

    EXPECT_EQ(viewport->geometry(), QRect(0, 72, 337, 281));
    EXPECT_EQ(horizontal->geometry(), QRect(0, 336, 337, 17));
    EXPECT_EQ(vertical->geometry(), QRect(337, 72, 16, 281));
    EXPECT_TRUE(horizontal->isHidden());
    EXPECT_TRUE(vertical->isHidden());
    EXPECT_EQ(view.horizontalState().maximum, -81);
    EXPECT_EQ(view.verticalState().maximum, -25);
    EXPECT_EQ(view.horizontalState().value, -40);
    EXPECT_EQ(view.verticalState().value, -12);
    EXPECT_DOUBLE_EQ(canvas->exactLeft(), 40);
    EXPECT_DOUBLE_EQ(canvas->exactTop(), 12);
    EXPECT_EQ(drawnAt(), QPoint(40, 12));
}

TEST_F(ViewFixture, HandlersRunOnlyForChangedValues)
{
    setCanvasSize(256, 256);
    view.layoutPictureView();

    setCanvasSize(256, 256);
    view.layoutPictureView();
    EXPECT_DOUBLE_EQ(canvas->exactLeft(), 40.5);
    EXPECT_DOUBLE_EQ(canvas->exactTop(), 12.5);
    EXPECT_EQ(drawnAt(), QPoint(40, 12)) << "a fractional position is rounded only when drawn, ties to even";

    setCanvasSize(100, 100);
    view.layoutPictureView();
    EXPECT_DOUBLE_EQ(canvas->exactLeft(), 118);
    EXPECT_DOUBLE_EQ(canvas->exactTop(), 90);
}

TEST_F(ViewFixture, LargerCanvasShowsBarsThatTheUserCanScroll)
{
    setCanvasSize(1000, 600);
    view.layoutPictureView();
    EXPECT_FALSE(horizontal->isHidden());
    EXPECT_FALSE(vertical->isHidden());
    EXPECT_EQ(horizontal->maximum(), 663);
    EXPECT_EQ(horizontal->value(), 332);
    EXPECT_EQ(vertical->value(), 160);  // 159.5, tie to even
    EXPECT_EQ(drawnAt(), QPoint(-332, -160));

    horizontal->setValue(10);
    vertical->setValue(0);
    EXPECT_EQ(view.horizontalState().value, 10);
    EXPECT_EQ(drawnAt(), QPoint(-10, 0));

    view.hideScrollBars();
    EXPECT_TRUE(horizontal->isHidden());
    EXPECT_TRUE(vertical->isHidden());
}

TEST_F(ViewFixture, PreviewHidesTheCanvasAndFullViewBringsItBack)
{
    setCanvasSize(256, 256);
    view.layoutPictureView();

    QImage preview(337, 281, QImage::Format_RGB32);
    preview.fill(Qt::red);
    view.showPreview(preview);
    EXPECT_TRUE(view.isPreviewShown());
    EXPECT_TRUE(canvas->isHidden());
    EXPECT_EQ(viewport->palette().brush(QPalette::Window).textureImage().pixel(3, 3), qRgb(255, 0, 0));

    setCanvasSize(100, 100);
    view.showFullView();
    EXPECT_FALSE(view.isPreviewShown());
    EXPECT_TRUE(view.preview().isNull());
    EXPECT_FALSE(canvas->isHidden());
    EXPECT_EQ(viewport->palette().color(QPalette::Window), QColor(Qt::black));
    EXPECT_EQ(drawnAt(), QPoint(118, 90));
}

TEST(ImageCanvas, KeepsEveryPixelExactInRgb32AlsoWhileHidden)
{
    QImage source(3, 2, QImage::Format_ARGB32);
    source.fill(qRgba(0x12, 0x34, 0x56, 0xFF));
    source.setPixel(2, 1, qRgba(0xFE, 0xB9, 0x11, 0xFF));

    picture::ImageCanvas canvas;
    canvas.hide();
    canvas.setImage(source);
    EXPECT_EQ(canvas.image().format(), QImage::Format_RGB32);
    EXPECT_EQ(canvas.size(), QSize(3, 2));

    stego::PixelSurface surface = canvas.surface();
    ASSERT_EQ(surface.width, 3);
    ASSERT_EQ(surface.height, 2);
    EXPECT_EQ(surface.pixels[surface.stride + 2] & 0xFFFFFFu, 0xFEB911u);
    surface.pixels[0] ^= 0x010101u;
    canvas.pixelsChanged();
    EXPECT_EQ(canvas.image().pixel(0, 0) & 0xFFFFFFu, 0x133557u) << "writes go to the kept picture, not a copy";
}

}  // namespace
