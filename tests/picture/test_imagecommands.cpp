// The picture half of the window: the view, where the canvas sits and what
// the scroll bars hold; Open Image and Save Image, driven through the desktop
// fake with real widgets and real files.

#include "picture/imagecanvas.h"
#include "picture/imagecommands.h"
#include "imagefile/imageio.h"
#include "picture/pictureview.h"
#include "picture/viewmodel.h"
#include "imagefile/pictures.h"
#include "stego/message.h"
#include "support/boxcheck.h"
#include "support/fakeplatform.h"

#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QScrollBar>
#include <QTemporaryDir>

namespace {

using platform::Answer;
using imagefiletest::patternImage;
using imagefiletest::sameRgb;
using testsupport::isFailureBox;
using picture::kViewportSize;
using picture::layoutPictureView;
using picture::Size;

// The view's widgets as the main window arranges them: a bordered viewport
// holding the canvas, and two bars beside it in the window.
struct ViewWidgets : ::testing::Test {
    QWidget window;
    QFrame* viewport = new QFrame(&window);
    picture::ImageCanvas* canvas = new picture::ImageCanvas(viewport);
    QScrollBar* horizontal = new QScrollBar(Qt::Horizontal, &window);
    QScrollBar* vertical = new QScrollBar(Qt::Vertical, &window);
    picture::PictureView view{viewport, canvas, horizontal, vertical};
    ViewWidgets()
    {
        viewport->setFrameStyle(QFrame::Box | QFrame::Plain);
        viewport->resize(337, 281);
    }
};

// The main window's picture half, as Stego1 builds it, with a ReadMessage
// that keeps what the scan found and reports a missing message on the status line.
class ImageCommandsTest : public ViewWidgets {
protected:
    ImageCommandsTest()
    {
        canvas->setImage(patternImage(256, 256, 7));
        view.layoutPictureView();
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString writePicture(const QString& name, const QImage& image, const char* format = "bmp")
    {
        return imagefiletest::written(path(name), imagefiletest::encoded(image, format));
    }

    // Runs `command` with `file` as the dialog's answer.
    void withFile(void (*command)(picture::PictureCommandContext&), const QString& file)
    {
        m_platform.dialogAnswers.push_back(file);
        command(m_context);
    }

    QTemporaryDir m_dir;
    testsupport::FakePlatform m_platform;
    QLabel* m_label4 = new QLabel(&window);
    picture::PictureState m_state;
    platform::FileDialog m_commonDialog1, m_dialog2;
    int m_readCalls = 0;
    picture::PictureCommandContext m_context{
        m_platform, &window, view, m_label4, m_state, m_commonDialog1, m_dialog2, [this] {
            ++m_readCalls;
            const stego::ReadResult result = stego::readMessage(canvas->constSurface());
            if (result.outcome == stego::ReadOutcome::NoStartMarker)
                m_label4->setText("no message");
        }};
};

TEST_F(ImageCommandsTest, OpenAsksFirstForAnUnsavedMessageAndLosesNothingUntilALoadSucceeds)
{
    const QString file = writePicture("next.bmp", patternImage(50, 40));
    const QString unreadable = imagefiletest::written(path("notes.jpg"), "a shopping list\r\n");
    m_commonDialog1.fileName = "/docs/letter.txt";  // left by a text command
    m_commonDialog1.defaultSuffix = "txt";
    m_state.LoadedImagePath = "/pictures/before.jpg";
    int busyDuringEvents = -1, busyDuringBox = -1;
    m_platform.onProcessEvents = [&] { busyDuringEvents = m_platform.busyDepth; };
    m_platform.onMessageBox = [&](const platform::MessageBox&) { busyDuringBox = m_platform.busyDepth; };

    // No: nothing moves, not even the dialog.
    m_state.ImageChanged = 1;
    m_platform.answers = {Answer::No, Answer::Yes, Answer::Yes, Answer::Ok, Answer::Yes};
    picture::openImage(m_context);
    ASSERT_EQ(m_platform.boxes.size(), 1);
    EXPECT_EQ(m_platform.boxes[0].buttons, platform::Buttons::YesNo);
    EXPECT_EQ(m_platform.boxes[0].defaultButton, Answer::No) << "Enter keeps the unsaved picture";
    EXPECT_TRUE(m_platform.dialogs.isEmpty());

    // Yes, then the dialog is cancelled, or the file cannot be read: the
    // changed picture is still unsaved, so the flag must stay for the next
    // Open or Exit to ask.  Every reason the reader gives walks the same road
    // here; the reasons themselves are the reader's tests.
    picture::openImage(m_context);
    withFile(picture::openImage, unreadable);
    ASSERT_EQ(m_platform.boxes.size(), 4);
    EXPECT_TRUE(isFailureBox(m_platform.boxes[3], "The picture could not be opened:", unreadable));
    EXPECT_EQ(busyDuringBox, 0) << "no hourglass over the box";
    EXPECT_EQ(m_state.ImageChanged, 1);
    EXPECT_EQ(m_state.LoadedImagePath, "/pictures/before.jpg") << "Save must not propose the bad file";
    EXPECT_EQ(m_readCalls, 0) << "no scan of the old picture";

    // Yes, then a file: the new picture replaces the changed one.
    m_label4->setText("old status");
    withFile(picture::openImage, file);
    ASSERT_EQ(m_platform.dialogs.size(), 3);
    EXPECT_EQ(m_platform.dialogs[1].fileName, "/docs/letter.txt");
    EXPECT_EQ(m_commonDialog1.fileName, file) << "the dialog remembers the chosen file";
    EXPECT_EQ(m_commonDialog1.defaultSuffix, "txt") << "settings this command does not own stay";
    EXPECT_EQ(m_state.ImageChanged, 0);
    EXPECT_EQ(busyDuringEvents, 1) << "hourglass over the load";
    EXPECT_EQ(m_platform.busyDepth, 0);
    EXPECT_EQ(m_readCalls, 1);
    EXPECT_EQ(m_label4->text(), "no message") << "emptied, then only the scan writes";
}

TEST_F(ImageCommandsTest, SizeRuleChoosesFullViewOrStretchedPreview)
{
    const struct { const char* why; int width; int height; bool preview; } rows[] = {
        {"exactly the viewport fits", 337, 281, false},
        {"one pixel wider is previewed", 338, 10, true},
        {"one pixel taller is previewed", 10, 282, true},
        {"then a small one removes the preview", 20, 20, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const QImage picture = patternImage(row.width, row.height);
        withFile(picture::openImage, writePicture("sized.bmp", picture));
        EXPECT_EQ(canvas->isHidden(), row.preview);
        EXPECT_EQ(view.pictureArea()->palette().brush(QPalette::Window).textureImage().isNull(), !row.preview)
            << "the stretched picture is the picture area's background";
        EXPECT_TRUE(!row.preview || view.preview().size() == QSize(335, 279)) << "stretched inside the border";
    }
}

// Open a JPEG, hide a text, save as BMP while the preview shows, reopen: the
// full picture comes back, the text's bits with it.  A cancelled or failed
// save keeps the flag.
TEST_F(ImageCommandsTest, WholeRoadJpegHideSaveReopen)
{
    const QString photo = writePicture("holiday.JPG", patternImage(600, 400), "jpeg");
    withFile(picture::openImage, photo);
    ASSERT_TRUE(view.isPreviewShown());
    ASSERT_EQ(stego::hideBytes(canvas->surface(), "meet at noon").outcome, stego::HideOutcome::Hidden);
    canvas->pixelsChanged();
    m_state.ImageChanged = 1;
    m_label4->setText("Text hidden");
    const QImage hidden = canvas->image();

    m_platform.dialogAnswers.push_back(std::nullopt);
    picture::saveImage(m_context);
    EXPECT_EQ(m_state.ImageChanged, 1) << "a cancelled save changes nothing";
    EXPECT_EQ(m_label4->text(), "");
    // A folder that is a regular file stops every user, root included; a
    // read-only folder and a full disk are the window's fault tests.
    const QString target = imagefiletest::written(path("plain-file"), "x") + "/out.bmp";
    withFile(picture::saveImage, target);
    ASSERT_EQ(m_platform.boxes.size(), 1);
    EXPECT_TRUE(isFailureBox(m_platform.boxes[0], "The picture could not be saved:", target));
    EXPECT_EQ(m_state.ImageChanged, 1) << "the hidden message is still unsaved";
    EXPECT_EQ(m_platform.busyDepth, 0);
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"holiday.JPG", "plain-file"}))
        << "no temporary left";

