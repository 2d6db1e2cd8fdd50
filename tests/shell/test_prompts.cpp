// Upgrade prompts and the links: what the user is shown, and what the browser
// gets; the About box: captions that fit, shown modally until OK, System Info.

#include "shell/aboutbox.h"
#include "shell/prompts.h"
#include "support/boxcheck.h"
#include "support/fakeplatform.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

using platform::Answer;
using platform::Buttons;
using platform::Icon;
using shell::Feature;
using testsupport::sameBoxes;

const char* const kHomePage = "https://www.lockharbour.example/";
const QString kAlert = QStringLiteral("Mirrorvane Alert");
const platform::MessageBox kNoBrowserForUpgrade{
    kAlert, QStringLiteral("Can't Load Internet Browser To Display Upgrade Information!"), Icon::Information,
    Buttons::Ok, Answer::Ok};

// One prompt checked whole; the others differ only in their first paragraph.
TEST(UpgradePrompt, NoOpensNothingAndYesOpensTheHomePageOrSaysTheBrowserFailed)
{
    const QString tail = QStringLiteral("\r\n\r\nLockharbour is available from www.lockharbour.example"
                                        "\r\n\r\nA Dunmarrow Software Product"
                                        "\r\n\r\nDo you wish to visit lockharbour.example now?");
    const platform::MessageBox prompt{
        kAlert, QStringLiteral("To Shred (Permanently Delete) a File, you must upgrade to Lockharbour!") + tail,
        Icon::Information, Buttons::YesNo, Answer::Yes};
    testsupport::FakePlatform fake;
    fake.answers = {Answer::No, Answer::Yes, Answer::Yes};
    shell::upgradePrompt(fake, nullptr, Feature::ShredFile);
    EXPECT_TRUE(fake.openedUrls.isEmpty());
    shell::upgradePrompt(fake, nullptr, Feature::ShredFile);
    fake.openUrlSucceeds = false;
    shell::upgradePrompt(fake, nullptr, Feature::ShredFile);
    EXPECT_TRUE(sameBoxes(fake.boxes, {prompt, prompt, prompt, kNoBrowserForUpgrade}));
    EXPECT_EQ(fake.openedUrls, QList<QUrl>(2, QUrl(QString::fromLatin1(kHomePage))));

    QSet<QString> texts;
    for (const Feature feature :
         {Feature::EncryptText, Feature::DecryptText, Feature::HideFile, Feature::Lockharbour, Feature::DezazuvoDavo,
          Feature::HarbourExplorer, Feature::DataForensics, Feature::ShredFile, Feature::SelfDecrypting,
          Feature::GeneratePassword})
        texts.insert(shell::upgradePromptText(feature));
    EXPECT_EQ(texts.size(), 10) << "every feature names itself";
}

// One attempt, no retry, and one box when the opener fails at once or late.
TEST(DirectLink, OpensExactlyItsTargetOnceAndShowsOneBoxWhenThatFailsEarlyOrLate)
{
    const std::pair<void (*)(platform::Platform&, QWidget*), const char*> rows[] = {
        {shell::onlineHelp, "https://www.lockharbour.example/page23.htm"},
        {shell::upgrade, kHomePage},
        {shell::launchEmailClient, "mailto:?subject=Picture&body="},  // no recipient, an empty body
    };
    enum class Opener { Succeeds, FailsAtOnce, FailsLate };
    for (const auto& [open, target] : rows) {
        for (const Opener opener : {Opener::Succeeds, Opener::FailsAtOnce, Opener::FailsLate}) {
            SCOPED_TRACE(std::string(target) + ", opener case " + std::to_string(static_cast<int>(opener)));
            testsupport::FakePlatform fake;
            fake.openUrlSucceeds = opener != Opener::FailsAtOnce;
            fake.openUrlFailsLate = opener == Opener::FailsLate;
            open(fake, nullptr);
            ASSERT_EQ(fake.openedUrls.size(), 1);
            EXPECT_EQ(fake.openedUrls[0].toEncoded(), QByteArray(target));
            EXPECT_EQ(fake.boxes.size(), opener == Opener::FailsAtOnce ? 1 : 0);
            fake.failLateOpeners();
            EXPECT_EQ(fake.boxes.size(), opener == Opener::Succeeds ? 0 : 1);
            if (opener != Opener::Succeeds && open == shell::launchEmailClient) {
                EXPECT_TRUE(sameBoxes(fake.boxes, {{QStringLiteral("General Error"),
                                                    "Can't Load Your Email Client by This Lockharbour Button. Sorry!",
                                                    Icon::Critical, Buttons::Ok, Answer::Ok}}));
            }
        }
    }
}

