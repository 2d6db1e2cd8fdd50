#include "prompts.h"

namespace shell {
// Placeholder until the prompts land.
QString upgradePromptText(Feature) { return {}; }
void upgradePrompt(platform::Platform&, QWidget*, Feature) {}
void onlineHelp(platform::Platform&, QWidget*) {}
void upgrade(platform::Platform&, QWidget*) {}
void launchEmailClient(platform::Platform&, QWidget*) {}
}  // namespace shell