    withFile(picture::saveImage, path("chosen.bmp"));
    ASSERT_EQ(m_platform.dialogs.size(), 4);
    EXPECT_TRUE(m_platform.dialogs[3].overwritePrompt);
    EXPECT_EQ(m_platform.dialogs[3].fileName, path("holiday.bmp")) << "the JPEG is never proposed as the target";
    EXPECT_EQ(m_platform.boxes.size(), 1) << "no message on success";
    EXPECT_EQ(m_state.LoadedImagePath, photo);

    withFile(picture::openImage, path("chosen.bmp"));
    EXPECT_TRUE(sameRgb(canvas->image(), hidden)) << "saved while previewed: the full picture";

    // The dialog's second type: the extension decides, in any case.
    m_state.ImageChanged = 1;
    withFile(picture::saveImage, path("chosen.PNG"));
    EXPECT_EQ(m_state.ImageChanged, 0);
    EXPECT_TRUE(testsupport::contentsOf(path("chosen.PNG")).startsWith("\x89PNG")) << "PNG bytes, not BMP under a PNG name";
}

// Every completed dialog moves the working folder, where the text dialogs
// open; the type chosen in Save Image decides the format and a bare name's suffix.
TEST_F(ImageCommandsTest, CompletedDialogsMoveTheWorkingFolderAndTheChosenTypeDecides)
{
    const QString startFolder = QDir::currentPath();
    QDir(m_dir.path()).mkpath("pics/out");
    withFile(picture::openImage, writePicture("pics/a.bmp", patternImage(20, 20)));
    EXPECT_EQ(QDir::currentPath(), path("pics"));
    m_platform.dialogAnswers.push_back(std::nullopt);
    picture::saveImage(m_context);
    EXPECT_EQ(QDir::currentPath(), path("pics")) << "a cancelled dialog leaves it";

    const std::tuple<const char*, QString, QString, QString, const char*> rows[] = {
        {"PNG chosen, no extension typed", "PNG (*.png)", "out/typed", "out/typed.png", "\x89PNG"},
        {"PNG chosen, a name of its own kept", "PNG (*.png)", "out/kept.img", "out/kept.img", "\x89PNG"},
        {"BMP chosen", "Image (*.bmp)", "out/typed", "out/typed", "BM"},
    };
    for (const auto& [why, entry, typed, written, magic] : rows) {
        SCOPED_TRACE(why);
        m_platform.chosenFilters.push_back(entry);
        withFile(picture::saveImage, path("pics/" + typed));
        EXPECT_TRUE(m_platform.dialogs.constLast().selectedFilter.isEmpty()) << "BMP, the default, shown first";
        EXPECT_TRUE(testsupport::contentsOf(path("pics/" + written)).startsWith(magic));
        EXPECT_EQ(QDir::currentPath(), path("pics/out"));
    }
    QDir::setCurrent(startFolder);
}

