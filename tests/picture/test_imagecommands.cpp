// Open Image and Save Image, driven through the desktop fake with real widgets
// and real files.

#include "picture/imagecanvas.h"
#include "picture/imagecommands.h"
#include "picture/imageio.h"
#include "picture/pictureview.h"
#include "stego/codepage.h"
#include "stego/message.h"
#include "support/fakeplatform.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFrame>
#include <QImageWriter>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>

#include <unistd.h>

#include <string>

namespace {

using platform::Answer;

QImage patternImage(int width, int height, quint32 seed = 0)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, 0xFF000000u | ((quint32(x) * 2654435761u ^ quint32(y) * 40503u ^ seed) & 0xFFFFFFu));
    return image;
}

bool sameRgb(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return false;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if ((a.pixel(x, y) & 0xFFFFFFu) != (b.pixel(x, y) & 0xFFFFFFu))
                return false;
    return true;
}

// The failure box of Open and Save: what failed, the path, the reason.
void expectFailureBox(const platform::MessageBox& box, const char* what, const QString& file)
{
    EXPECT_EQ(box.title, "Mirrorvane Alert");
    EXPECT_EQ(box.icon, platform::Icon::Warning);
    EXPECT_EQ(box.buttons, platform::Buttons::Ok);
    const QStringList lines = box.text.split("\r\n");
    ASSERT_EQ(lines.size(), 3) << qPrintable(box.text);
    EXPECT_EQ(lines[0], what);
    EXPECT_EQ(lines[1], QDir::toNativeSeparators(file));
    EXPECT_FALSE(lines[2].isEmpty()) << "the reason";
}

const QString kConfirmText = QStringLiteral(
    "Are You Sure Tou Wish To Load Another Image?\r\n\r\n"
    "You Have Changed The Current Image But\r\n"
    "Have Not Saved These Changes!\r\n\r\n"
    "Click YES to LOAD Or NO To CANCEL");

// The main window's picture half, as Stego1 builds it, with a ReadMessage
// that puts a found text into Text1 and reports a missing one on the status line.
class ImageCommandsTest : public ::testing::Test {
protected:
    ImageCommandsTest()
        : m_viewport(new QFrame(&m_window)),
          m_canvas(new picture::ImageCanvas(m_viewport)),
          m_horizontal(new QScrollBar(Qt::Horizontal, &m_window)),
          m_vertical(new QScrollBar(Qt::Vertical, &m_window)),
          m_view(m_viewport, m_canvas, m_horizontal, m_vertical),
          m_label4(new QLabel(&m_window)),
          m_text1(new QPlainTextEdit(&m_window)),
          m_context{m_platform, &m_window,  m_view,         m_label4, m_imageChanged, m_loadedImagePath,
                    m_commonDialog1, m_dialog2, [this] { readMessage(); }}
    {
        m_viewport->setObjectName("Picture1");
        m_viewport->setFrameStyle(QFrame::Box);
        m_viewport->setGeometry(0, 72, 337, 281);
        m_canvas->setImage(m_startPicture);
        m_view.layoutPictureView();
        m_window.resize(500, 530);
    }

