// Dropping files on the window: a picture takes the Open Image road, a
// ".txt" file the Open Text road; anything else is left to the widgets.

#include "windowfixture.h"

#include "picture/imageio.h"
#include "picture/pictureview.h"
#include "stego/message.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>

#include <string>

namespace {

using platform::Answer;

class DragDropTest : public apptest::WindowTest {
protected:
    struct Outcome {
        bool entered;          // the drag was taken when it came in
        bool dropped;          // and again when it was let go
        Qt::DropAction action; // what the drag source is told happened
    };

    // Drags `mime` onto the middle of `target` as a desktop would and lets
    // go, then lets the queued command run.  Shift is held: the user asks
    // for a move, which the window must still take as a copy.
    Outcome drop(QWidget* target, const QMimeData& mime, Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction)
    {
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, offered, &mime, Qt::LeftButton, Qt::ShiftModifier);
        QCoreApplication::sendEvent(target, &enter);
        if (!enter.isAccepted())
            return {false, false, Qt::IgnoreAction};
        QDragMoveEvent move(at, offered, &mime, Qt::LeftButton, Qt::ShiftModifier);
        QCoreApplication::sendEvent(target, &move);
        QDropEvent release(QPointF(at), offered, &mime, Qt::LeftButton, Qt::ShiftModifier);
        QCoreApplication::sendEvent(target, &release);
        QCoreApplication::sendPostedEvents();
        return {true, release.isAccepted(), release.dropAction()};
    }

    Outcome dropFiles(QWidget* target, const QStringList& paths,
                      Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction)
    {
        QMimeData mime;
        QList<QUrl> urls;
        for (const QString& path : paths)
            urls.append(QUrl::fromLocalFile(path));
        mime.setUrls(urls);
        return drop(target, mime, offered);
    }

    // A BMP with `message` hidden in it (none when empty).
    QString pictureFile(const QString& name, int width, int height, const std::string& message = {})
    {
        usePicture(width, height);
        QImage image = picture();
        if (!message.empty()) {
            const stego::HideReport report = stego::hideBytes(picture::surfaceOf(image), message);
            EXPECT_EQ(report.outcome, stego::HideOutcome::Hidden);
        }
        const QString path = m_dir.filePath(name);
        EXPECT_EQ(picture::saveBmp(image, path), QString());
        window->canvas()->setImage(m_start);
        return path;
    }

    QString textFile(const QString& name, const QByteArray& bytes)
    {
        QFile file(m_dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        return file.fileName();
    }

    QWidget* text1Viewport() const { return window->text1()->viewport(); }

    void SetUp() override
    {
        WindowTest::SetUp();
        m_start = picture();
    }

    QTemporaryDir m_dir;
    QImage m_start;  // the built-in picture
};

TEST_F(DragDropTest, PictureDroppedAnywhereRunsOpenImage)
{
    const struct {
        const char* why;
        const char* target;
        int width;
        int height;
        bool preview;
    } rows[] = {
        {"on the picture", "Picture1", 40, 30, false},
        {"on a button, which takes no drops itself", "Command4", 60, 50, false},
        {"larger than the viewport is previewed", "Picture2", 400, 300, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const QString file = pictureFile(QString("%1x%2.bmp").arg(row.width).arg(row.height), row.width,
                                         row.height, "dropped secret");
        setText("old text");
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(file)});
        mime.setText("the address as text, which a file drop also carries");

        const Outcome outcome = drop(child<QWidget>(row.target), mime);

        EXPECT_TRUE(outcome.entered && outcome.dropped);
        EXPECT_EQ(outcome.action, Qt::CopyAction) << "a move would have the file manager delete the file";
        EXPECT_EQ(window->canvas()->image().size(), QSize(row.width, row.height));
        EXPECT_EQ(window->pictureView().isPreviewShown(), row.preview);
        EXPECT_EQ(text(), "dropped secret") << "the scan ran";
        EXPECT_EQ(window->loadedImagePath(), file);
        EXPECT_TRUE(platform.dialogs.isEmpty()) << "the file is given, no dialog";
        EXPECT_TRUE(platform.boxes.isEmpty());
    }
}

