// Open Text and Save Text on real files: which files are read, how their
// bytes decode, the exact bytes written, and failures that must leave both the
// typed text and the files on disk as they were.
#include "textfixture.h"

namespace {

using texttest::canonical;
using texttest::expectFileFailure;
using texttest::TextCommandsTest;

QByteArray byteRange(int from, int to)
{
    QByteArray bytes;
    for (int b = from; b <= to; ++b)
        bytes.append(static_cast<char>(b));
    return bytes;
}

struct DecodeCase {
    const char* why;
    QByteArray bytes;
    QString expected;  // as textBoxText gives it
};

void PrintTo(const DecodeCase& row, std::ostream* out)
{
    *out << row.why;
}

class OpenTextDecodes : public TextCommandsTest, public ::testing::WithParamInterface<DecodeCase> {};

TEST_P(OpenTextDecodes, ReplacesTheTextAndFocusesTheBox)
{
    text::setTextBoxText(m_text1, QStringLiteral("typed before"));
    m_platform.dialogAnswers.push_back(writeFile(QStringLiteral("message.txt"), GetParam().bytes));
    text::openText(m_context);
    EXPECT_EQ(boxText(), GetParam().expected) << GetParam().why;
    EXPECT_TRUE(text1HasFocus());
    EXPECT_TRUE(m_platform.boxes.isEmpty() && m_platform.openedUrls.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, OpenTextDecodes,
    ::testing::Values(
        DecodeCase{"empty file", {}, {}},
        DecodeCase{"one byte", QByteArray("\x80", 1), QStringLiteral("\u20AC")},
        DecodeCase{"bytes 0x80-0x9F, the undefined five as C1 controls", byteRange(0x80, 0x9F),
                   QStringLiteral("\u20AC\u0081\u201A\u0192\u201E\u2026\u2020\u2021\u02C6\u2030\u0160\u2039\u0152"
                                  "\u008D\u017D\u008F\u0090\u2018\u2019\u201C\u201D\u2022\u2013\u2014\u02DC\u2122"
                                  "\u0161\u203A\u0153\u009D\u017E\u0178")},
        DecodeCase{"UTF-16 LE without byte-order mark", QByteArray("H\0i\0\xAC\x20", 6), QStringLiteral("Hi\u20AC")},
        DecodeCase{"UTF-16 LE with byte-order mark is Windows-1252: second byte not zero",
                   QByteArray("\xFF\xFEH\0", 4), QStringLiteral("\u00FF\u00FEH") + QChar(0)},
        DecodeCase{"ANSI file with a zero second byte reads as UTF-16, odd byte dropped", QByteArray("A\0B", 3),
                   QStringLiteral("A")},
        DecodeCase{"CR LF, CR and LF are all line breaks", "a\r\nb\rc\nd", QStringLiteral("a\r\nb\r\nc\r\nd")},
        DecodeCase{"exactly the largest file read", QByteArray(text::kMaxTextFileBytes, 'x'),
                   QString(text::kMaxTextFileBytes, u'x')}));

TEST_F(TextCommandsTest, DialogsStartInTheCurrentFolderAndACompletedOneMovesIt)
{
    QDir::setCurrent(m_dir.path());
    QDir(m_dir.path()).mkdir(QStringLiteral("sub"));
    m_commonDialog1.fileName = QStringLiteral("left by Open Image.bmp");
    m_platform.dialogAnswers.push_back(writeFile(QStringLiteral("sub/a.txt"), "abc"));
    text::openText(m_context);
    text::setTextBoxText(m_text1, QStringLiteral("x"));
    text::saveText(m_context);  // cancelled

    ASSERT_EQ(m_platform.dialogs.size(), 2);
    const platform::FileDialog& open = m_platform.dialogs[0];
    EXPECT_EQ(open.mode, platform::FileDialogMode::Open);
    EXPECT_EQ(open.title, QStringLiteral("Select File to Open"));
    EXPECT_EQ(open.filter, QStringLiteral("Text Files (*.txt);;All Files (*)"));
    EXPECT_EQ(canonical(open.folder), canonical(m_dir.path()));
    EXPECT_TRUE(open.fileName.isEmpty() && open.existingOnly && open.hideReadOnly);

    const platform::FileDialog& save = m_platform.dialogs[1];
    EXPECT_EQ(save.mode, platform::FileDialogMode::Save);
    EXPECT_EQ(save.title, QStringLiteral("Save Text File As"));
    EXPECT_EQ(save.filter, open.filter);
    EXPECT_EQ(save.fileName, QStringLiteral("Text File.txt"));
    EXPECT_EQ(save.defaultSuffix, QStringLiteral("txt"));
    EXPECT_EQ(canonical(save.folder), canonical(pathOf(QStringLiteral("sub"))));
    EXPECT_TRUE(save.overwritePrompt && !save.existingOnly);
}

TEST_F(TextCommandsTest, LargeOrForeignFilesGoToTheRegisteredApplication)
{
    const QString big = writeFile(QStringLiteral("big.txt"), QByteArray(text::kMaxTextFileBytes + 1, 'x'));
    text::openTextFile(m_context, big);
    EXPECT_EQ(boxText(), QStringLiteral("A Large Text File Opened - Re-Directed To Default Text Application!"));
    EXPECT_EQ(m_platform.openedUrls.value(0), QUrl::fromLocalFile(big));

    const QString upper = writeFile(QStringLiteral("UPPER.TXT"), "short");
    text::openTextFile(m_context, upper);
    EXPECT_EQ(boxText(), QString()) << "the ending is compared with its case";
    EXPECT_EQ(m_platform.openedUrls.value(1), QUrl::fromLocalFile(upper));
    EXPECT_TRUE(m_platform.boxes.isEmpty());

    m_platform.openUrlSucceeds = false;
    const QString foreign = writeFile(QStringLiteral("notes.unknownkind"), "data");
    text::openTextFile(m_context, foreign);
    const platform::MessageBox& box = m_platform.lastBox();
    EXPECT_EQ(box.title, QStringLiteral("Mirrorvane Alert"));
    EXPECT_EQ(box.icon, platform::Icon::Information);
    EXPECT_TRUE(box.text.contains(QDir::toNativeSeparators(foreign))) << box.text.toStdString();
}

TEST_F(TextCommandsTest, CancelledOrUnreadableOpenKeepsTheTypedText)
{
    text::setTextBoxText(m_text1, QStringLiteral("keep me"));
    m_platform.dialogAnswers = {std::nullopt, QString()};  // cancelled; answered with no name
    text::openText(m_context);
    text::openText(m_context);
    EXPECT_TRUE(m_platform.boxes.isEmpty());
    EXPECT_EQ(canonical(QDir::currentPath()), canonical(m_startFolder));

    QDir(m_dir.path()).mkdir(QStringLiteral("folder.txt"));
    for (const char* name : {"vanished.txt", "vanished.doc", "folder.txt"}) {
        SCOPED_TRACE(name);
        text::openTextFile(m_context, pathOf(QString::fromLatin1(name)));
        expectFileFailure(m_platform.lastBox(), QStringLiteral("The text file could not be opened:"),
                          pathOf(QString::fromLatin1(name)));
    }
    EXPECT_EQ(boxText(), QStringLiteral("keep me"));
    EXPECT_TRUE(m_platform.openedUrls.isEmpty());
}

TEST_F(TextCommandsTest, SaveWritesExactlyTheNewBytesOverALongerFile)
{
    text::saveText(m_context);
    EXPECT_EQ(m_label4->text(), QStringLiteral("There is no text to save to a file."));
    EXPECT_TRUE(m_platform.dialogs.isEmpty());

    const QString path = writeFile(QStringLiteral("saved.txt"), QByteArray(1000, 'o'));
    text::setTextBoxText(m_text1, QStringLiteral("line one\nline \u20AC two"));
    m_platform.dialogAnswers.push_back(path);
    text::saveText(m_context);
    EXPECT_EQ(readFile(path), QByteArray("line one\r\nline \x80 two"));
    EXPECT_TRUE(m_label4->text().isEmpty());
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("saved.txt")})
        << "no temporary file left behind";
}

