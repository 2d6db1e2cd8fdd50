// Open Image and Save Image, driven through the desktop fake with real widgets
// and real files.

#include "picture/imagecanvas.h"
#include "picture/imagecommands.h"
#include "picture/imageio.h"
#include "picture/pictureview.h"
#include "pictures.h"
#include "stego/codepage.h"
#include "stego/message.h"
#include "support/boxcheck.h"
#include "support/fakeplatform.h"

#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>

#include <unistd.h>

#include <string>

namespace {

using platform::Answer;
using picturetest::patternImage;
using picturetest::sameRgb;
using testsupport::isFailureBox;

// The main window's picture half, as Stego1 builds it, with a ReadMessage
// that puts a found text into Text1 and reports a missing one on the status line.
class ImageCommandsTest : public ::testing::Test {
protected:
    ImageCommandsTest()
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
        return writeBytes(name, picturetest::encoded(image, format));
    }
    QString writeBytes(const QString& name, const QByteArray& bytes)
    {
        QFile file(path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        return file.fileName();
    }

    // Runs `command` with `file` as the dialog's answer.
    void withFile(void (*command)(picture::PictureCommandContext&), const QString& file)
    {
        m_platform.dialogAnswers.push_back(file);
        command(m_context);
    }

    QTemporaryDir m_dir;
    testsupport::FakePlatform m_platform;
    QWidget m_window;
    QFrame* m_viewport = new QFrame(&m_window);
    picture::ImageCanvas* m_canvas = new picture::ImageCanvas(m_viewport);
    picture::PictureView m_view{m_viewport, m_canvas, new QScrollBar(Qt::Horizontal, &m_window),
                                new QScrollBar(Qt::Vertical, &m_window)};
    QLabel* m_label4 = new QLabel(&m_window);
    QPlainTextEdit* m_text1 = new QPlainTextEdit(&m_window);
    std::int16_t m_imageChanged = 0;
    QString m_loadedImagePath;
    platform::FileDialog m_commonDialog1;
    platform::FileDialog m_dialog2;
    picture::PictureCommandContext m_context{m_platform,      &m_window,      m_view,
                                             m_label4,        m_imageChanged, m_loadedImagePath,
                                             m_commonDialog1, m_dialog2,      [this] { readMessage(); }};
    int m_readCalls = 0;
    std::string m_foundBytes;  // the scan's own result: the text box would fold CR and no-break spaces
    const QImage m_startPicture = patternImage(256, 256, 7);
};

// --- Open Image ----------------------------------------------------------

TEST_F(ImageCommandsTest, OpenAsksFirstForAnUnsavedMessageThenLoadsUnderTheHourglass)
{
    const QString file = writePicture("next.bmp", patternImage(50, 40));
    const platform::MessageBox confirm{"Mirrorvane Alert",
                                       "Are You Sure Tou Wish To Load Another Image?\r\n\r\n"
                                       "You Have Changed The Current Image But\r\n"
                                       "Have Not Saved These Changes!\r\n\r\n"
                                       "Click YES to LOAD Or NO To CANCEL",
                                       platform::Icon::Question, platform::Buttons::YesNo, Answer::No};
    m_commonDialog1.fileName = "/docs/letter.txt";  // left by a text command
    m_commonDialog1.defaultSuffix = "txt";
    int busyDuringEvents = -1;
    m_platform.onProcessEvents = [&] { busyDuringEvents = m_platform.busyDepth; };

    // No: nothing moves, not even the dialog.
    m_imageChanged = 1;
    m_platform.answers = {Answer::No, Answer::Yes, Answer::Yes};
    picture::openImage(m_context);
    EXPECT_TRUE(testsupport::sameBoxes(m_platform.boxes, {confirm}));
    EXPECT_TRUE(m_platform.dialogs.isEmpty());
    EXPECT_EQ(m_imageChanged, 1);

    // Yes, then the dialog is cancelled: the changed picture is still
    // unsaved, so the flag must stay for the next Open or Exit to ask.
    picture::openImage(m_context);
    EXPECT_EQ(m_platform.dialogs.size(), 1);
    EXPECT_EQ(m_imageChanged, 1);
    EXPECT_TRUE(sameRgb(m_canvas->image(), m_startPicture));
    EXPECT_EQ(m_readCalls, 0);
    EXPECT_EQ(m_platform.busyDepth, 0);

    // Yes, then a file: the new picture replaces the changed one.
    m_label4->setText("old status");
    withFile(picture::openImage, file);
    ASSERT_EQ(m_platform.dialogs.size(), 2);
    const platform::FileDialog& shown = m_platform.dialogs[1];
    EXPECT_EQ(shown.mode, platform::FileDialogMode::Open);
    EXPECT_EQ(shown.title, "Select An Image File To Open");
    EXPECT_EQ(shown.filter, "Images (*.bmp *.jpg *.jpeg *.gif)");
    EXPECT_TRUE(shown.existingOnly && shown.hideReadOnly);
    EXPECT_EQ(shown.fileName, "/docs/letter.txt");
    EXPECT_EQ(m_commonDialog1.fileName, file) << "the dialog remembers the chosen file";
    EXPECT_EQ(m_commonDialog1.defaultSuffix, "txt") << "settings this command does not own stay";
    EXPECT_EQ(m_imageChanged, 0);
    EXPECT_TRUE(sameRgb(m_canvas->image(), patternImage(50, 40)));
    EXPECT_EQ(m_platform.processEventsCalls, 1);
    EXPECT_EQ(busyDuringEvents, 1) << "hourglass over the load";
    EXPECT_EQ(m_platform.busyDepth, 0);
    EXPECT_EQ(m_readCalls, 1);
    EXPECT_EQ(m_label4->text(), "no message") << "emptied, then only the scan writes";
    EXPECT_EQ(m_loadedImagePath, file);

    // Nothing unsaved: no question at all.
    withFile(picture::openImage, file);
    EXPECT_TRUE(testsupport::sameBoxes(m_platform.boxes, {confirm, confirm, confirm}));
}

TEST_F(ImageCommandsTest, UnreadableFileIsReportedAndChangesNothing)
{
    // Every reason the reader gives walks the same road here; the reasons
    // themselves are the reader's tests.
    const QString file = writeBytes("notes.jpg", "a shopping list\r\n");
    int busyDuringBox = -1;
    m_platform.onMessageBox = [&](const platform::MessageBox& box) {
        if (box.icon == platform::Icon::Warning)
            busyDuringBox = m_platform.busyDepth;
    };

    m_imageChanged = 1;
    m_loadedImagePath = "/pictures/before.jpg";
    m_text1->setPlainText("the user's text");
    m_platform.answers.push_back(Answer::Yes);

    withFile(picture::openImage, file);

    ASSERT_EQ(m_platform.boxes.size(), 2);
    EXPECT_TRUE(isFailureBox(m_platform.boxes[1], "The picture could not be opened:", file));
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
        withFile(picture::openImage, writePicture("sized.bmp", picture));

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

// Open a JPEG, hide a text, save as BMP while the preview shows, reopen: the
// text comes back byte for byte.
TEST_F(ImageCommandsTest, WholeRoadJpegHideSaveReopen)
{
    // Every byte value but NUL (which ends the text box's string), several times over.
    std::string bytes;
    for (int round = 0; round < 3; ++round)
        for (int b = 1; b < 256; ++b)
            bytes.push_back(char(b));
    const QString photo = writePicture("holiday.JPG", patternImage(600, 400), "jpeg");
    withFile(picture::openImage, photo);
    ASSERT_TRUE(m_view.isPreviewShown());
    ASSERT_EQ(stego::hideText(m_canvas->surface(), stego::decodeWindows1252(bytes)).outcome,
              stego::HideOutcome::Hidden);
    m_canvas->pixelsChanged();
    m_imageChanged = 1;
    m_label4->setText("Text hidden");
    const QImage hidden = m_canvas->image();

    m_platform.dialogAnswers.push_back(std::nullopt);
    picture::saveImage(m_context);
    EXPECT_EQ(m_imageChanged, 1) << "a cancelled save changes nothing";
    EXPECT_EQ(m_label4->text(), "");

    withFile(picture::saveImage, path("chosen.bmp"));
    ASSERT_EQ(m_platform.dialogs.size(), 3);
    const platform::FileDialog& shown = m_platform.dialogs[2];
    EXPECT_EQ(shown.mode, platform::FileDialogMode::Save);
    EXPECT_EQ(shown.title, "Save The Image File To");
    EXPECT_EQ(shown.filter, "Image (*.bmp)");
    EXPECT_TRUE(shown.overwritePrompt);
    EXPECT_EQ(shown.defaultSuffix, "bmp");
    EXPECT_EQ(shown.fileName, path("holiday.bmp")) << "the JPEG is never proposed as the target";
    EXPECT_TRUE(m_platform.boxes.isEmpty()) << "no message on success";
    EXPECT_EQ(m_imageChanged, 0);
    EXPECT_EQ(m_loadedImagePath, photo);

    m_foundBytes.clear();
    withFile(picture::openImage, path("chosen.bmp"));
    EXPECT_TRUE(sameRgb(m_canvas->image(), hidden)) << "saved while previewed: the full picture";
    EXPECT_EQ(m_foundBytes, bytes);
}

TEST_F(ImageCommandsTest, FailedSaveKeepsTheFlagAndTheOldFile)
{
    writeBytes("plain-file", "x");
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

        withFile(picture::saveImage, target);

        ASSERT_EQ(m_platform.boxes.size(), 1);
        EXPECT_TRUE(isFailureBox(m_platform.boxes[0], "The picture could not be saved:", target));
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
