// The real desktop seam: what the fake would hide of Qt and the system.

#include "platform/qtplatform.h"
#include "shell/prompts.h"
#include "support/fakeplatform.h"
#include "support/files.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QCursor>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <optional>

#include <gtest/gtest.h>

namespace {

// Sets `name` to `value` until the returned guard goes, then puts back what was there.
[[nodiscard]] auto scopedEnv(const char* name, const QByteArray& value)
{
    const std::optional<QByteArray> old = qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
    qputenv(name, value);
    return qScopeGuard([name, old] { old ? void(qputenv(name, *old)) : void(qunsetenv(name)); });
}

// The fake's boxes with the real opener.
class RealOpener : public testsupport::FakePlatform {
public:
    platform::QtPlatform desktop;
    bool openUrl(const QUrl& url, std::function<void()> onLateFailure) override
    {
        openedUrls.append(url);
        return desktop.openUrl(url, std::move(onLateFailure));
    }
};

// A stand-in xdg-open early on PATH that logs its arguments, waits `delay`
// and exits with `status`.
class StandInOpener : public ::testing::Test {
protected:
    QTemporaryDir m_dir;
    const decltype(scopedEnv("", "")) m_path = scopedEnv("PATH", QFile::encodeName(m_dir.path()) + ':' + qgetenv("PATH"));