TEST_F(DragDropTest, UnsavedMessageIsAskedAboutFirst)
{
    const QString file = pictureFile("next.bmp", 20, 20);
    setText("unsaved");
    window->Command1_Click();
    ASSERT_EQ(window->imageChanged(), 1);
    const QImage changed = picture();

    platform.answers.push_back(Answer::No);
    dropFiles(child<QWidget>("Picture1"), {file});
    ASSERT_EQ(platform.boxes.size(), 1);
    EXPECT_EQ(platform.boxes[0].buttons, platform::Buttons::YesNo);
    EXPECT_TRUE(platform.boxes[0].text.startsWith("Are You Sure Tou Wish To Load Another Image?"));
    EXPECT_EQ(picture(), changed);
    EXPECT_EQ(window->imageChanged(), 1);
    EXPECT_EQ(window->loadedImagePath(), QString());

    platform.answers.push_back(Answer::Yes);
    dropFiles(child<QWidget>("Picture1"), {file});
    EXPECT_EQ(platform.boxes.size(), 2);
    EXPECT_EQ(window->canvas()->image().size(), QSize(20, 20));
    EXPECT_EQ(window->imageChanged(), 0);
    EXPECT_EQ(window->loadedImagePath(), file);
}

TEST_F(DragDropTest, TextFileRunsOpenTextWhereverItLands)
{
    const QString file = textFile("note.txt", "first line\r\nsecond line");
    for (QWidget* target : {text1Viewport(), child<QWidget>("Picture1")}) {
        SCOPED_TRACE(qPrintable(target->objectName()));
        setText("replaced");
        const Outcome outcome = dropFiles(target, {file});
        EXPECT_TRUE(outcome.dropped);
        EXPECT_EQ(outcome.action, Qt::CopyAction);
        EXPECT_EQ(text(), "first line\r\nsecond line") << "read, not pasted as an address";
        EXPECT_EQ(picture(), m_start);
        EXPECT_EQ(window->loadedImagePath(), QString());
    }
    // Open Text's own rule decides what counts as a text file: this one is a picture to Open Image.
    const QString upper = textFile("NOTE.TXT", "words");
    setText("kept");
    dropFiles(text1Viewport(), {upper});
    ASSERT_EQ(platform.boxes.size(), 1);
    EXPECT_TRUE(platform.boxes[0].text.startsWith("The picture could not be opened:"));
    EXPECT_EQ(text(), "kept");
}

TEST_F(DragDropTest, TextBoxStillTakesDroppedText)
{
    setText("");
    QMimeData mime;
    mime.setText("dragged words");
    const Outcome outcome = drop(text1Viewport(), mime);
    EXPECT_TRUE(outcome.dropped);
    EXPECT_EQ(text(), "dragged words");
    EXPECT_TRUE(platform.boxes.isEmpty());
}

TEST_F(DragDropTest, DragsThatAreNotOneLocalFileAreRefused)
{
    const QString picturePath = pictureFile("p.bmp", 10, 10);
    QMimeData twoFiles;
    twoFiles.setUrls({QUrl::fromLocalFile(picturePath), QUrl::fromLocalFile(picturePath)});
    QMimeData webAddress;
    webAddress.setUrls({QUrl("https://example.com/p.bmp")});
    QMimeData folder;
    folder.setUrls({QUrl::fromLocalFile(m_dir.path())});
    QMimeData plainText;
    plainText.setText(picturePath);
    QMimeData single;
    single.setUrls({QUrl::fromLocalFile(picturePath)});
    const struct {
        const char* why;
        const QMimeData& mime;
        Qt::DropActions offered;
    } rows[] = {
        {"two files", twoFiles, Qt::CopyAction},
        {"a web address", webAddress, Qt::CopyAction},
        {"a folder", folder, Qt::CopyAction},
        {"text, not a file", plainText, Qt::CopyAction},
        {"a file offered only as a move", single, Qt::MoveAction},
    };
    setText("kept");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_FALSE(drop(child<QWidget>("Picture1"), row.mime, row.offered).entered);
    }
    EXPECT_EQ(picture(), m_start);
    EXPECT_EQ(text(), "kept");
    EXPECT_TRUE(platform.boxes.isEmpty());
}

}  // namespace
