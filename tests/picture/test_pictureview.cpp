#include "picture/imagecanvas.h"
#include "picture/pictureview.h"

#include <QFrame>
#include <QScrollBar>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

// The view's widgets as the main window arranges them: a bordered viewport
// holding the canvas, and two bars beside it in the window.
struct PictureViewTest : ::testing::Test {
    QWidget window;
    QFrame* viewport = new QFrame(&window);
    picture::ImageCanvas* canvas = new picture::ImageCanvas(viewport);
    QScrollBar* horizontal = new QScrollBar(Qt::Horizontal, &window);
    QScrollBar* vertical = new QScrollBar(Qt::Vertical, &window);
    picture::PictureView view{viewport, canvas, horizontal, vertical};

    PictureViewTest()
    {
        viewport->setFrameStyle(QFrame::Box | QFrame::Plain);
        viewport->setGeometry(5, 5, 337, 281);
        horizontal->resize(10, 17);
        vertical->resize(16, 10);
    }

    void layOut(int width, int height)
    {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        canvas->setImage(image);
        view.layoutPictureView();
    }

    // Where the canvas is drawn, from the inside of the viewport's border.
    QPoint drawnAt() const { return canvas->pos() - viewport->contentsRect().topLeft(); }
};

TEST_F(PictureViewTest, WidgetsFollowTheModelThroughSuccessiveLayouts)
{
    layOut(256, 256);
    EXPECT_EQ(viewport->geometry(), QRect(0, 72, 337, 281));
    EXPECT_EQ(horizontal->geometry(), QRect(0, 336, 337, 17));
    EXPECT_EQ(vertical->geometry(), QRect(337, 72, 16, 281));
    EXPECT_TRUE(horizontal->isHidden() && vertical->isHidden());
    EXPECT_EQ(view.horizontalState().maximum, -81) << "kept although the widget cannot hold it";
    EXPECT_EQ(view.verticalState().value, -12);
    EXPECT_EQ(drawnAt(), QPoint(40, 12));

    layOut(256, 256);
    EXPECT_DOUBLE_EQ(canvas->exactLeft(), 40.5);
    EXPECT_EQ(drawnAt(), QPoint(40, 12)) << "a fraction is rounded only when drawn, ties to even";

    layOut(100, 100);
    EXPECT_EQ(drawnAt(), QPoint(118, 90));
}

TEST_F(PictureViewTest, LargerCanvasGetsBarsThatTheUserCanScroll)
{
    layOut(1000, 600);
    EXPECT_FALSE(horizontal->isHidden() || vertical->isHidden());
    EXPECT_EQ(horizontal->maximum(), 663);
    EXPECT_EQ(drawnAt(), QPoint(-332, -160)) << "starts at the middle, values rounded ties to even";
    horizontal->setValue(10);
    vertical->setValue(0);
    EXPECT_EQ(drawnAt(), QPoint(-10, 0));
}

TEST_F(PictureViewTest, PreviewHidesTheCanvasAndFullViewBringsItBack)
{
    layOut(256, 256);
    QImage preview(337, 281, QImage::Format_RGB32);
    preview.fill(Qt::red);
    view.showPreview(preview);
    EXPECT_TRUE(view.isPreviewShown() && canvas->isHidden());
    EXPECT_EQ(viewport->palette().brush(QPalette::Window).textureImage().pixel(3, 3), qRgb(255, 0, 0));

    canvas->setImage(QImage(100, 100, QImage::Format_RGB32));
    view.showFullView();
    EXPECT_FALSE(view.isPreviewShown() || canvas->isHidden());
    EXPECT_EQ(viewport->palette().color(QPalette::Window), QColor(Qt::black));
    EXPECT_EQ(drawnAt(), QPoint(118, 90));
}

}  // namespace
