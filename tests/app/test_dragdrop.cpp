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

// One local file, on the picture or on a button (which takes no drops
// itself), runs Open Image; any other drag is refused as it comes in.  While
// a hidden message is unsaved, Open Image's question comes first and No keeps it.
TEST_F(DragDropTest, PictureDroppedAnywhereRunsOpenImage)
{
    const QUrl file = pictureFile(40, 30, "dropped secret");
    const Qt::DropActions copy = Qt::CopyAction, either = Qt::CopyAction | Qt::MoveAction;
    const struct { const char* why; const char* target; QList<QUrl> urls; Qt::DropActions offered; bool taken; } rows[] = {
        {"two files", "Picture1", {file, file}, copy, false},
        {"a web address", "Picture1", {QUrl("https://example.com/p.bmp")}, copy, false},
        {"a folder", "Picture1", {QUrl::fromLocalFile(m_dir.path())}, copy, false},
        {"text, not a file", "Picture1", {}, copy, false},
        {"a file offered only as a move", "Picture1", {file}, Qt::MoveAction, false},
        {"on the picture", "Picture1", {file}, either, true},
        {"on a button", "Command4", {file}, either, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        setText("old text");
        // A file drop carries the address as text too.
        const Outcome outcome = drop(child(row.target), row.urls, file.toLocalFile(), row.offered);
        EXPECT_TRUE(outcome.entered == row.taken && outcome.dropped == row.taken);
        EXPECT_EQ(outcome.action, row.taken ? Qt::CopyAction : Qt::IgnoreAction) << "a move deletes the user's file";
        EXPECT_EQ(text(), row.taken ? "dropped secret" : "old text") << "the scan ran, or nothing did";
        EXPECT_EQ(window->loadedImagePath(), row.taken ? file.toLocalFile() : QString());
        EXPECT_TRUE(platform.boxes.isEmpty());
    }
    hideUnsaved();
    platform.answers = {Answer::No};
    drop(child("Picture1"), {pictureFile(20, 20)});
    ASSERT_EQ(platform.boxes.size(), 1);
    EXPECT_TRUE(platform.boxes[0].text.startsWith("Are You Sure Tou Wish To Load Another Image?"));
    EXPECT_EQ(window->imageChanged(), 1) << "the message is still unsaved, not replaced";
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

}  // namespace