TEST(ProposedSaveName, OnlyTheFinalExtensionIsReplacedInAnyCase)
{
    const struct { const char* why; const char* opened; const char* proposed; } rows[] = {
        {"jpg becomes bmp", R"(E:\pics\holiday.jpg)", R"(E:\pics\holiday.bmp)"},
        {"a folder named like a picture stays", R"(E:\pics.jpg\holiday.jpg)", R"(E:\pics.jpg\holiday.bmp)"},
        {"upper-case extension is replaced too", R"(D:\HOLIDAY.JPG)", R"(D:\HOLIDAY.bmp)"},
        {"jpeg is five characters", R"(D:\photo.jpeg)", R"(D:\photo.bmp)"},
        {"a WebP is never written back: lossy WebP would destroy the text", "/pics/wall.WebP", "/pics/wall.bmp"},
        {"a bmp is proposed as itself, in any case", "A.BMP", "A.BMP"},
        {"nothing opened yet", "", "Stego Picture.bmp"},
        {"extension only in the folder", "/pics.jpg/holiday", "Stego Picture.bmp"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(picture::proposedSaveName(QString::fromUtf8(row.opened)), QString::fromUtf8(row.proposed)) << row.why;
}



// --- The view: the arithmetic of the layout, and the widgets that follow it ---

TEST(ViewModel, OverhangBeyondSixteenBitsCannotBeLaidOut)
{
    EXPECT_FALSE(layoutPictureView(kViewportSize, Size{337 + 32768, 10}));
    EXPECT_FALSE(layoutPictureView(kViewportSize, Size{10, 281 + 32768}));
    EXPECT_TRUE(layoutPictureView(kViewportSize, Size{337 + 32767, 281 + 32767}));
}

struct PictureViewTest : ViewWidgets {
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
    // picture snaps to whole pixels.  Later layouts start from the bars'
    // start-up values, and a handler (canvas = -value) runs only for a bar
    // whose value changes; a fraction is rounded only when drawn, ties to even.
    const struct { const char* why; int width; int height; double left; double top; QPoint drawn; } rows[] = {
        {"same size keeps the fractional centring", 256, 256, 40.5, 12.5, {40, 12}},
        {"100 x 100 moves by the changed values", 100, 100, 118, 90, {118, 90}},
        {"only the height changes", 256, 100, 40.5, 90, {40, 90}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        layOut(256, 256);
        EXPECT_TRUE(horizontal->isHidden() && vertical->isHidden());
        layOut(row.width, row.height);
        EXPECT_DOUBLE_EQ(canvas->exactLeft(), row.left);
        EXPECT_DOUBLE_EQ(canvas->exactTop(), row.top);
        EXPECT_EQ(drawnAt(), row.drawn);
    }

    // A larger canvas gets bars the user can scroll.
    layOut(1000, 600);
    EXPECT_FALSE(horizontal->isHidden() || vertical->isHidden());
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
