#include "imagecommands.h"

#include "imagefile/filenames.h"
#include "imagecanvas.h"
#include "imagefile/imageio.h"
#include "imagefile/pngwriter.h"
#include "pictureview.h"
#include "viewmodel.h"

#include "platform/boxes.h"

#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>

#include <algorithm>
#include <array>
#include <optional>

namespace picture {

namespace {

const QString kPngEntry = QStringLiteral("PNG (*.png)");

// Every completed file dialog leaves the process in the chosen file's
// folder, where the text dialogs open next.
void enterFolderOf(const QString& path)
{
    QDir::setCurrent(QFileInfo(path).absolutePath());
}

void clearStatus(PictureCommandContext& context)
{
    if (context.label4)
        context.label4->clear();
}

// True when nothing unsaved is at stake or the user agreed to drop it.
bool confirmLoad(PictureCommandContext& context)
{
    if (context.state.ImageChanged != 1)
        return true;
    const platform::MessageBox box = platform::Box(platform::alertTitle(), platform::Icon::Question)
                                          .lines({QStringLiteral("Are You Sure Tou Wish To Load Another Image?"),
                                                  QString(),
                                                  QStringLiteral("You Have Changed The Current Image But"),
                                                  QStringLiteral("Have Not Saved These Changes!"),
                                                  QString(),
                                                  QStringLiteral("Click YES to LOAD Or NO To CANCEL")})
                                          .buttons(platform::Buttons::YesNo, platform::Answer::No);
    return context.platform.messageBox(box, context.window) == platform::Answer::Yes;
}

void showFailure(PictureCommandContext& context, const QString& path, const fileio::Failure& failure)
{
    context.platform.messageBox(platform::fileFailureBox(QStringLiteral("The picture"), path, failure), context.window);
}

// Everything Open Image does once it has a path.  A file that cannot be read
// changes nothing but the status line: the old picture, its view, the text
// and the remembered path all stay, so Save Image never proposes to write
// over the file that failed.
void loadChosenFile(PictureCommandContext& context, const QString& path)
{
    std::optional<platform::BusyCursor> busy(std::in_place, context.platform);
    // The old picture stays until the new one has opened (a refused file
    // changes nothing), so the two are counted together.
    imagefile::LoadResult loaded = imagefile::loadPicture(path, imagefile::FileKinds::RegularOnly, context.view.canvas()->image().sizeInBytes());
    if (!loaded.ok()) {
        busy.reset();  // no hourglass over the box
        showFailure(context, path, *loaded.failure);
        return;
    }

    PictureView& view = context.view;
    ImageCanvas* canvas = view.canvas();
    view.hideScrollBars();
    canvas->setImage(std::move(loaded.image));
    // Only now is the changed picture gone; a cancelled dialog or a refused
    // file leaves the flag, so the next Open or Exit still asks.
    context.state.ImageChanged = 0;
    context.state.LoadedImagePath = path;

    // The preview rule weighs the viewport's outer size; the preview itself
    // fills the inside of its border.
    const QFrame* viewport = view.viewport();
    const Size viewportSize{static_cast<double>(viewport->width()), static_cast<double>(viewport->height())};
    const Size pictureSize{static_cast<double>(canvas->image().width()),
                           static_cast<double>(canvas->image().height())};
    if (needsPreview(viewportSize, pictureSize)) {
        const QSize area = view.pictureAreaSize();
        view.showPreview(makePreview(canvas->image(), area.width(), area.height(), view.pictureArea()->devicePixelRatioF()));
    } else {
        view.showFullView();
    }

    // Whatever the user queued runs here and must find the window whole: the
    // picture shown, its path and its flag all belong to the new file.
    context.platform.processEvents();
    // A command run in the pass may have opened another picture; that one
    // has been read and shown already.
    if (context.state.LoadedImagePath != path)
        return;

    if (context.readMessage)
        context.readMessage();
}

}  // namespace

void openImage(PictureCommandContext& context)
{
    clearStatus(context);
    if (!confirmLoad(context))
        return;

    // The dialog is shared with the text commands: the settings this command
    // relies on are set on every run, the file name is left as the last use
    // (of any command) left it.
    platform::FileDialog& dialog = context.commonDialog1;
    dialog.mode = platform::FileDialogMode::Open;
    dialog.title = QStringLiteral("Select An Image File To Open");
    dialog.filter = QStringLiteral("Images (*.bmp *.jpg *.jpeg *.gif *.png *.webp)");
    dialog.existingOnly = true;
    dialog.hideReadOnly = true;
    const std::optional<QString> chosen = context.platform.fileDialog(dialog, context.window);
    if (!chosen)
        return;
    dialog.fileName = *chosen;
    if (chosen->isEmpty())
        return;
    enterFolderOf(*chosen);
    loadChosenFile(context, *chosen);
}

void openImageFile(PictureCommandContext& context, const QString& path, bool confirm)
{
    clearStatus(context);
    if (confirm && !confirmLoad(context))
        return;
    if (path.isEmpty())
        return;
    loadChosenFile(context, path);
}

void saveImage(PictureCommandContext& context)
{
    clearStatus(context);

    platform::FileDialog& dialog = context.dialog2;
    dialog.mode = platform::FileDialogMode::Save;
    dialog.title = QStringLiteral("Save The Image File To");
    // BMP stays first and the default.  The type chosen decides what is
    // written, and a name typed without an extension gets the type's; a
    // name ending in .png is a PNG whatever the type.
    dialog.filter = QStringLiteral("Image (*.bmp);;") + kPngEntry;
    // Shown first every time: a PNG type left from the last save would sit
    // beside the proposed ".bmp" name.
    dialog.selectedFilter.clear();
    dialog.overwritePrompt = true;
    dialog.fileName = proposedSaveName(context.state.LoadedImagePath);
    dialog.defaultSuffix = QStringLiteral("bmp");
    const std::optional<QString> chosen = context.platform.fileDialog(dialog, context.window);
    if (!chosen || chosen->isEmpty())
        return;
    enterFolderOf(*chosen);
    const bool pngChosen = dialog.selectedFilter == kPngEntry;
    QString path = *chosen;
    if (pngChosen && QFileInfo(path).suffix().isEmpty())
        path += QLatin1String(".png");

    // The canvas holds every pixel also while a preview stands in for it.
    fileio::MaybeFailure failure;
    {
        platform::BusyCursor busy(context.platform);
        const QImage& image = context.view.canvas()->image();
        failure = pngChosen || imagefile::hasPngExtension(path) ? imagefile::savePng(image, path) : imagefile::saveBmp(image, path);
    }
    if (failure) {
        // The picture stays marked as changed: the hidden message is still unsaved.
        showFailure(context, path, *failure);
        return;
    }
    context.state.ImageChanged = 0;
}

QString proposedSaveName(const QString& loadedImagePath)
{
    // Only the final extension is looked at and replaced, in any case, so a
    // folder named "pics.jpg" survives and "HOLIDAY.JPG" is never proposed
    // as the target for BMP content.
    if (loadedImagePath.endsWith(QLatin1String(".bmp"), Qt::CaseInsensitive))
        return loadedImagePath;
    static const std::array<QLatin1String, 5> replaced{QLatin1String(".jpg"), QLatin1String(".jpeg"),
                                                       QLatin1String(".gif"), QLatin1String(".png"),
                                                       QLatin1String(".webp")};
    for (const QLatin1String extension : replaced) {
        if (loadedImagePath.endsWith(extension, Qt::CaseInsensitive))
            return loadedImagePath.left(loadedImagePath.size() - extension.size()) + QLatin1String(".bmp");
    }
    return QStringLiteral("Stego Picture.bmp");
}

QImage makePreview(const QImage& image, int width, int height, qreal ratio)
{
    if (image.isNull() || width <= 0 || height <= 0)
        return {};
    ratio = std::max<qreal>(ratio, 1);
    QImage preview = image.scaled(qRound(width * ratio), qRound(height * ratio), Qt::IgnoreAspectRatio,
                                  Qt::SmoothTransformation);
    preview.setDevicePixelRatio(ratio);
    return preview;
}

}  // namespace picture