    void readMessage()
    {
        ++m_readCalls;
        const stego::ReadResult result = stego::readMessage(m_canvas->constSurface());
        m_foundBytes = result.text;
        if (result.outcome == stego::ReadOutcome::Found)
            m_text1->setPlainText(QString::fromStdU16String(stego::decodeWindows1252(result.text)));
        else if (result.outcome == stego::ReadOutcome::NoStartMarker)
            m_label4->setText("no message");
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    QString writePicture(const QString& name, const QImage& image, const char* format = "bmp")
    {
        QImageWriter writer(path(name), format);
        writer.setQuality(95);
        EXPECT_TRUE(writer.write(image)) << qPrintable(writer.errorString());
        return path(name);
    }

    void open(const QString& file)
    {
        m_platform.dialogAnswers.push_back(file);
        picture::openImage(m_context);
    }

    void save(const QString& file)
    {
        m_platform.dialogAnswers.push_back(file);
        picture::saveImage(m_context);
    }

    QTemporaryDir m_dir;
    testsupport::FakePlatform m_platform;
    QWidget m_window;
    QFrame* m_viewport;
    picture::ImageCanvas* m_canvas;
    QScrollBar* m_horizontal;
    QScrollBar* m_vertical;
    picture::PictureView m_view;
    QLabel* m_label4;
    QPlainTextEdit* m_text1;
    std::int16_t m_imageChanged = 0;
    QString m_loadedImagePath;
    platform::FileDialog m_commonDialog1;
    platform::FileDialog m_dialog2;
    picture::PictureCommandContext m_context;
    int m_readCalls = 0;
    std::string m_foundBytes;  // the scan's own result: the text box would fold CR and no-break spaces
    const QImage m_startPicture = patternImage(256, 256, 7);
};

// --- Open Image ----------------------------------------------------------

TEST_F(ImageCommandsTest, OpenSetsUpTheSharedDialogAndLoads)
{
    const QString file = writePicture("small.bmp", patternImage(50, 40));
    m_commonDialog1.fileName = "/docs/letter.txt";  // left by a text command
    m_commonDialog1.defaultSuffix = "txt";
    m_label4->setText("old status");
    int busyDuringEvents = -1;
    m_platform.onProcessEvents = [&] { busyDuringEvents = m_platform.busyDepth; };

    open(file);

    ASSERT_EQ(m_platform.dialogs.size(), 1);
    const platform::FileDialog& shown = m_platform.dialogs[0];
    EXPECT_EQ(shown.mode, platform::FileDialogMode::Open);
    EXPECT_EQ(shown.title, "Select An Image File To Open");
    EXPECT_EQ(shown.filter, "Images (*.bmp *.jpg *.jpeg *.gif)");
    EXPECT_TRUE(shown.existingOnly);
    EXPECT_TRUE(shown.hideReadOnly);
    EXPECT_EQ(shown.fileName, "/docs/letter.txt");
    EXPECT_EQ(m_commonDialog1.fileName, file) << "the dialog remembers the chosen file";
    EXPECT_EQ(m_commonDialog1.defaultSuffix, "txt") << "settings this command does not own stay";

    EXPECT_TRUE(m_platform.boxes.isEmpty());
    EXPECT_TRUE(sameRgb(m_canvas->image(), patternImage(50, 40)));
    EXPECT_EQ(m_platform.processEventsCalls, 1);
    EXPECT_EQ(busyDuringEvents, 1) << "hourglass over the load";
    EXPECT_EQ(m_platform.busyDepth, 0);
    EXPECT_EQ(m_readCalls, 1);
    EXPECT_EQ(m_label4->text(), "no message") << "emptied, then only the scan writes";
    EXPECT_EQ(m_loadedImagePath, file);
    EXPECT_FALSE(m_view.isPreviewShown());
}

TEST_F(ImageCommandsTest, ConfirmationGuardsAnUnsavedMessage)
{
    const QString file = writePicture("next.bmp", patternImage(30, 30));

    // No: nothing moves, not even the dialog.
    m_imageChanged = 1;
    m_platform.answers.push_back(Answer::No);
    picture::openImage(m_context);
    ASSERT_EQ(m_platform.boxes.size(), 1);
    EXPECT_EQ(m_platform.boxes[0].title, "Mirrorvane Alert");
    EXPECT_EQ(m_platform.boxes[0].text, kConfirmText);
    EXPECT_EQ(m_platform.boxes[0].icon, platform::Icon::Question);
    EXPECT_EQ(m_platform.boxes[0].buttons, platform::Buttons::YesNo);
    EXPECT_EQ(m_platform.boxes[0].defaultButton, Answer::No);
    EXPECT_TRUE(m_platform.dialogs.isEmpty());
    EXPECT_EQ(m_imageChanged, 1);

    // Yes, then the dialog is cancelled: the changed picture is still
    // unsaved, so the flag must stay for the next Open or Exit to ask.
    m_platform.answers.push_back(Answer::Yes);
    picture::openImage(m_context);
    EXPECT_EQ(m_platform.dialogs.size(), 1);
    EXPECT_EQ(m_imageChanged, 1);
    EXPECT_TRUE(sameRgb(m_canvas->image(), m_startPicture));
    EXPECT_EQ(m_readCalls, 0);
    EXPECT_EQ(m_platform.busyDepth, 0);

    // Yes, then a file: the new picture replaces the changed one.
    m_platform.answers.push_back(Answer::Yes);
    open(file);
    EXPECT_EQ(m_imageChanged, 0);
    EXPECT_TRUE(sameRgb(m_canvas->image(), patternImage(30, 30)));

    // Nothing unsaved: no question at all.
    const qsizetype boxesBefore = m_platform.boxes.size();
    open(file);
    EXPECT_EQ(m_platform.boxes.size(), boxesBefore);
}

TEST_F(ImageCommandsTest, UnreadableFileIsReportedAndChangesNothing)
{
    QFile whole(writePicture("whole.bmp", patternImage(40, 40)));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    QFile cut(path("cut.bmp"));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly) && cut.write(whole.readAll().left(2000)) == 2000);
    cut.close();
    QFile text(path("notes.jpg"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly) && text.write("a shopping list\r\n") > 0);
    text.close();
    int busyDuringBox = -1;
    m_platform.onMessageBox = [&](const platform::MessageBox& box) {
        if (box.icon == platform::Icon::Warning)
            busyDuringBox = m_platform.busyDepth;
    };

    for (const QString& file : {path("gone.gif"), path("notes.jpg"), path("cut.bmp")}) {
        SCOPED_TRACE(qPrintable(file));
        m_platform.boxes.clear();
        m_imageChanged = 1;
        m_loadedImagePath = "/pictures/before.jpg";
        m_text1->setPlainText("the user's text");
        m_platform.answers.push_back(Answer::Yes);

        open(file);

        ASSERT_EQ(m_platform.boxes.size(), 2);
        expectFailureBox(m_platform.boxes[1], "The picture could not be opened:", file);
        EXPECT_EQ(busyDuringBox, 0) << "no hourglass over the box";
        // Nothing of the old state moves, so Save never proposes the bad file.
        EXPECT_TRUE(sameRgb(m_canvas->image(), m_startPicture));
        EXPECT_FALSE(m_view.isPreviewShown());
        EXPECT_EQ(m_imageChanged, 1);
        EXPECT_EQ(m_loadedImagePath, "/pictures/before.jpg");
        EXPECT_EQ(m_text1->toPlainText(), "the user's text");
        EXPECT_EQ(m_readCalls, 0) << "no scan of the old picture";
        EXPECT_EQ(m_platform.busyDepth, 0);
    }
}

