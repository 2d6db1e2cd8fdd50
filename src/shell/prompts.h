#pragma once

// Upgrade prompts for the companion product's features, the web help, the
// upgrade page and the mail link.

#include "platform/platform.h"

#include <QString>

class QWidget;

namespace shell {

inline constexpr const char* kCompanionHost = "www.lockharbour.example";
inline constexpr const char* kCompanionDomain = "lockharbour.example";
inline constexpr const char* kCompanionHomePage = "https://www.lockharbour.example/";
inline constexpr const char* kOnlineHelpPage = "https://www.lockharbour.example/page23.htm";
inline constexpr const char* kMakerHost = "www.dunmarrow.example";
inline constexpr const char* kMailLink = "mailto:?subject=Picture&body=";

enum class Feature {
    EncryptText, DecryptText, HideFile, Lockharbour, DezazuvoDavo,
    HarbourExplorer, DataForensics, ShredFile, SelfDecrypting, GeneratePassword,
};

// The prompt's whole text for `feature`, paragraphs joined by CR LF CR LF.
QString upgradePromptText(Feature feature);

void upgradePrompt(platform::Platform& platform, QWidget* owner, Feature feature);
void onlineHelp(platform::Platform& platform, QWidget* owner);        // mnuHelpHelp_Click
void upgrade(platform::Platform& platform, QWidget* owner);           // mnuHelpUpgrade_Click
void launchEmailClient(platform::Platform& platform, QWidget* owner); // mnuToolsEmail_Click

}  // namespace shell
