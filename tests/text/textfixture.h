#pragma once

// A window with `Text1`, `Label4` and one other focusable control, wired to a
// FakePlatform, plus a temporary folder for real files.  The process's
// current folder is put back after every test, since the file dialogs move it.

#include "support/fakeplatform.h"
#include "text/textbox.h"
#include "text/textcommands.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

namespace texttest {

class TextCommandsTest : public ::testing::Test {
protected:
    TextCommandsTest()
    {
        auto* layout = new QVBoxLayout(&m_window);
        m_text1->setObjectName(QStringLiteral("Text1"));
        m_label4->setObjectName(QStringLiteral("Label4"));
        layout->addWidget(m_elsewhere);
        layout->addWidget(m_text1);
        layout->addWidget(m_label4);
    }

    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_startFolder = QDir::currentPath();
        m_elsewhere->setFocus();
    }

    void TearDown() override { QDir::setCurrent(m_startFolder); }

    QString pathOf(const QString& name) const { return m_dir.filePath(name); }

    QString writeFile(const QString& name, const QByteArray& bytes) const
    {
        const QString path = pathOf(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    static QByteArray readFile(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }

    QString boxText() const { return text::textBoxText(m_text1); }
    bool text1HasFocus() const { return m_window.focusWidget() == m_text1; }

    // Open Text on a file of these bytes, chosen in the dialog.
    void openBytes(const QByteArray& bytes, const QString& name = QStringLiteral("message.txt"))
    {
        m_platform.dialogAnswers.push_back(writeFile(name, bytes));
        text::openText(m_context);
    }

    // Save Text of `text` into `name`; returns the path.
    QString saveAs(const QString& text, const QString& name = QStringLiteral("saved.txt"))
    {
        text::setTextBoxText(m_text1, text);
        const QString path = pathOf(name);
        m_platform.dialogAnswers.push_back(path);
        text::saveText(m_context);
        return path;
    }

    testsupport::FakePlatform m_platform;
    QWidget m_window;
    QLineEdit* m_elsewhere = new QLineEdit(&m_window);
    QPlainTextEdit* m_text1 = new QPlainTextEdit(&m_window);
    QLabel* m_label4 = new QLabel(&m_window);
    platform::FileDialog m_commonDialog1;
    text::TextCommandContext m_context{m_platform, &m_window, m_text1, m_label4, m_commonDialog1};
    QTemporaryDir m_dir;
    QString m_startFolder;
};

}  // namespace texttest
