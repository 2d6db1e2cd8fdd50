// Upgrade prompts and the links: what the user is shown, and what the browser gets.

#include "shell/prompts.h"
#include "support/boxcheck.h"
#include "support/fakeplatform.h"

#include <QSet>

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
    ASSERT_EQ(fake.openedUrls.size(), 2);
    EXPECT_EQ(fake.openedUrls[0].toEncoded(), QByteArray(kHomePage));

    QSet<QString> texts;
    for (const Feature feature :
         {Feature::EncryptText, Feature::DecryptText, Feature::HideFile, Feature::Lockharbour, Feature::DezazuvoDavo,
          Feature::HarbourExplorer, Feature::DataForensics, Feature::ShredFile, Feature::SelfDecrypting,
          Feature::GeneratePassword}) {
        const QString text = shell::upgradePromptText(feature);
        EXPECT_TRUE(text.endsWith(QStringLiteral(", you must upgrade to Lockharbour!") + tail)) << qPrintable(text);
        texts.insert(text);
    }
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

}  // namespace
