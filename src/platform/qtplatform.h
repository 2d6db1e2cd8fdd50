#pragma once

#include "platform.h"

namespace platform {

// The real desktop, through Qt.
class QtPlatform final : public Platform {
public:
    Answer messageBox(const MessageBox& box, QWidget* owner) override;
    std::optional<QString> fileDialog(const FileDialog& dialog, QWidget* owner) override;
    QString clipboardText() override;
    void setClipboardText(const QString& text) override;
    void clearClipboard() override;
    bool openUrl(const QUrl& url) override;
    QString findProgram(const QString& name) override;
    bool startProgram(const QString& program, const QStringList& arguments) override;
    int displayBitsPerPixel() override;
    QString documentsFolder() override;
    std::optional<QString> environmentVariable(const QString& name) override;
    void processEvents() override;
    void flushWindowSystem(QWidget* window) override;
    void setBusyCursor(bool busy) override;
};

}  // namespace platform