TEST_F(TextCommandsTest, EveryWindows1252CharacterSurvivesSaveAndOpen)
{
    // Lone CR and LF are line breaks, saved as CR LF, so they go in as a pair;
    // a leading "a" keeps NUL out of the second place, where it means UTF-16.
    QByteArray bytes("a\r\n");
    for (int b = 0; b < 256; ++b) {
        if (b != '\r' && b != '\n')
            bytes.append(static_cast<char>(b));
    }
    const QString original = text::decodeTextFile(bytes);
    ASSERT_EQ(original.size(), bytes.size());
    text::setTextBoxText(m_text1, original);
    m_platform.dialogAnswers = {pathOf(QStringLiteral("all.txt")), pathOf(QStringLiteral("all.txt"))};
    text::saveText(m_context);
    EXPECT_EQ(readFile(pathOf(QStringLiteral("all.txt"))), bytes);
    text::clearText(m_context);
    text::openText(m_context);
    EXPECT_EQ(boxText(), original);
}

TEST_F(TextCommandsTest, FailedSavesLeaveTheFilesAsTheyWere)
{
    // Eleven distinct offenders, some repeated, one outside the BMP: the first
    // ten are listed, before any dialog.
    const QString old = writeFile(QStringLiteral("saved.txt"), "old");
    text::setTextBoxText(m_text1, QStringLiteral("ok \u0100\u0101\u0100\u0102\u0103\u0104\u0105\u0106\u0107\u0108")
                                      + QString::fromUcs4(U"\U0001F600") + QStringLiteral("\u0109 \u20AC"));
    m_platform.dialogAnswers.push_back(old);
    text::saveText(m_context);
    EXPECT_EQ(m_platform.lastBox().title, QStringLiteral("Mirrorvane Alert"));
    EXPECT_EQ(m_platform.lastBox().icon, platform::Icon::Warning);
    EXPECT_EQ(m_platform.lastBox().text, QStringLiteral("These characters cannot be saved in a text file: \u0100 "
                                                        "\u0101 \u0102 \u0103 \u0104 \u0105 \u0106 \u0107 \u0108 ")
                                             + QString::fromUcs4(U"\U0001F600"));
    EXPECT_EQ(readFile(old), QByteArray("old"));

    // A folder that is a regular file fails even for root.
    const QString blocker = writeFile(QStringLiteral("plain"), "not a folder");
    m_platform.dialogAnswers = {pathOf(QStringLiteral("plain/saved.txt"))};
    text::setTextBoxText(m_text1, QStringLiteral("new text"));
    text::saveText(m_context);
    expectFileFailure(m_platform.lastBox(), QStringLiteral("The text file could not be saved:"),
                      pathOf(QStringLiteral("plain/saved.txt")));
    EXPECT_EQ(readFile(blocker), QByteArray("not a folder"));
}

}  // namespace
