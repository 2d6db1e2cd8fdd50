#include "prompts.h"

#include "platform/boxes.h"

#include <QPointer>
#include <QUrl>
#include <QWidget>

namespace shell {

namespace {

const QString kParagraphBreak = QStringLiteral("\r\n\r\n");

QString firstLine(Feature feature)
{
    switch (feature) {
    case Feature::EncryptText: return QStringLiteral("To Encrypt Text, you must upgrade to Lockharbour!");
    case Feature::DecryptText: return QStringLiteral("To Decrypt Text, you must upgrade to Lockharbour!");
    case Feature::HideFile: return QStringLiteral("To hide files in an image, you must upgrade to Lockharbour!");
    case Feature::Lockharbour: return QStringLiteral("To use Lockharbour, you must upgrade to Lockharbour!");
    case Feature::DezazuvoDavo: return QStringLiteral("To use the Dezazuvo Davo, you must upgrade to Lockharbour!");
    case Feature::HarbourExplorer:
        return QStringLiteral("To use the Lockharbour Explorer, you must upgrade to Lockharbour!");
    case Feature::DataForensics:
        return QStringLiteral("To use the Data Forensics features, you must upgrade to Lockharbour!");
    case Feature::ShredFile:
        return QStringLiteral("To Shred (Permanently Delete) a File, you must upgrade to Lockharbour!");
    case Feature::SelfDecrypting:
        return QStringLiteral("To create Self Decrypting Text Messages, you must upgrade to Lockharbour!");
    case Feature::GeneratePassword:
        return QStringLiteral("To generate Secure Passwords, you must upgrade to Lockharbour!");
    }
    return {};
}


// Hands `address` to the desktop; when the desktop cannot open it, at once
// or only after the command has returned, `failure` is shown and nothing
// else happens.
void openOrSay(platform::Platform& platform, QWidget* owner, const char* address, const platform::MessageBox& failure)
{
    const QPointer<QWidget> guardedOwner(owner);
    const auto say = [&platform, guardedOwner, failure] { platform.messageBox(failure, guardedOwner.data()); };
    if (!platform.openUrl(QUrl(QString::fromLatin1(address)), say))
        say();
}

void openOrSay(platform::Platform& platform, QWidget* owner, const char* address, const QString& failure)
{
    openOrSay(platform, owner, address, platform::Box(platform::alertTitle(), platform::Icon::Information).text(failure));
}

void openHomePage(platform::Platform& platform, QWidget* owner)
{
    openOrSay(platform, owner, kCompanionHomePage,
              QStringLiteral("Can't Load Internet Browser To Display Upgrade Information!"));
}

}  // namespace

QString upgradePromptText(Feature feature)
{
    return QStringList{
        firstLine(feature),
        QStringLiteral("Lockharbour is available from ") + QString::fromLatin1(kCompanionHost),
        QStringLiteral("A Dunmarrow Software Product"),
        QStringLiteral("Do you wish to visit ") + QString::fromLatin1(kCompanionDomain) + QStringLiteral(" now?"),
    }.join(kParagraphBreak);
}

void upgradePrompt(platform::Platform& platform, QWidget* owner, Feature feature)
{
    const platform::MessageBox prompt = platform::Box(platform::alertTitle(), platform::Icon::Information)
                                            .text(upgradePromptText(feature))
                                            .buttons(platform::Buttons::YesNo, platform::Answer::Yes);
    if (platform.messageBox(prompt, owner) != platform::Answer::Yes)
        return;
    openHomePage(platform, owner);
}

void onlineHelp(platform::Platform& platform, QWidget* owner)
{
    openOrSay(platform, owner, kOnlineHelpPage, QStringLiteral("Can't Load Internet Browser To Display Online Help!"));
}

void upgrade(platform::Platform& platform, QWidget* owner)
{
    openHomePage(platform, owner);
}

void launchEmailClient(platform::Platform& platform, QWidget* owner)
{
    // The link is fixed on purpose: the message text and the picture stay on
    // this machine unless the user copies them into the mail.
    openOrSay(platform, owner, kMailLink,
              platform::Box(QStringLiteral("General Error"), platform::Icon::Critical)
                  .text(QStringLiteral("Can't Load Your Email Client by This Lockharbour Button. Sorry!")));
}

}  // namespace shell
