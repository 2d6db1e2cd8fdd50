// Save Text: the exact bytes on disk, the round trip through Open Text, and
// failures that must leave the user's files as they were.
#include "textfixture.h"

#include <QFileDevice>

#include <unistd.h>

namespace {

using texttest::TextCommandsTest;

TEST_F(TextCommandsTest, EmptyTextOnlySaysSo)
{
    text::saveText(m_context);
    EXPECT_EQ(m_label4->text(), QStringLiteral("There is no text to save to a file."));
    EXPECT_TRUE(m_platform.dialogs.isEmpty());
    EXPECT_TRUE(m_platform.boxes.isEmpty());
}

TEST_F(TextCommandsTest, SaveDialogIsSetUpInTheCurrentFolder)
{
    QDir::setCurrent(m_dir.path());
    m_commonDialog1.existingOnly = true;  // as Open Image or Open Text leaves it
    m_label4->setText(QStringLiteral("earlier status"));
    text::setTextBoxText(m_text1, QStringLiteral("x"));
    text::saveText(m_context);  // cancelled
    ASSERT_EQ(m_platform.dialogs.size(), 1);
    const platform::FileDialog& shown = m_platform.dialogs.first();
    EXPECT_EQ(shown.mode, platform::FileDialogMode::Save);
    EXPECT_EQ(shown.title, QStringLiteral("Save Text File As"));
    EXPECT_EQ(shown.filter, QStringLiteral("Text Files (*.txt);;All Files (*)"));
    EXPECT_EQ(shown.fileName, QStringLiteral("Text File.txt"));
    EXPECT_EQ(shown.defaultSuffix, QStringLiteral("txt"));
    EXPECT_EQ(QFileInfo(shown.folder).canonicalFilePath(), QFileInfo(m_dir.path()).canonicalFilePath());
    EXPECT_TRUE(shown.overwritePrompt);
    EXPECT_FALSE(shown.existingOnly);
    EXPECT_TRUE(m_label4->text().isEmpty());
    EXPECT_TRUE(QDir(m_dir.path()).isEmpty());
}

TEST_F(TextCommandsTest, SaveOverALongerFileLeavesExactlyTheNewBytes)
{
    const QString path = writeFile(QStringLiteral("saved.txt"), QByteArray(1000, 'o'));
    saveAs(QStringLiteral("line one\nline \u20AC two"));
    EXPECT_EQ(readFile(path), QByteArray("line one\r\nline \x80 two"));
    EXPECT_TRUE(m_platform.boxes.isEmpty());
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("saved.txt")})
        << "no temporary file is left behind";
}

TEST_F(TextCommandsTest, EveryWindows1252CharacterSurvivesSaveAndOpen)
{
    // Lone CR and LF are line breaks, which are saved as CR LF, so they go in
    // as a pair.  NUL is kept out of the second place, where it would make
    // the file read as UTF-16.
    QByteArray bytes("a\r\n");
    for (int b = 0; b < 256; ++b) {
        if (b != '\r' && b != '\n')
            bytes.append(static_cast<char>(b));
    }
    const QString original = text::decodeTextFile(bytes);
    ASSERT_EQ(original.size(), bytes.size());

    const QString path = saveAs(original);
    EXPECT_EQ(readFile(path), bytes);
    text::clearText(m_context);
    m_platform.dialogAnswers.push_back(path);
    text::openText(m_context);
    EXPECT_EQ(boxText(), original);
}

TEST_F(TextCommandsTest, CharactersOutsideWindows1252AreRefusedAndNothingIsWritten)
{
    const QString path = writeFile(QStringLiteral("saved.txt"), "old");
    // Eleven distinct offenders, some repeated, one outside the BMP.
    text::setTextBoxText(m_text1, QStringLiteral("ok \u0100\u0101\u0100 \u0102\u0103\u0104\u0105\u0106\u0107\u0108")
                                      + QString::fromUcs4(U"\U0001F600") + QStringLiteral("\u0109 \u20AC"));
    m_platform.dialogAnswers.push_back(path);
    text::saveText(m_context);
    const platform::MessageBox& box = m_platform.lastBox();
    EXPECT_EQ(box.title, QStringLiteral("Mirrorvane Alert"));
    EXPECT_EQ(box.icon, platform::Icon::Warning);
    EXPECT_EQ(box.text, QStringLiteral("These characters cannot be saved in a text file: "
                                       "\u0100 \u0101 \u0102 \u0103 \u0104 \u0105 \u0106 \u0107 \u0108 ")
                            + QString::fromUcs4(U"\U0001F600"));
    EXPECT_EQ(readFile(path), QByteArray("old"));
}

void expectSaveFailure(const platform::MessageBox& box, const QString& path)
{
    EXPECT_EQ(box.title, QStringLiteral("Mirrorvane Alert"));
    EXPECT_EQ(box.icon, platform::Icon::Warning);
    const QStringList lines = box.text.split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 3) << box.text.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("The text file could not be saved:"));
    EXPECT_EQ(lines[1], QDir::toNativeSeparators(path));
    EXPECT_FALSE(lines[2].isEmpty());
}

TEST_F(TextCommandsTest, SaveBelowARegularFileFailsCleanly)
{
    const QString blocker = writeFile(QStringLiteral("plain"), "not a folder");
    const QString path = saveAs(QStringLiteral("new text"), QStringLiteral("plain/saved.txt"));
    expectSaveFailure(m_platform.lastBox(), path);
    EXPECT_EQ(readFile(blocker), QByteArray("not a folder"));
}

TEST_F(TextCommandsTest, SaveIntoAReadOnlyFolderKeepsTheOldFile)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root, where folder permissions do not stop a write";
    const QString old = writeFile(QStringLiteral("saved.txt"), "old");
    QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    saveAs(QStringLiteral("new text"));
    QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    expectSaveFailure(m_platform.lastBox(), old);
    EXPECT_EQ(readFile(old), QByteArray("old"));
}

}  // namespace