    void install(int status, const char* delay = "0")
    {
        const QString script = testsupport::written(m_dir.filePath(QStringLiteral("xdg-open")),
            QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" >> '%1'\n"
                           "printf '%s\\n' \"${MIRRORVANE_HANDED_OVER-unset}\" >> '%1.env'\nsleep %2\nexit %3\n")
                .arg(log(), QLatin1String(delay)).arg(status).toUtf8());
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QString log() const { return m_dir.filePath(QStringLiteral("opened.log")); }
    QStringList logged() const { return QString::fromUtf8(testsupport::contentsOf(log())).split('\n', Qt::SkipEmptyParts); }
};

TEST_F(StandInOpener, ExitStatusDecidesWhetherTheFailureBoxShows)
{
    const struct { const char* why; void (*command)(platform::Platform&, QWidget*); const char* target; int status; int boxes; } rows[] = {
        {"Upgrade opened", shell::upgrade, "https://www.lockharbour.example/", 0, 0},
        {"no browser set up (3)", shell::upgrade, "https://www.lockharbour.example/", 3, 1},
        {"no handler (4)", shell::onlineHelp, "https://www.lockharbour.example/page23.htm", 4, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        QFile::remove(log());
        install(row.status);
        RealOpener platform;
        row.command(platform, nullptr);
        EXPECT_EQ(platform.boxes.size(), row.boxes);
        EXPECT_EQ(logged(), QStringList{QString::fromLatin1(row.target)});
    }
}

// What the opener starts for a file learns that Mirrorvane handed it over;
// a web address carries no such note, not even one Mirrorvane inherited.
TEST_F(StandInOpener, TheOpenerIsToldWhichFileWasHandedOver)
{
    install(0);
    const auto inherited = scopedEnv(platform::kHandedOverVariable, "/from/an/earlier/hand-over.txt");
    platform::QtPlatform desktop;
    const QString file = m_dir.filePath(QStringLiteral("long letter.txt"));
    EXPECT_TRUE(desktop.openUrl(QUrl::fromLocalFile(file)));
    EXPECT_TRUE(desktop.openUrl(QUrl(QStringLiteral("https://www.lockharbour.example/"))));
    EXPECT_EQ(QString::fromUtf8(testsupport::contentsOf(log() + QStringLiteral(".env"))), file + QStringLiteral("\nunset\n"));
}

TEST_F(StandInOpener, AVerdictThatComesLateStillShowsTheBox)
{
    install(3, "0.3");
    RealOpener platform;
    platform.desktop.openerWaitMs = 20;
    shell::launchEmailClient(platform, nullptr);
    EXPECT_TRUE(platform.boxes.isEmpty()) << "the window went on while the opener ran";
    const QDeadlineTimer deadline(10000);
    while (platform.boxes.isEmpty() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    ASSERT_EQ(platform.boxes.size(), 1);
    EXPECT_EQ(platform.boxes[0].title, QStringLiteral("General Error"));
}

// Runs `check` on the modal box or dialog once it shows, then closes it.
void whileModalShows(const std::function<void(QWidget*)>& check)
{
    QTimer::singleShot(0, [check] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        check(modal);
        modal->close();
    });
}

TEST(DesktopBoxes, ShowTheNormalPointerAndCentreWithoutAShownOwner)
{
    platform::QtPlatform desktop;
    QWidget hiddenOwner;
    hiddenOwner.setGeometry(0, 0, 50, 50);
    desktop.setBusyCursor(true);

    Qt::CursorShape overBox = Qt::WaitCursor;
    QPoint offCentre;
    whileModalShows([&](QWidget* box) {
        overBox = QGuiApplication::overrideCursor()->shape();
        offCentre = box->frameGeometry().center() - box->screen()->availableGeometry().center();
    });
    desktop.messageBox({"t", "refused", platform::Icon::Information, platform::Buttons::Ok, platform::Answer::Ok},
                       &hiddenOwner);
    EXPECT_EQ(overBox, Qt::ArrowCursor);
    // Qt guesses the title bar without a window manager; over the owner it would be far off.
    EXPECT_LE(offCentre.manhattanLength(), 64);

    whileModalShows([&](QWidget*) { overBox = QGuiApplication::overrideCursor()->shape(); });
    platform::FileDialog unset;
    desktop.fileDialog(unset, nullptr);
    EXPECT_EQ(overBox, Qt::ArrowCursor);

    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor) << "the hourglass comes back for the work";
    desktop.setBusyCursor(false);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(DesktopFolders, ADocumentsFolderThatDoesNotExistCountsAsNone)
{
    QTemporaryDir home;
    const auto homeEnv = scopedEnv("HOME", QFile::encodeName(home.path()));
    const auto configEnv = scopedEnv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
    platform::QtPlatform desktop;
    EXPECT_EQ(desktop.documentsFolder(), QString());
    ASSERT_TRUE(QDir(home.path()).mkdir(QStringLiteral("Documents")));
    EXPECT_EQ(desktop.documentsFolder(), home.filePath(QStringLiteral("Documents")));
}

TEST(DesktopFilters, ExtensionsMatchInAnyLetterCase)
{
    const QString filter = platform::caseInsensitiveFilter(QStringLiteral("Images (*.bmp *.jpg *.jpeg *.gif *.png *.webp)"));
    // The dialog matches each pattern as a wildcard, case-sensitively on Linux.
    const QStringList patterns = filter.section('(', 1).chopped(1).split(' ', Qt::SkipEmptyParts);
    const auto matches = [&patterns](const char* name) {
        return std::any_of(patterns.begin(), patterns.end(), [name](const QString& pattern) {
            return QRegularExpression::fromWildcard(pattern, Qt::CaseSensitive).match(QLatin1String(name)).hasMatch();
        });
    };
    for (const char* name : {"holiday.png", "HOLIDAY.PNG", "scan.Jpeg", "a.GIF", "b.bmp", "wall.WebP"})
        EXPECT_TRUE(matches(name)) << name;
    for (const char* name : {"notes.txt", "x.pngx", "png"})
        EXPECT_FALSE(matches(name)) << name;
}

// Picking the first filter again makes Qt put its suffix on the proposed
// name, which must stay ".bmp"; a name typed without an extension takes the
// chosen type's suffix, and the command learns which type that was.
TEST(DesktopFilters, SaveKeepsTheProposedNameAndAddsTheChosenTypesSuffix)
{
    QTemporaryDir dir;
    platform::FileDialog save;
    save.mode = platform::FileDialogMode::Save;
    save.filter = QStringLiteral("Image (*.bmp);;PNG (*.png)");
    save.folder = dir.path();
    save.fileName = QStringLiteral("holiday.bmp");
    save.defaultSuffix = QStringLiteral("bmp");
    QString proposed;
    whileModalShows([&](QWidget* dialog) {
        auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_TRUE(types && name);
        emit types->activated(0);
        proposed = name->text();
        // What a click on the second entry sends.
        types->setCurrentIndex(1);
        emit types->activated(1);
        emit types->textActivated(types->itemText(1));
        name->setText(QStringLiteral("typed"));
        static_cast<QDialog*>(dialog)->accept();
    });
    const std::optional<QString> chosen = platform::QtPlatform().fileDialog(save, nullptr);
    EXPECT_EQ(proposed, QStringLiteral("holiday.bmp"));
    EXPECT_EQ(chosen, dir.filePath(QStringLiteral("typed.png")));
    EXPECT_EQ(save.selectedFilter, QStringLiteral("PNG (*.png)"));
}

TEST(DesktopDepth, EveryDepthStoredIn32BitsCountsAs32)
{
    const std::pair<int, int> rows[] = {{16, 16}, {24, 32}, {30, 32}, {32, 32}, {15, 15}};
    for (const auto& [depth, stored] : rows)
        EXPECT_EQ(platform::storedBitsPerPixel(depth), stored) << depth;
}

}  // namespace
