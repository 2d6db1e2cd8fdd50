#include "qtplatform.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QWidget>

namespace platform {

namespace {

QMessageBox::Icon toQt(Icon icon)
{
    switch (icon) {
    case Icon::Information: return QMessageBox::Information;
    case Icon::Question: return QMessageBox::Question;
    case Icon::Warning: return QMessageBox::Warning;
    case Icon::Critical: return QMessageBox::Critical;
    case Icon::None: break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton toQt(Answer answer)
{
    switch (answer) {
    case Answer::Ok: return QMessageBox::Ok;
    case Answer::Cancel: return QMessageBox::Cancel;
    case Answer::Yes: return QMessageBox::Yes;
    case Answer::No: return QMessageBox::No;
    }
    return QMessageBox::NoButton;
}

}  // namespace

Answer QtPlatform::messageBox(const MessageBox& box, QWidget* owner)
{
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    Answer escape = Answer::Ok;
    switch (box.buttons) {
    case Buttons::Ok: buttons = QMessageBox::Ok; escape = Answer::Ok; break;
    case Buttons::OkCancel: buttons = QMessageBox::Ok | QMessageBox::Cancel; escape = Answer::Cancel; break;
    case Buttons::YesNo: buttons = QMessageBox::Yes | QMessageBox::No; escape = Answer::No; break;
    }
    QString text = box.text;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox message(toQt(box.icon), box.title, text, buttons, owner);
    message.setTextFormat(Qt::PlainText);
    message.setDefaultButton(toQt(box.defaultButton));
    message.setEscapeButton(toQt(escape));
    switch (message.exec()) {
    case QMessageBox::Ok: return Answer::Ok;
    case QMessageBox::Cancel: return Answer::Cancel;
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    default: return escape;
    }
}

std::optional<QString> QtPlatform::fileDialog(const FileDialog& spec, QWidget* owner)
{
    QFileDialog dialog(owner, spec.title, spec.folder, spec.filter);
    const bool open = spec.mode == FileDialogMode::Open;
    dialog.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(open && spec.existingOnly ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    QFileDialog::Options options;
    if (open && spec.hideReadOnly)
        options |= QFileDialog::ReadOnly;  // Qt's dialogs show no read-only box; keep the files untouched
    if (!open && !spec.overwritePrompt)
        options |= QFileDialog::DontConfirmOverwrite;
    dialog.setOptions(options);
    if (!spec.defaultSuffix.isEmpty())
        dialog.setDefaultSuffix(spec.defaultSuffix);
    if (!spec.fileName.isEmpty())
        dialog.selectFile(spec.fileName);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty())
        return std::nullopt;
    return files.constFirst();
}

QString QtPlatform::clipboardText()
{
    return QGuiApplication::clipboard()->text();
}

void QtPlatform::setClipboardText(const QString& text)
{
    QGuiApplication::clipboard()->setText(text);
}

void QtPlatform::clearClipboard()
{
    QGuiApplication::clipboard()->clear();
}

bool QtPlatform::openUrl(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

QString QtPlatform::findProgram(const QString& name)
{
    return QStandardPaths::findExecutable(name);
}

bool QtPlatform::startProgram(const QString& program, const QStringList& arguments)
{
    return QProcess::startDetached(program, arguments);
}

int QtPlatform::displayBitsPerPixel()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return 0;
    // X11 reports the visual's depth; a depth-24 visual keeps every pixel in
    // 32 bits with 8 bits a channel, which is what the program needs.
    const int depth = screen->depth();
    return depth == 24 ? 32 : depth;
}

QString QtPlatform::documentsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

std::optional<QString> QtPlatform::environmentVariable(const QString& name)
{
    const QByteArray key = name.toLocal8Bit();
    if (!qEnvironmentVariableIsSet(key.constData()))
        return std::nullopt;
    return qEnvironmentVariable(key.constData());
}

void QtPlatform::processEvents()
{
    QCoreApplication::processEvents();
}

void QtPlatform::flushWindowSystem(QWidget* window)
{
    if (window && window->isVisible())
        window->repaint();
    QGuiApplication::sync();
}

void QtPlatform::setBusyCursor(bool busy)
{
    if (busy)
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    else
        QGuiApplication::restoreOverrideCursor();
}

}  // namespace platform
