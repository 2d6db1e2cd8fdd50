#pragma once

// Open Image and Save Image, with the window's state they need.

#include "platform/platform.h"

#include <QImage>
#include <QString>

#include <cstdint>
#include <functional>

class QLabel;
class QWidget;

namespace picture {

class PictureView;

// What the window keeps of its picture between commands.
struct PictureState {
    std::int16_t ImageChanged = 0;  // 1 while a hidden message is not saved
    QString LoadedImagePath;        // the picture last opened or saved
};

// The part of the window's environment that Open Image and Save Image use.
struct PictureCommandContext {
    platform::Platform& platform;
    QWidget* window;                       // owner of boxes and dialogs
    PictureView& view;
    QLabel* label4;                        // the status line
    PictureState& state;
    platform::FileDialog& commonDialog1;   // settings stay between uses
    platform::FileDialog& dialog2;
    std::function<void()> readMessage;     // the window's read-message hook
};

// Command4_Click.
void openImage(PictureCommandContext& context);
// Opens `path` as Open Image does after its dialog (drag and drop uses it);
// the confirmation runs first when `confirm` is set.
void openImageFile(PictureCommandContext& context, const QString& path, bool confirm);
// Command5_Click.
void saveImage(PictureCommandContext& context);

// The name Save Image proposes for the picture last opened from `loadedImagePath`.
QString proposedSaveName(const QString& loadedImagePath);

// The stretched preview of `image`, exactly `width` x `height` logical
// pixels, smooth scaling, proportions not kept; null when it cannot be made.
// It is drawn in device pixels (`ratio` to a logical one), so that a scaled
// display shows it sharp.
QImage makePreview(const QImage& image, int width, int height, qreal ratio = 1);

}  // namespace picture