template <typename T = QWidget>
T* control(const QWidget& box, const char* name)
{
    T* widget = box.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

// Shown modally over its owner, with its icon, until OK closes it; the
// captions composed at load fit their labels in the box's font.
TEST(AboutBox, ShownModallyOverTheOwnerWithCaptionsThatFitUntilOkClosesIt)
{
    testsupport::FakePlatform fake;
    QWidget owner;
    QPixmap red(32, 32);
    red.fill(Qt::red);
    owner.setWindowIcon(QIcon(red));
    QWidget* shown = nullptr;
    QObject context;  // cancels the timer should showAbout return without waiting
    QTimer::singleShot(0, &context, [&] {
        shown = QApplication::activeModalWidget();
        ASSERT_NE(shown, nullptr) << "showAbout returned before showing a modal box";
        EXPECT_EQ(shown->parentWidget(), &owner);
        const QLabel* description = control<QLabel>(*shown, "lblDescription");
        const QStringList lines = description->text().split(QLatin1Char('\n'));
        const QFontMetrics bold(description->font());
        for (const QString& line : lines)
            EXPECT_LE(bold.horizontalAdvance(line), description->width()) << line.toStdString();
        EXPECT_LE(lines.size() * bold.lineSpacing(), description->height());
        const QLabel* disclaimer = control<QLabel>(*shown, "lblDisclaimer");
        EXPECT_LE(disclaimer->heightForWidth(disclaimer->width()), disclaimer->height());
        const QImage icon = control<QLabel>(*shown, "picIcon")->pixmap().toImage();
        EXPECT_EQ(icon.pixelColor(icon.width() / 2, icon.height() / 2), QColor(Qt::red));
        control<QPushButton>(*shown, "cmdOK")->click();
    });
    shell::showAbout(fake, &owner);
    EXPECT_NE(shown, nullptr);
    EXPECT_TRUE(fake.startedPrograms.isEmpty() && fake.boxes.isEmpty());
}

TEST(AboutBox, SystemInfoStartsTheFirstInstalledToolOrSaysThereIsNone)
{
    // `installed`: the candidates present on PATH; an empty `started`: nothing may start.
    const struct { const char* why; QStringList installed; bool startSucceeds; QString started; } rows[] = {
        {"the KDE tool is preferred when all are installed",
         {"kinfocenter", "hardinfo2", "hardinfo", "gnome-system-monitor"}, true, "kinfocenter"},
        {"the newer hardinfo before the old", {"hardinfo", "hardinfo2"}, true, "hardinfo2"},
        {"unrelated programs do not count", {"xterm", "msinfo32"}, true, {}},
        {"a tool that fails to start has no fallback", {"hardinfo", "gnome-system-monitor"}, false, "hardinfo"},
    };
    const platform::MessageBox unavailable{QStringLiteral("Mirror Vane"),
                                           QStringLiteral("System Information Is Unavailable At This Time"),
                                           Icon::None, Buttons::Ok, Answer::Ok};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        testsupport::FakePlatform fake;
        for (const QString& name : row.installed)
            fake.programsOnPath.insert(name, QStringLiteral("/usr/bin/") + name);
        fake.startSucceeds = row.startSucceeds;
        shell::frmAbout box(fake, nullptr);
        box.show();
        control<QPushButton>(box, "cmdSysInfo")->click();

        EXPECT_EQ(fake.startedPrograms, row.started.isEmpty() ? QList<QStringList>{}
                                                              : QList<QStringList>{{"/usr/bin/" + row.started}});
        const bool toolRuns = !row.started.isEmpty() && row.startSucceeds;
        EXPECT_TRUE(sameBoxes(fake.boxes, toolRuns ? QList<platform::MessageBox>{} : QList{unavailable}));
        EXPECT_TRUE(box.isVisible() && box.result() == 0) << "the About box stays open";
    }
}

}  // namespace
