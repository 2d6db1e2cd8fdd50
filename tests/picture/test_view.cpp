// The picture view: the arithmetic of where the canvas sits and what the
// scroll bars hold, and the widgets that follow it.

#include "picture/imagecanvas.h"
#include "picture/pictureview.h"
#include "picture/viewmodel.h"

#include <QFrame>
#include <QScrollBar>

#include <gtest/gtest.h>

#include <limits>

namespace {

using picture::kViewportSize;
using picture::layoutPictureView;
using picture::Size;

TEST(ViewModel, ToInt16RoundsToNearestTiesToEvenWithinRange)
{
    const struct {
        const char* why;
        double input;
        std::optional<std::int16_t> expected;
    } rows[] = {
        {"tie goes down to even", 40.5, 40},
        {"tie goes up to even", 41.5, 42},
        {"negative tie goes to even", -118.5, -118},
        {"just past a tie", 40.500001, 41},
        {"top tie rounds out of range", 32767.5, std::nullopt},
        {"bottom tie rounds back in range", -32768.5, -32768},
        {"below the range", -32769.0, std::nullopt},
        {"not a number", std::numeric_limits<double>::quiet_NaN(), std::nullopt},
    };
    for (const auto& row : rows)
        EXPECT_EQ(picture::toInt16(row.input), row.expected) << row.why;
}

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
    QPoint drawnAt() const { return canvas->pos() - viewport->contentsRect().topLeft(); }
};

TEST_F(PictureViewTest, WidgetsFollowTheModelThroughSuccessiveLayouts)
{
    // At start-up both bars move from 0, so both handlers run and the
    // picture snaps to whole pixels.
    layOut(256, 256);
    EXPECT_EQ(viewport->geometry(), QRect(0, 72, 337, 281));
    EXPECT_EQ(horizontal->geometry(), QRect(0, 336, 337, 17));
    EXPECT_EQ(vertical->geometry(), QRect(337, 72, 16, 281));
    EXPECT_TRUE(horizontal->isHidden() && vertical->isHidden());
    EXPECT_EQ(view.horizontalState().maximum, -81) << "kept although the widget cannot hold it";
    EXPECT_EQ(view.verticalState().maximum, -25);
    EXPECT_EQ(drawnAt(), QPoint(40, 12));

    // Later layouts start from the bars' start-up values, and a handler
    // (canvas = -value) runs only for a bar whose value changes.
    const struct {
        const char* why;
        int width;
        int height;
        double left;
        double top;
    } rows[] = {
        {"same size keeps the fractional centring", 256, 256, 40.5, 12.5},
        {"100 x 100 moves by the changed values", 100, 100, 118, 90},
        {"101 x 101 lands on whole pixels either way", 101, 101, 118, 90},
        {"viewport size sits at the corner", 337, 281, 0, 0},
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
