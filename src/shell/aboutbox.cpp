#include "aboutbox.h"

namespace shell {
// Placeholder until the About box lands.
frmAbout::frmAbout(platform::Platform& platform, QWidget* owner) : QDialog(owner), m_platform(platform)
{
    setObjectName(QStringLiteral("frmAbout"));
}
void frmAbout::StartSysInfo() {}
void showAbout(platform::Platform&, QWidget*) {}
}  // namespace shell
