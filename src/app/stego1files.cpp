// Files that arrive other than through the dialogs: dropped on the window
// or named on the command line; and the question before an unsaved picture
// is lost on closing.

#include "stego1.h"
#include "windowenvironment.h"

#include "picture/imagecommands.h"
#include "platform/boxes.h"
#include "text/textcommands.h"
#include "windowtitles.h"

#include <QCloseEvent>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>

namespace app {

// --- Drag and drop ---

bool Stego1::acceptFileDrag(QDropEvent* event, QString* path)
{
    // Only what Open Image or Open Text could have been given: one local
    // file, not a folder, several files or a web address.
    const QMimeData* mime = event->mimeData();
    if (!mime || !mime->hasUrls())
        return false;
    const QList<QUrl> urls = mime->urls();
    if (urls.size() != 1 || !urls.constFirst().isLocalFile())
        return false;
    const QString file = urls.constFirst().toLocalFile();
    if (file.isEmpty() || QFileInfo(file).isDir())
        return false;
    // A drop taken as a move tells the file manager to delete the user's file.
    if (!(event->possibleActions() & Qt::CopyAction))
        return false;
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (path)
        *path = file;
    return true;
}

void Stego1::dragEnterEvent(QDragEnterEvent* event)
{
    if (!acceptFileDrag(event))
        event->ignore();
}

void Stego1::dragMoveEvent(QDragMoveEvent* event)
{
    if (!acceptFileDrag(event))
        event->ignore();
}

void Stego1::dropEvent(QDropEvent* event)
{
    QString path;
    if (acceptFileDrag(event, &path))
        openDroppedFile(path);
    else
        event->ignore();
}

void Stego1::openCommandLineFile(const QByteArray& argument)
{
    // A name that does not survive the trip through QString would open some
    // other file, or none.
    const QString path = QFile::decodeName(argument);
    if (QFile::encodeName(path) != argument) {
        QMetaObject::invokeMethod(
            this,
            [this, path] {
                const QString reason = QStringLiteral("Its name is not valid in this system's encoding.");
                m_platform.messageBox(platform::fileFailureBox(QStringLiteral("The file"), path, fileio::refused(reason)), this);
            },
            Qt::QueuedConnection);
        return;
    }
    openDroppedFile(QDir::current().absoluteFilePath(path));
}

// A ".txt" file (the name tested as Open Text tests it) goes to Open Text
// wherever it lands, any other file to Open Image, with the Open Image
// question first while a hidden message is unsaved.  The command runs once
// the drop has returned: the drag source waits for the drop, and a box shown
// inside it would hold the file manager's drag until the box was closed.
void Stego1::openDroppedFile(const QString& path)
{
    QMetaObject::invokeMethod(
        this,
        [this, path] {
            runTrapped([this, &path] {
                if (text::isTextFileName(path)) {
                    text::openTextFile(m_env->text, path);
                    return;
                }
                picture::openImageFile(m_env->pictureCommands, path, /*confirm*/ true);
            });
        },
        Qt::QueuedConnection);
}

void Stego1::closeEvent(QCloseEvent* event)
{
    // Exit clears the flag before it closes, so only the close box and the
    // window manager reach the question here.
    if (!confirmExit()) {
        event->ignore();
        return;
    }
    m_env->picture.ImageChanged = 0;
    event->accept();
}

bool Stego1::confirmExit()
{
    if (m_env->picture.ImageChanged != 1)
        return true;
    const platform::MessageBox question = platform::Box(platform::alertTitle(), platform::Icon::Question)
                                              .lines({QStringLiteral("Are You Sure Tou Wish To Exit?"), QString(),
                                                      QStringLiteral("You Have Changed The Image But"),
                                                      QStringLiteral("Have Not Saved These Changes!"), QString(),
                                                      QStringLiteral("Click YES to EXIT Or NO To CANCEL")})
                                              .buttons(platform::Buttons::YesNo, platform::Answer::No);
    return m_platform.messageBox(question, this) == platform::Answer::Yes;
}

}  // namespace app