TEST_F(ImageCommandsTest, SizeRuleChoosesFullViewOrStretchedPreview)
{
    const struct {
        const char* why;
        int width;
        int height;
        bool preview;
    } rows[] = {
        {"exactly the viewport fits", 337, 281, false},
        {"one pixel wider is previewed", 338, 10, true},
        {"one pixel taller is previewed", 10, 282, true},
        {"then a small one removes the preview", 20, 20, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const QImage picture = patternImage(row.width, row.height);
        open(writePicture("sized.bmp", picture));

        EXPECT_EQ(m_view.isPreviewShown(), row.preview);
        EXPECT_TRUE(sameRgb(m_canvas->image(), picture)) << "the canvas keeps every pixel";
        if (row.preview) {
            EXPECT_EQ(m_view.preview().size(), QSize(337, 281)) << "stretched, proportions not kept";
        }
        EXPECT_EQ(m_readCalls, 1);
        m_readCalls = 0;
    }
}

// --- Save Image ----------------------------------------------------------

TEST_F(ImageCommandsTest, WholeRoadJpegHideSaveReopen)
{
    // Every byte value but NUL (which ends the text box's string), several times over.
    std::string bytes;
    for (int round = 0; round < 3; ++round)
        for (int b = 1; b < 256; ++b)
            bytes.push_back(char(b));
    const QString photo = writePicture("holiday.JPG", patternImage(600, 400), "jpeg");

    open(photo);
    ASSERT_TRUE(m_view.isPreviewShown());
    ASSERT_EQ(stego::hideText(m_canvas->surface(), stego::decodeWindows1252(bytes)).outcome,
              stego::HideOutcome::Hidden);
    m_canvas->pixelsChanged();
    m_imageChanged = 1;
    const QImage hidden = m_canvas->image();

    save(path("holiday.bmp"));
    EXPECT_EQ(m_dialog2.fileName, path("holiday.bmp")) << "the JPEG is never proposed as the target";
    EXPECT_EQ(m_imageChanged, 0);

    m_foundBytes.clear();
    open(path("holiday.bmp"));
    EXPECT_TRUE(sameRgb(m_canvas->image(), hidden)) << "saved while previewed: the full picture";
    EXPECT_EQ(m_foundBytes, bytes);
}

TEST_F(ImageCommandsTest, SaveSetsUpItsDialogAndKeepsTheOpenedPath)
{
    m_loadedImagePath = path("shot.gif");
    m_imageChanged = 1;
    m_label4->setText("Text hidden");

    m_platform.dialogAnswers.push_back(std::nullopt);
    picture::saveImage(m_context);
    EXPECT_EQ(m_imageChanged, 1) << "a cancelled save changes nothing";
    EXPECT_EQ(m_label4->text(), "");

    save(path("chosen.bmp"));

    ASSERT_EQ(m_platform.dialogs.size(), 2);
    const platform::FileDialog& shown = m_platform.dialogs[1];
    EXPECT_EQ(shown.mode, platform::FileDialogMode::Save);
    EXPECT_EQ(shown.title, "Save The Image File To");
    EXPECT_EQ(shown.filter, "Image (*.bmp)");
    EXPECT_TRUE(shown.overwritePrompt);
    EXPECT_EQ(shown.defaultSuffix, "bmp");
    EXPECT_EQ(shown.fileName, path("shot.bmp"));
    EXPECT_TRUE(m_platform.boxes.isEmpty()) << "no message on success";
    EXPECT_EQ(m_imageChanged, 0);
    EXPECT_EQ(m_loadedImagePath, path("shot.gif"));
    EXPECT_TRUE(sameRgb(picture::loadPicture(path("chosen.bmp")).image, m_startPicture));
}

TEST_F(ImageCommandsTest, FailedSaveKeepsTheFlagAndTheOldFile)
{
    QFile plain(path("plain-file"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly) && plain.write("x") == 1);
    plain.close();
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("locked"));
    const QString old = path("locked/old.bmp");
    ASSERT_EQ(picture::saveBmp(patternImage(8, 8), old), QString());
    ASSERT_TRUE(QFile::setPermissions(path("locked"), QFile::ReadOwner | QFile::ExeOwner));
    // Root writes through permission bits; a folder that is a file stops everyone.
    const bool lockHolds = ::geteuid() != 0;

    for (const QString& target : {path("plain-file/out.bmp"), old}) {
        if (target == old && !lockHolds)
            continue;
        SCOPED_TRACE(qPrintable(target));
        m_platform.boxes.clear();
        m_imageChanged = 1;

        save(target);

        ASSERT_EQ(m_platform.boxes.size(), 1);
        expectFailureBox(m_platform.boxes[0], "The picture could not be saved:", target);
        EXPECT_EQ(m_imageChanged, 1) << "the hidden message is still unsaved";
        EXPECT_EQ(m_platform.busyDepth, 0);
    }
    QFile::setPermissions(path("locked"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_TRUE(sameRgb(picture::loadPicture(old).image, patternImage(8, 8)));
    EXPECT_EQ(QDir(path("locked")).entryList(QDir::Files | QDir::Hidden), QStringList{"old.bmp"}) << "no temporary left";
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"plain-file"});
}

