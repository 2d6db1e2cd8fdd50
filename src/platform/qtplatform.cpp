#include "qtplatform.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
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

// The normal pointer for as long as a box or dialog waits for the user; the
// hourglass of the command that raised it comes back afterwards.
class NormalPointer {
public:
    NormalPointer() : m_pushed(QGuiApplication::overrideCursor() != nullptr)
    {
        if (m_pushed)
            QGuiApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
    }
    ~NormalPointer()
    {
        if (m_pushed)
            QGuiApplication::restoreOverrideCursor();
    }
    NormalPointer(const NormalPointer&) = delete;
    NormalPointer& operator=(const NormalPointer&) = delete;

private:
    bool m_pushed;
};

// A box over a window that is not on screen would be placed against that
// window's unset position, in a corner; without a parent Qt centres it.
QWidget* shownOrNone(QWidget* owner)
{
    return owner && owner->isVisible() ? owner : nullptr;
}

// "bmp" for "Image (*.bmp)": the suffix of an entry's first pattern, when
// that is a plain "*.ext"; else empty.
QString entrySuffix(const QString& entry)
{
    static const QRegularExpression first(QStringLiteral(R"(\(\*\.([A-Za-z0-9]+)[\s)])"));
    return first.match(entry).captured(1);
}

}  // namespace

int storedBitsPerPixel(int depth)
{
    // Depths 24 and 30 keep 8 or 10 bits a channel in a 32-bit word.
    return depth > 16 && depth <= 32 ? 32 : depth;
}

QString caseInsensitiveFilter(const QString& filter)
{
    static const QRegularExpression extension(QStringLiteral(R"(\*\.([A-Za-z0-9]+)(?=[\s)]))"));
    QString result;
    qsizetype copied = 0;
    for (auto it = extension.globalMatch(filter); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        result += QStringView(filter).mid(copied, match.capturedStart(1) - copied);
        for (const QChar c : match.capturedView(1)) {
            if (c.isLetter())
                result += QLatin1Char('[') + c.toLower() + c.toUpper() + QLatin1Char(']');
            else
                result += c;
        }
        copied = match.capturedEnd(1);
    }
    result += QStringView(filter).mid(copied);
    return result;
}

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
    QMessageBox message(toQt(box.icon), box.title, text, buttons, shownOrNone(owner));
    message.setTextFormat(Qt::PlainText);
    message.setDefaultButton(toQt(box.defaultButton));
    message.setEscapeButton(toQt(escape));
    const NormalPointer pointer;
    switch (message.exec()) {
    case QMessageBox::Ok: return Answer::Ok;
    case QMessageBox::Cancel: return Answer::Cancel;
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    default: return escape;
    }
}

std::optional<QString> QtPlatform::fileDialog(FileDialog& spec, QWidget* owner)
{
    // Open dialogs list files whatever the case of their extension.  Save
    // dialogs keep the plain patterns: Qt puts the first pattern's suffix
    // on the typed name when the user picks a filter.
    const bool open = spec.mode == FileDialogMode::Open;
    QFileDialog dialog(shownOrNone(owner), spec.title, spec.folder,
                       open ? caseInsensitiveFilter(spec.filter) : spec.filter);
    dialog.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(open && spec.existingOnly ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    QFileDialog::Options options;
    if (open && spec.hideReadOnly)
        options |= QFileDialog::ReadOnly;  // Qt's dialogs show no read-only box; keep the files untouched
    if (!open && !spec.overwritePrompt)
        options |= QFileDialog::DontConfirmOverwrite;
    if (open)
        options |= QFileDialog::HideNameFilterDetails;  // the bracketed patterns read badly
    dialog.setOptions(options);
    // The entries as the caller wrote them, in the dialog's order.
    const QStringList entries = spec.filter.split(QStringLiteral(";;"));
    if (!spec.defaultSuffix.isEmpty())
        dialog.setDefaultSuffix(spec.defaultSuffix);
    if (const qsizetype shown = entries.indexOf(spec.selectedFilter); shown > 0)
        dialog.selectNameFilter(dialog.nameFilters().value(shown));
    // A typed name takes the suffix of the type chosen for it.
    const auto followEntry = [&dialog, &spec, &entries](const QString& chosen) {
        const QString suffix = entrySuffix(entries.value(dialog.nameFilters().indexOf(chosen)));
        dialog.setDefaultSuffix(suffix.isEmpty() ? spec.defaultSuffix : suffix);
    };
    if (!open) {
        followEntry(dialog.selectedNameFilter());
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, followEntry);
    }
    if (!spec.fileName.isEmpty())
        dialog.selectFile(spec.fileName);
    const NormalPointer pointer;
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty())
        return std::nullopt;
    spec.selectedFilter = entries.value(dialog.nameFilters().indexOf(dialog.selectedNameFilter()), spec.selectedFilter);
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

bool QtPlatform::openUrl(const QUrl& url, std::function<void()> onLateFailure)
{
    // QDesktopServices reports success as soon as xdg-open has started, so
    // a desktop without a browser or mail program would fail unseen.  Run
    // the opener ourselves and take its exit status.
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty())
        return QDesktopServices::openUrl(url);

    auto* process = new QProcess(QCoreApplication::instance());
    process->setProgram(opener);
    process->setArguments({url.toString(QUrl::FullyEncoded)});
    process->setStandardInputFile(QProcess::nullDevice());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (url.isLocalFile())
        environment.insert(QLatin1String(kHandedOverVariable), url.toLocalFile());
    else
        environment.remove(QLatin1String(kHandedOverVariable));
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->start();
    if (!process->waitForStarted()) {
        delete process;
        return false;
    }
    const auto succeeded = [process] {
        return process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
    };
    if (process->waitForFinished(openerWaitMs)) {
        const bool ok = succeeded();
        delete process;
        return ok;
    }
    // A browser started by the generic opener can keep it running for as
    // long as the browser runs; its verdict is taken whenever it comes.
    QObject::connect(process, &QProcess::finished, process,
                     [process, succeeded, onLateFailure = std::move(onLateFailure)] {
                         process->deleteLater();
                         if (!succeeded() && onLateFailure)
                             onLateFailure();
                     });
    return true;
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
    return storedBitsPerPixel(screen->depth());
}

QString QtPlatform::documentsFolder()
{
    // Without a documents folder the desktop still answers with a path,
    // which would open the dialog in its parent with the name typed in.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
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
