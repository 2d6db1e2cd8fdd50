// Open Text: which files are read into the box, how their bytes are decoded,
// and that nothing the user typed is lost when a file cannot be read.
#include "textfixture.h"

#include <QFileInfo>

#include <cctype>

namespace {

using texttest::TextCommandsTest;

const QString kLargeFileSentence = QStringLiteral("A Large Text File Opened - Re-Directed To Default Text Application!");

QString canonical(const QString& path)
{
    return QFileInfo(path).canonicalFilePath();
}

struct DecodeCase {
    const char* why;
    QByteArray bytes;
    QString expected;  // as textBoxText returns it
};

class OpenTextDecodes : public TextCommandsTest, public ::testing::WithParamInterface<DecodeCase> {};

TEST_P(OpenTextDecodes, ReplacesTheTextAndFocusesTheBox)
{
    text::setTextBoxText(m_text1, QStringLiteral("typed before"));
    openBytes(GetParam().bytes);
    EXPECT_EQ(boxText(), GetParam().expected);
    EXPECT_TRUE(text1HasFocus());
    EXPECT_TRUE(m_platform.boxes.isEmpty());
    EXPECT_TRUE(m_platform.openedUrls.isEmpty());
}

QString c1Row()
{
    // 0x80-0x9F as Windows-1252, the five undefined bytes as the C1 controls.
    return QStringLiteral("\u20AC\u0081\u201A\u0192\u201E\u2026\u2020\u2021\u02C6\u2030\u0160\u2039\u0152\u008D"
                          "\u017D\u008F\u0090\u2018\u2019\u201C\u201D\u2022\u2013\u2014\u02DC\u2122\u0161\u203A"
                          "\u0153\u009D\u017E\u0178");
}

QByteArray byteRange(int from, int to)
{
    QByteArray bytes;
    for (int b = from; b <= to; ++b)
        bytes.append(static_cast<char>(b));
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Files, OpenTextDecodes,
    ::testing::Values(
        DecodeCase{"empty file gives an empty box", QByteArray(), QString()},
        DecodeCase{"one byte is one Windows-1252 character", QByteArray("\x80", 1), QStringLiteral("\u20AC")},
        DecodeCase{"bytes 0x80 to 0x9F", byteRange(0x80, 0x9F), c1Row()},
        DecodeCase{"no-break space and the upper half survive", byteRange(0xA0, 0xFF),
                   QString::fromLatin1(byteRange(0xA0, 0xFF))},
        DecodeCase{"UTF-16 LE without byte-order mark", QByteArray("H\0i\0\xAC\x20", 6), QStringLiteral("Hi\u20AC")},
        DecodeCase{"UTF-16 LE byte-order mark makes the second byte non-zero: Windows-1252",
                   QByteArray("\xFF\xFEH\0", 4), QStringLiteral("\u00FF\u00FEH") + QChar(0)},
        DecodeCase{"ANSI file whose second byte is zero reads as UTF-16, odd byte dropped",
                   QByteArray("A\0B", 3), QStringLiteral("A")},
        DecodeCase{"every kind of line break shows as one", QByteArray("a\r\nb\rc\nd"),
                   QStringLiteral("a\r\nb\r\nc\r\nd")},
        DecodeCase{"exactly the largest file read", QByteArray(text::kMaxTextFileBytes, 'x'),
                   QString(text::kMaxTextFileBytes, u'x')}),
    [](const auto& row) {
        std::string name;
        for (const char c : std::string(row.param.why))
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

TEST_F(TextCommandsTest, OpenDialogIsSetUpInTheCurrentFolderAndMovesIt)
{
    QDir::setCurrent(m_dir.path());
    m_commonDialog1.fileName = QStringLiteral("left by Open Image.bmp");
    m_commonDialog1.overwritePrompt = true;
    QDir(m_dir.path()).mkdir(QStringLiteral("sub"));
    openBytes("abc", QStringLiteral("sub/message.txt"));

    ASSERT_EQ(m_platform.dialogs.size(), 1);
    const platform::FileDialog& shown = m_platform.dialogs.first();
    EXPECT_EQ(shown.mode, platform::FileDialogMode::Open);
    EXPECT_EQ(shown.title, QStringLiteral("Select File to Open"));
    EXPECT_EQ(shown.filter, QStringLiteral("Text Files (*.txt);;All Files (*)"));
    EXPECT_EQ(canonical(shown.folder), canonical(m_dir.path()));
    EXPECT_TRUE(shown.fileName.isEmpty());
    EXPECT_TRUE(shown.existingOnly);
    EXPECT_TRUE(shown.hideReadOnly);
    EXPECT_EQ(boxText(), QStringLiteral("abc"));

    text::openText(m_context);  // cancelled
    ASSERT_EQ(m_platform.dialogs.size(), 2);
    EXPECT_EQ(canonical(m_platform.dialogs.last().folder), canonical(pathOf(QStringLiteral("sub"))));
}

TEST_F(TextCommandsTest, LargeOrForeignFilesGoToTheRegisteredApplication)
{
    text::setTextBoxText(m_text1, QStringLiteral("typed"));
    openBytes(QByteArray(text::kMaxTextFileBytes + 1, 'x'), QStringLiteral("big.txt"));
    EXPECT_EQ(boxText(), kLargeFileSentence) << "one byte over the limit";
    ASSERT_EQ(m_platform.openedUrls.size(), 1);
    EXPECT_EQ(m_platform.openedUrls.last(), QUrl::fromLocalFile(pathOf(QStringLiteral("big.txt"))));

    text::setTextBoxText(m_text1, QStringLiteral("typed"));
    openBytes("short", QStringLiteral("UPPER.TXT"));
    EXPECT_EQ(boxText(), QString()) << "the ending is compared with its case";
    EXPECT_EQ(m_platform.openedUrls.last(), QUrl::fromLocalFile(pathOf(QStringLiteral("UPPER.TXT"))));
    EXPECT_TRUE(m_platform.boxes.isEmpty());
}

TEST_F(TextCommandsTest, NoRegisteredApplicationIsReportedByName)
{
    m_platform.openUrlSucceeds = false;
    openBytes("data", QStringLiteral("notes.unknownkind"));
    const platform::MessageBox& box = m_platform.lastBox();
    EXPECT_EQ(box.title, QStringLiteral("Mirrorvane Alert"));
    EXPECT_EQ(box.icon, platform::Icon::Information);
    EXPECT_EQ(box.buttons, platform::Buttons::Ok);
    EXPECT_TRUE(box.text.contains(QDir::toNativeSeparators(pathOf(QStringLiteral("notes.unknownkind")))));
    EXPECT_EQ(boxText(), QString());
}

TEST_F(TextCommandsTest, CancelledOpenChangesNothing)
{
    text::setTextBoxText(m_text1, QStringLiteral("keep me"));
    m_label4->setText(QStringLiteral("earlier status"));
    const QString folder = QDir::currentPath();
    m_platform.dialogAnswers.push_back(std::nullopt);
    text::openText(m_context);
    m_platform.dialogAnswers.push_back(QString());  // a dialog that answers with no name
    text::openText(m_context);
    EXPECT_EQ(boxText(), QStringLiteral("keep me"));
    EXPECT_EQ(QDir::currentPath(), folder);
    EXPECT_TRUE(m_platform.boxes.isEmpty());
    EXPECT_TRUE(m_platform.openedUrls.isEmpty());
}

TEST_F(TextCommandsTest, UnreadableFileWarnsAndKeepsTheText)
{
    QDir(m_dir.path()).mkdir(QStringLiteral("folder.txt"));
    for (const QString& name : {QStringLiteral("vanished.txt"), QStringLiteral("vanished.doc"),
                                QStringLiteral("folder.txt")}) {
        SCOPED_TRACE(name.toStdString());
        text::setTextBoxText(m_text1, QStringLiteral("keep me"));
        m_platform.boxes.clear();
        text::openTextFile(m_context, pathOf(name));
        EXPECT_EQ(boxText(), QStringLiteral("keep me"));
        const platform::MessageBox& box = m_platform.lastBox();
        EXPECT_EQ(box.title, QStringLiteral("Mirrorvane Alert"));
        EXPECT_EQ(box.icon, platform::Icon::Warning);
        const QStringList lines = box.text.split(QStringLiteral("\r\n"));
        ASSERT_EQ(lines.size(), 3) << box.text.toStdString();
        EXPECT_EQ(lines[0], QStringLiteral("The text file could not be opened:"));
        EXPECT_EQ(lines[1], QDir::toNativeSeparators(pathOf(name)));
        EXPECT_FALSE(lines[2].isEmpty());
    }
    EXPECT_TRUE(m_platform.openedUrls.isEmpty());
}

}  // namespace