TEST(ProposedSaveName, OnlyTheFinalExtensionIsReplacedInAnyCase)
{
    const struct {
        const char* why;
        const char* opened;
        const char* proposed;
    } rows[] = {
        {"jpg becomes bmp", R"(E:\pics\holiday.jpg)", R"(E:\pics\holiday.bmp)"},
        {"a folder named like a picture stays", R"(E:\pics.jpg\holiday.jpg)", R"(E:\pics.jpg\holiday.bmp)"},
        {"upper-case extension is replaced too", R"(D:\HOLIDAY.JPG)", R"(D:\HOLIDAY.bmp)"},
        {"jpeg is five characters", R"(D:\photo.jpeg)", R"(D:\photo.bmp)"},
        {"mixed-case gif", "/home/ann/anim.Gif", "/home/ann/anim.bmp"},
        {"a bmp is proposed as itself", "a.bmp", "a.bmp"},
        {"in any case", "A.BMP", "A.BMP"},
        {"nothing opened yet", "", "Stego Picture.bmp"},
        {"png has no rule", R"(C:\x.png)", "Stego Picture.bmp"},
        {"extension only in the folder", "/pics.jpg/holiday", "Stego Picture.bmp"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(picture::proposedSaveName(QString::fromUtf8(row.opened)), QString::fromUtf8(row.proposed)) << row.why;
}

}  // namespace
