#pragma once

#include "platform.h"

namespace platform {

// The real desktop, through Qt.
class QtPlatform final : public Platform {
public:
    Answer messageBox(const MessageBox& box, QWidget* owner) override;
    std::optional<QString> fileDialog(FileDialog& dialog, QWidget* owner) override;
    QString clipboardText() override;
    void setClipboardText(const QString& text) override;
    void clearClipboard() override;
    bool openUrl(const QUrl& url, std::function<void()> onLateFailure = {}) override;
    QString findProgram(const QString& name) override;
    bool startProgram(const QString& program, const QStringList& arguments) override;
    int displayBitsPerPixel() override;
    QString documentsFolder() override;
    std::optional<QString> environmentVariable(const QString& name) override;
    void processEvents() override;
    void flushWindowSystem(QWidget* window) override;
    void setBusyCursor(bool busy) override;

    // How long openUrl waits for the opener's verdict before it lets the
    // window go on; tests shorten it.
    int openerWaitMs = 1500;
};

// The bits a display stores per pixel for an X11 visual of `depth` bits.
int storedBitsPerPixel(int depth);

// `filter` with every "*.ext" pattern turned into one that matches the
// extension in any letter case ("*.png" -> "*.[pP][nN][gG]").
QString caseInsensitiveFilter(const QString& filter);

}  // namespace platform
