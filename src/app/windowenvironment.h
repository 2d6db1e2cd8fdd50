#pragma once

// What the window's commands share, made once with the window: the seam, the
// text box and status line, the dialogs whose settings stay between uses, the
// picture's state and the read-message hook.  The text and picture commands
// each take their narrow view of it, made here once.

#include "picture/imagecommands.h"
#include "platform/platform.h"
#include "text/textcommands.h"

#include <functional>

class QLabel;
class QPlainTextEdit;
class QWidget;

namespace app {

struct WindowEnvironment {
    WindowEnvironment(platform::Platform& seam, QWidget* owner, QPlainTextEdit* text1, QLabel* label4,
                      picture::PictureView& view, std::function<void()> readMessage)
        : platform(seam), window(owner), Text1(text1), Label4(label4),
          text{seam, owner, text1, label4, CommonDialog1},
          pictureCommands{seam, owner, view, label4, picture, CommonDialog1, Dialog2, std::move(readMessage)}
    {
    }
    WindowEnvironment(const WindowEnvironment&) = delete;
    WindowEnvironment& operator=(const WindowEnvironment&) = delete;

    platform::Platform& platform;
    QWidget* window;        // owner of boxes and dialogs
    QPlainTextEdit* Text1;  // the message text
    QLabel* Label4;         // the status line
    platform::FileDialog CommonDialog1;
    platform::FileDialog Dialog2;
    picture::PictureState picture;  // ImageChanged, LoadedImagePath

    text::TextCommandContext text;
    picture::PictureCommandContext pictureCommands;
};

}  // namespace app
