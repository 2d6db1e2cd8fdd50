// Dropping files: a picture runs Open Image, a ".txt" file Open Text.

#include "windowfixture.h"

#include <QCoreApplication>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>

namespace {

using namespace apptest;

class DragDropTest : public WindowTest {
protected:
    // Taken when it came in, taken again when let go, and what the drag source is told happened.
    struct Outcome { bool entered, dropped; Qt::DropAction action; };

    // Drags `urls` and `text` onto `target` with Shift held (asking for a
    // move, which must still be taken as a copy), lets go, runs the command.
    Outcome drop(QWidget* target, const QList<QUrl>& urls, const QString& text = {},
                 Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction)
    {
        QMimeData mime;
        if (!text.isEmpty())
            mime.setText(text);
        if (!urls.isEmpty())
            mime.setUrls(urls);
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

    // A BMP with `message` hidden in it, as a file address.
    QUrl pictureFile(int width, int height, const std::string& message = "hi")
    {
        return QUrl::fromLocalFile(messagePicture(m_dir.filePath(QString("%1x%2.bmp").arg(width).arg(height)),
                                                  patternImage(width, height), message));
    }

    QTemporaryDir m_dir;
};

// On the picture, or on a button, which takes no drops itself; while a hidden
// message is unsaved, Open Image's question comes first and No keeps it.
TEST_F(DragDropTest, PictureDroppedAnywhereRunsOpenImage)
{
    for (const auto& [target, width] : {std::pair{"Picture1", 40}, {"Command4", 60}}) {
        const QUrl file = pictureFile(width, 30, "dropped secret");
        setText("old text");
        const Outcome outcome = drop(child(target), {file}, "the address as text, which a file drop also carries");
        EXPECT_TRUE(outcome.entered && outcome.dropped) << target;
        EXPECT_EQ(outcome.action, Qt::CopyAction) << "a move would have the file manager delete the file";
        EXPECT_EQ(text(), "dropped secret") << "the scan ran";
        EXPECT_EQ(window->loadedImagePath(), file.toLocalFile());
        EXPECT_TRUE(platform.dialogs.isEmpty()) << "the file is given, no dialog";
        EXPECT_TRUE(platform.boxes.isEmpty());
    }
    const QString opened = window->loadedImagePath();
    hideUnsaved();
    const QImage changed = picture();
    platform.answers = {Answer::No};
    drop(child("Picture1"), {pictureFile(20, 20)});
    ASSERT_EQ(platform.boxes.size(), 1);
    EXPECT_TRUE(platform.boxes[0].text.startsWith("Are You Sure Tou Wish To Load Another Image?"));
    EXPECT_EQ(picture(), changed);
    EXPECT_EQ(window->imageChanged(), 1);
    EXPECT_EQ(window->loadedImagePath(), opened);
}

TEST_F(DragDropTest, TextFileRunsOpenTextWhereverItLandsAndTheBoxKeepsDroppedText)
{
    const QUrl file = QUrl::fromLocalFile(written(m_dir.filePath("note.txt"), "first line\r\nsecond line"));
    QWidget* const text1 = window->text1()->viewport();
    for (QWidget* target : {text1, child("Picture1")}) {
        SCOPED_TRACE(qPrintable(target->objectName()));
        setText("replaced");
        const Outcome outcome = drop(target, {file});
        EXPECT_TRUE(outcome.dropped);
        EXPECT_EQ(outcome.action, Qt::CopyAction);
        EXPECT_EQ(text(), "first line\r\nsecond line") << "read, not pasted as an address";
    }
    setText("");
    EXPECT_TRUE(drop(text1, {}, "dragged words").dropped);
    EXPECT_EQ(text(), "dragged words");
    EXPECT_TRUE(platform.boxes.isEmpty());
}

TEST_F(DragDropTest, DragsThatAreNotOneLocalFileAreRefused)
{
    const QUrl file = pictureFile(10, 10);
    const QImage start = picture();
    const std::tuple<const char*, QList<QUrl>, Qt::DropActions> rows[] = {
        {"two files", {file, file}, Qt::CopyAction},
        {"a web address", {QUrl("https://example.com/p.bmp")}, Qt::CopyAction},
        {"a folder", {QUrl::fromLocalFile(m_dir.path())}, Qt::CopyAction},
        {"text, not a file", {}, Qt::CopyAction},
        {"a file offered only as a move", {file}, Qt::MoveAction},
    };
    setText("kept");
    for (const auto& [why, urls, offered] : rows)
        EXPECT_FALSE(drop(child("Picture1"), urls, file.toLocalFile(), offered).entered) << why;
    EXPECT_EQ(picture(), start);
    EXPECT_EQ(text(), "kept");
    EXPECT_TRUE(platform.boxes.isEmpty());
}

}  // namespace
