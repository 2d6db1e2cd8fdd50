// The picture view: the arithmetic of where the canvas sits and what the
// scroll bars hold, and the widgets that follow it.

#include "picture/imagecanvas.h"
#include "picture/pictureview.h"
#include "picture/viewmodel.h"

#include <QFrame>
#include <QScrollBar>

#include <gtest/gtest.h>

namespace {

using picture::kViewportSize;
using picture::layoutPictureView;
using picture::Size;

TEST(ViewModel, OverhangBeyondSixteenBitsCannotBeLaidOut)
{
    EXPECT_FALSE(layoutPictureView(kViewportSize, Size{337 + 32768, 10}));
    EXPECT_FALSE(layoutPictureView(kViewportSize, Size{10, 281 + 32768}));
    EXPECT_TRUE(layoutPictureView(kViewportSize, Size{337 + 32767, 281 + 32767}));
}

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
    QPoint drawnAt() const { return canvas->mapTo(viewport, QPoint()) - viewport->contentsRect().topLeft(); }
};

TEST_F(PictureViewTest, WidgetsFollowTheModelThroughSuccessiveLayouts)
{
    // At start-up both bars move from 0, so both handlers run and the
    // picture snaps to whole pixels.
    layOut(256, 256);
    EXPECT_EQ(horizontal->geometry(), QRect(0, 336, 337, 17)) << "over the viewport's bottom edge";
    EXPECT_TRUE(horizontal->isHidden() && vertical->isHidden());
    EXPECT_EQ(drawnAt(), QPoint(40, 12));

    // Later layouts start from the bars' start-up values, and a handler
    // (canvas = -value) runs only for a bar whose value changes.
    const struct { const char* why; int width; int height; double left; double top; } rows[] = {
        {"same size keeps the fractional centring", 256, 256, 40.5, 12.5},
        {"100 x 100 moves by the changed values", 100, 100, 118, 90},
        {"only the height changes", 256, 100, 40.5, 90},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        layOut(256, 256);
        layOut(row.width, row.height);
        EXPECT_DOUBLE_EQ(canvas->exactLeft(), row.left);
        EXPECT_DOUBLE_EQ(canvas->exactTop(), row.top);
    }
    layOut(256, 256);
    layOut(256, 256);
    EXPECT_EQ(drawnAt(), QPoint(40, 12)) << "a fraction is rounded only when drawn, ties to even";

    // A larger canvas gets bars the user can scroll.
    layOut(1000, 600);
    EXPECT_FALSE(horizontal->isHidden() || vertical->isHidden());
    EXPECT_EQ(horizontal->maximum(), 663);
    EXPECT_EQ(drawnAt(), QPoint(-332, -160)) << "starts at the middle, values rounded ties to even";
    horizontal->setValue(10);
    vertical->setValue(0);
    EXPECT_EQ(drawnAt(), QPoint(-10, 0));
}

// The border stays drawn whatever the view shows: a picture as large as the
// viewport and a preview both lie inside it, from its inside corner.
TEST_F(PictureViewTest, PicturesAndPreviewsStayInsideTheBorder)
{
    QPalette palette = viewport->palette();
    palette.setColor(QPalette::WindowText, Qt::red);
    viewport->setPalette(palette);
    const auto borderIsWhole = [this](const QImage& shot) {
        for (int x = 0; x < 337; ++x)
            if (shot.pixelColor(x, 0) != Qt::red || shot.pixelColor(x, 280) != Qt::red)
                return false;
        for (int y = 0; y < 281; ++y)
            if (shot.pixelColor(0, y) != Qt::red || shot.pixelColor(336, y) != Qt::red)
                return false;
        return true;
    };

    layOut(337, 281);
    QImage shot = viewport->grab().toImage();
    EXPECT_TRUE(borderIsWhole(shot));
    EXPECT_EQ(shot.pixelColor(1, 1), QColor(Qt::darkCyan));

    QImage preview(view.pictureAreaSize(), QImage::Format_RGB32);
    preview.fill(Qt::green);
    preview.setPixel(0, 0, qRgb(0, 0, 255));
    view.showPreview(preview);
    shot = viewport->grab().toImage();
    EXPECT_TRUE(borderIsWhole(shot));
    EXPECT_EQ(shot.pixelColor(1, 1), QColor(Qt::blue)) << "the preview starts at the inside corner";
    EXPECT_EQ(shot.pixelColor(335, 279), QColor(Qt::green));
}

}  // namespace
