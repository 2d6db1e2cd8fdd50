// Upgrade prompts, Online Help, Upgrade and the mail link, walked through the
// fake desktop: what the user is shown, and what gets handed to the browser.

#include "shell/prompts.h"
#include "support/fakeplatform.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using platform::Answer;
using platform::Buttons;
using platform::Icon;
using shell::Feature;

const char* const kHomePage = "https://www.lockharbour.example/";

struct PromptRow {
    const char* name;
    Feature feature;
    const char* firstLine;
};

class UpgradePrompt : public ::testing::TestWithParam<PromptRow> {
protected:
    testsupport::FakePlatform fake;
};

TEST_P(UpgradePrompt, ShowsTheEntrysLineThenTheThreeFixedParagraphs)
{
    fake.answers.push_back(Answer::No);
    shell::upgradePrompt(fake, nullptr, GetParam().feature);

    ASSERT_EQ(fake.boxes.size(), 1);
    const platform::MessageBox& box = fake.boxes.constFirst();
    EXPECT_EQ(box.title, QStringLiteral("Mirrorvane Alert"));
    EXPECT_EQ(box.icon, Icon::Information);
    EXPECT_EQ(box.buttons, Buttons::YesNo);
    EXPECT_EQ(box.defaultButton, Answer::Yes);
    EXPECT_EQ(box.text, QString::fromLatin1(GetParam().firstLine)
                            + QStringLiteral("\r\n\r\nLockharbour is available from www.lockharbour.example"
                                             "\r\n\r\nA Dunmarrow Software Product"
                                             "\r\n\r\nDo you wish to visit lockharbour.example now?"));
    EXPECT_EQ(shell::upgradePromptText(GetParam().feature), box.text);
    EXPECT_TRUE(fake.openedUrls.isEmpty()) << "No must open nothing";
}

TEST_P(UpgradePrompt, YesOpensTheHomePage)
{
    fake.answers.push_back(Answer::Yes);
    shell::upgradePrompt(fake, nullptr, GetParam().feature);

    ASSERT_EQ(fake.openedUrls.size(), 1);
    EXPECT_EQ(fake.openedUrls.constFirst().toString(), QString::fromLatin1(kHomePage));
    EXPECT_EQ(fake.boxes.size(), 1) << "a browser that starts needs no further box";
}

TEST_P(UpgradePrompt, YesWithoutABrowserReportsItOnce)
{
    fake.openUrlSucceeds = false;
    fake.answers.push_back(Answer::Yes);
    shell::upgradePrompt(fake, nullptr, GetParam().feature);

    ASSERT_EQ(fake.boxes.size(), 2);
    const platform::MessageBox& failure = fake.boxes.at(1);
    EXPECT_EQ(failure.title, QStringLiteral("Mirrorvane Alert"));
    EXPECT_EQ(failure.icon, Icon::Information);
    EXPECT_EQ(failure.buttons, Buttons::Ok);
    EXPECT_EQ(failure.text, QStringLiteral("Can't Load Internet Browser To Display Upgrade Information!"));
}

INSTANTIATE_TEST_SUITE_P(
    EveryEntry, UpgradePrompt,
    ::testing::Values(
        PromptRow{"EncryptText", Feature::EncryptText, "To Encrypt Text, you must upgrade to Lockharbour!"},
        PromptRow{"DecryptText", Feature::DecryptText, "To Decrypt Text, you must upgrade to Lockharbour!"},
        PromptRow{"HideFile", Feature::HideFile, "To hide files in an image, you must upgrade to Lockharbour!"},
        PromptRow{"Lockharbour", Feature::Lockharbour, "To use Lockharbour, you must upgrade to Lockharbour!"},
        PromptRow{"DezazuvoDavo", Feature::DezazuvoDavo,
                  "To use the Dezazuvo Davo, you must upgrade to Lockharbour!"},
        PromptRow{"HarbourExplorerNamesTheLockharbourExplorer", Feature::HarbourExplorer,
                  "To use the Lockharbour Explorer, you must upgrade to Lockharbour!"},
        PromptRow{"DataForensics", Feature::DataForensics,
                  "To use the Data Forensics features, you must upgrade to Lockharbour!"},
        PromptRow{"ShredFile", Feature::ShredFile,
                  "To Shred (Permanently Delete) a File, you must upgrade to Lockharbour!"},
        PromptRow{"SelfDecrypting", Feature::SelfDecrypting,
                  "To create Self Decrypting Text Messages, you must upgrade to Lockharbour!"},
        PromptRow{"GeneratePassword", Feature::GeneratePassword,
                  "To generate Secure Passwords, you must upgrade to Lockharbour!"}),
    [](const ::testing::TestParamInfo<PromptRow>& row) { return std::string(row.param.name); });

// The entries that open a target without asking first.
struct DirectRow {
    const char* name;
    std::function<void(platform::Platform&)> run;
    const char* target;
    const char* failureTitle;
    Icon failureIcon;
    const char* failureText;
};

class DirectLink : public ::testing::TestWithParam<DirectRow> {
protected:
    testsupport::FakePlatform fake;
};

TEST_P(DirectLink, OpensExactlyItsTargetWithoutAsking)
{
    GetParam().run(fake);

    EXPECT_TRUE(fake.boxes.isEmpty());
    ASSERT_EQ(fake.openedUrls.size(), 1);
    // Compared in the encoded form the desktop receives, so a link that Qt
    // would rewrite (an escaped '?' or '&', say) shows up here.
    EXPECT_EQ(fake.openedUrls.constFirst().toEncoded(), QByteArray(GetParam().target));
}

TEST_P(DirectLink, ReportsAFailedStartWithItsOwnBox)
{
    fake.openUrlSucceeds = false;
    GetParam().run(fake);

    EXPECT_EQ(fake.openedUrls.size(), 1) << "one attempt, no retry";
    ASSERT_EQ(fake.boxes.size(), 1);
    const platform::MessageBox& box = fake.boxes.constFirst();
    EXPECT_EQ(box.title, QString::fromLatin1(GetParam().failureTitle));
    EXPECT_EQ(box.icon, GetParam().failureIcon);
    EXPECT_EQ(box.buttons, Buttons::Ok);
    EXPECT_EQ(box.defaultButton, Answer::Ok);
    EXPECT_EQ(box.text, QString::fromLatin1(GetParam().failureText));
}

INSTANTIATE_TEST_SUITE_P(
    HelpAndMail, DirectLink,
    ::testing::Values(
        DirectRow{"OnlineHelp", [](platform::Platform& p) { shell::onlineHelp(p, nullptr); },
                  "https://www.lockharbour.example/page23.htm", "Mirrorvane Alert", Icon::Information,
                  "Can't Load Internet Browser To Display Online Help!"},
        DirectRow{"UpgradeOpensTheHomePage", [](platform::Platform& p) { shell::upgrade(p, nullptr); }, kHomePage,
                  "Mirrorvane Alert", Icon::Information,
                  "Can't Load Internet Browser To Display Upgrade Information!"},
        DirectRow{"MailLinkHasNoRecipientAndAnEmptyBody",
                  [](platform::Platform& p) { shell::launchEmailClient(p, nullptr); },
                  "mailto:?subject=Picture&body=", "General Error", Icon::Critical,
                  "Can't Load Your Email Client by This Lockharbour Button. Sorry!"}),
    [](const ::testing::TestParamInfo<DirectRow>& row) { return std::string(row.param.name); });

}  // namespace
