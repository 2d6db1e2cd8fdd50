// Upgrade prompts, Online Help, Upgrade and the mail link, walked through the
// fake desktop: what the user is shown, and what gets handed to the browser.

#include "shell/prompts.h"
#include "support/boxcheck.h"
#include "support/fakeplatform.h"

#include <gtest/gtest.h>

#include <functional>

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

TEST(UpgradePrompt, EveryEntryAsksWithItsOwnLineAndYesOpensTheHomePage)
{
    const std::pair<Feature, const char*> entries[] = {
        {Feature::EncryptText, "To Encrypt Text, you must upgrade to Lockharbour!"},
        {Feature::DecryptText, "To Decrypt Text, you must upgrade to Lockharbour!"},
        {Feature::HideFile, "To hide files in an image, you must upgrade to Lockharbour!"},
        {Feature::Lockharbour, "To use Lockharbour, you must upgrade to Lockharbour!"},
        {Feature::DezazuvoDavo, "To use the Dezazuvo Davo, you must upgrade to Lockharbour!"},
        {Feature::HarbourExplorer, "To use the Lockharbour Explorer, you must upgrade to Lockharbour!"},
        {Feature::DataForensics, "To use the Data Forensics features, you must upgrade to Lockharbour!"},
        {Feature::ShredFile, "To Shred (Permanently Delete) a File, you must upgrade to Lockharbour!"},
        {Feature::SelfDecrypting, "To create Self Decrypting Text Messages, you must upgrade to Lockharbour!"},
        {Feature::GeneratePassword, "To generate Secure Passwords, you must upgrade to Lockharbour!"},
    };
    for (const auto& [feature, firstLine] : entries) {
        SCOPED_TRACE(firstLine);
        const QString text = QString::fromLatin1(firstLine)
                             + QStringLiteral("\r\n\r\nLockharbour is available from www.lockharbour.example"
                                              "\r\n\r\nA Dunmarrow Software Product"
                                              "\r\n\r\nDo you wish to visit lockharbour.example now?");
        EXPECT_EQ(shell::upgradePromptText(feature), text);
        const platform::MessageBox prompt{kAlert, text, Icon::Information, Buttons::YesNo, Answer::Yes};
        testsupport::FakePlatform fake;
        fake.answers = {Answer::No, Answer::Yes, Answer::Yes};

        shell::upgradePrompt(fake, nullptr, feature);
        EXPECT_TRUE(fake.openedUrls.isEmpty()) << "No opens nothing";
        shell::upgradePrompt(fake, nullptr, feature);
        fake.openUrlSucceeds = false;
        shell::upgradePrompt(fake, nullptr, feature);

        EXPECT_TRUE(sameBoxes(fake.boxes, {prompt, prompt, prompt, kNoBrowserForUpgrade}));
        ASSERT_EQ(fake.openedUrls.size(), 2);
        EXPECT_EQ(fake.openedUrls[0].toEncoded(), QByteArray(kHomePage));
    }
}

// The entries that open a target without asking first.
struct DirectRow {
    const char* name;
    std::function<void(platform::Platform&)> run;
    const char* target;
    platform::MessageBox failure;
};

class DirectLink : public ::testing::TestWithParam<DirectRow> {};

TEST_P(DirectLink, OpensExactlyItsTargetOnceAndShowsItsOwnBoxWhenThatFails)
{
    for (const bool starts : {true, false}) {
        SCOPED_TRACE(starts ? "opener starts" : "opener fails");
        testsupport::FakePlatform fake;
        fake.openUrlSucceeds = starts;
        GetParam().run(fake);

        ASSERT_EQ(fake.openedUrls.size(), 1) << "one attempt, no retry";
        // Compared in the encoded form the desktop receives, so a link that Qt
        // would rewrite (an escaped '?' or '&', say) shows up here.
        EXPECT_EQ(fake.openedUrls[0].toEncoded(), QByteArray(GetParam().target));
        EXPECT_TRUE(sameBoxes(fake.boxes, starts ? QList<platform::MessageBox>{}
                                                 : QList<platform::MessageBox>{GetParam().failure}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    HelpAndMail, DirectLink,
    ::testing::Values(
        DirectRow{"OnlineHelp", [](platform::Platform& p) { shell::onlineHelp(p, nullptr); },
                  "https://www.lockharbour.example/page23.htm",
                  {kAlert, QStringLiteral("Can't Load Internet Browser To Display Online Help!"), Icon::Information,
                   Buttons::Ok, Answer::Ok}},
        DirectRow{"UpgradeOpensTheHomePage", [](platform::Platform& p) { shell::upgrade(p, nullptr); }, kHomePage,
                  kNoBrowserForUpgrade},
        DirectRow{"MailLinkHasNoRecipientAndAnEmptyBody",
                  [](platform::Platform& p) { shell::launchEmailClient(p, nullptr); }, "mailto:?subject=Picture&body=",
                  {QStringLiteral("General Error"),
                   QStringLiteral("Can't Load Your Email Client by This Lockharbour Button. Sorry!"), Icon::Critical,
                   Buttons::Ok, Answer::Ok}}),
    [](const ::testing::TestParamInfo<DirectRow>& row) { return std::string(row.param.name); });

}  // namespace
