#pragma once

// `Text1`, `Label4` and one other focusable control in a window wired to a
// FakePlatform, with a temporary folder for real files.  The current folder
// is put back after each test, since completed file dialogs move it.

#include "support/boxcheck.h"
#include "support/fakeplatform.h"
#include "support/files.h"
#include "text/textbox.h"
#include "text/textcommands.h"
#include "text/textfile.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <unistd.h>

#include <functional>

namespace texttest {

// Runs `body`, ending the test program (the alarm's default action) if it
// outlasts `seconds`: a layout gone quadratic or an open that waits on a
// FIFO would otherwise hold the suite for minutes.
inline void runWithin(unsigned seconds, const std::function<void()>& body)
{
    ::alarm(seconds);
    body();
    ::alarm(0);
}

class TextCommandsTest : public ::testing::Test {
protected:
    void SetUp() override { m_elsewhere->setFocus(); }
    void TearDown() override { QDir::setCurrent(m_startFolder); }

    QString pathOf(const QString& name) const { return m_dir.filePath(name); }
    QString writeFile(const QString& name, const QByteArray& bytes) const { return testsupport::written(pathOf(name), bytes); }
    static QByteArray readFile(const QString& path) { return testsupport::contentsOf(path); }
    QString boxText() const { return text::textBoxText(m_text1); }
    bool text1HasFocus() const { return m_window.focusWidget() == m_text1; }

    testsupport::FakePlatform m_platform;
    QWidget m_window;
    QLineEdit* m_elsewhere = new QLineEdit(&m_window);
    QPlainTextEdit* m_text1 = new text::TextBox(&m_window);
    QLabel* m_label4 = new QLabel(&m_window);
    platform::FileDialog m_commonDialog1;
    text::TextCommandContext m_context{m_platform, &m_window, m_text1, m_label4, m_commonDialog1};
    QTemporaryDir m_dir;
    QString m_startFolder = QDir::currentPath();
};

}  // namespace texttest
