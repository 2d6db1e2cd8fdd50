#pragma once

#include "platform/platform.h"

#include <QDialog>

class QLabel;

namespace shell {

// The About box `frmAbout`: title, version, description, disclaimer, OK and
// System Info.  Modal, owned by the main window.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    frmAbout(platform::Platform& platform, QWidget* owner);

    // Starts the desktop's system-information tool, or tells the user there is
    // none.  The box stays open either way.
    void StartSysInfo();

private:
    void Form_Load();
    void cmdOK_Click();
    void cmdSysInfo_Click();

    platform::Platform& m_platform;
    QLabel* m_lblTitle = nullptr;        // "Mirror Vane"
    QLabel* m_lblVersion = nullptr;      // "Version <major>.<minor>.<patch>"
    QLabel* m_lblDescription = nullptr;  // what the program does, the copyright and the two hosts
    QLabel* m_lblDisclaimer = nullptr;   // "Warning: hiding a text is not encryption. ..."
};

// mnuHelpAbout_Click: creates the box, shows it modally and returns when it is closed.
void showAbout(platform::Platform& platform, QWidget* owner);

}  // namespace shell
