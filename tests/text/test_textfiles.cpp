// Open Text and Save Text on real files, and the Windows-1252 routes in and
// out of `Text1` they share with Hide Text and Get Text: which files are read,
// how their bytes decode, the exact bytes written, and failures that must
// leave both the typed text and the files on disk as they were.
#include "textfixture.h"

#include "stego/codepage.h"

namespace {

using testsupport::isFailureBox;
using testsupport::sameBox;
using texttest::TextCommandsTest;

TEST_F(TextCommandsTest, OpenDecodesTheFileIntoTheBoxAndFocusesIt)
{
    const struct {
        const char* why;
        QByteArray bytes;
        QString expected;  // as textBoxText gives it
    } rows[] = {
        {"empty file", {}, {}},
        {"one byte", QByteArray("\x80", 1), QStringLiteral("\u20AC")},
        {"UTF-16 LE without byte-order mark", QByteArray("H\0i\0\xAC\x20", 6), QStringLiteral("Hi\u20AC")},
        {"UTF-16 LE with byte-order mark is Windows-1252: second byte not zero", QByteArray("\xFF\xFEH\0", 4),
         QStringLiteral("\u00FF\u00FEH") + QChar(0)},
        {"ANSI file with a zero second byte reads as UTF-16, odd byte dropped", QByteArray("A\0B", 3),
         QStringLiteral("A")},
        {"exactly the largest file read", QByteArray(text::kMaxTextFileBytes, 'x'),
         QString(text::kMaxTextFileBytes, u'x')},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        m_elsewhere->setFocus();
        text::setTextBoxText(m_text1, QStringLiteral("typed before"));
        m_platform.dialogAnswers.push_back(writeFile(QStringLiteral("message.txt"), row.bytes));
        text::openText(m_context);
        EXPECT_EQ(boxText(), row.expected);
        EXPECT_TRUE(text1HasFocus());
    }
    EXPECT_TRUE(m_platform.boxes.isEmpty() && m_platform.openedUrls.isEmpty());
}

TEST_F(TextCommandsTest, DialogsStartInTheCurrentFolderAndOnlyACompletedOneMovesIt)
{
    QDir::setCurrent(m_dir.path());
    QDir(m_dir.path()).mkdir(QStringLiteral("sub"));
    m_commonDialog1.fileName = QStringLiteral("left by Open Image.bmp");
    text::setTextBoxText(m_text1, QStringLiteral("keep me"));
    // Cancelled, answered with no name, then a file.
    m_platform.dialogAnswers = {std::nullopt, QString(), writeFile(QStringLiteral("sub/a.txt"), "abc")};
    text::openText(m_context);
    text::openText(m_context);
    EXPECT_EQ(boxText(), QStringLiteral("keep me"));
    text::openText(m_context);
    text::saveText(m_context);  // cancelled

    ASSERT_EQ(m_platform.dialogs.size(), 4);
    const platform::FileDialog& open = m_platform.dialogs[2];
    EXPECT_TRUE(QDir(open.folder) == QDir(m_dir.path())) << "cancelled dialogs leave the folder";
    EXPECT_TRUE(open.fileName.isEmpty()) << "not the name another command left";
    const platform::FileDialog& save = m_platform.dialogs[3];
    EXPECT_TRUE(QDir(save.folder) == QDir(pathOf(QStringLiteral("sub"))));
    EXPECT_TRUE(save.overwritePrompt && !save.existingOnly) << "the settings Open left are undone";
    EXPECT_EQ(boxText(), QStringLiteral("abc"));
    EXPECT_TRUE(m_platform.boxes.isEmpty());
}

TEST_F(TextCommandsTest, LargeForeignOrUnreadableFilesAreNotReadIntoTheBox)
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

    text::setTextBoxText(m_text1, QStringLiteral("keep me"));
    QDir(m_dir.path()).mkdir(QStringLiteral("folder.txt"));
    for (const char* name : {"vanished.txt", "vanished.doc", "folder.txt"}) {
        SCOPED_TRACE(name);
        text::openTextFile(m_context, pathOf(QString::fromLatin1(name)));
        EXPECT_TRUE(isFailureBox(m_platform.lastBox(), QStringLiteral("The text file could not be opened:"),
                                 pathOf(QString::fromLatin1(name))));
    }
    EXPECT_EQ(boxText(), QStringLiteral("keep me"));
    EXPECT_EQ(m_platform.openedUrls.size(), 2);

    m_platform.openUrlSucceeds = false;
    const QString foreign = writeFile(QStringLiteral("notes.unknownkind"), "data");
    text::openTextFile(m_context, foreign);
    EXPECT_TRUE(sameBox(m_platform.lastBox(),
                        {QStringLiteral("Mirrorvane Alert"),
                         QStringLiteral("No application is registered to open this file:\r\n")
                             + QDir::toNativeSeparators(foreign),
                         platform::Icon::Information, platform::Buttons::Ok, platform::Answer::Ok}));
}

// Get Text's way into the box and Open Text's agree, and Save Text's way out
// gives exactly the bytes back, over a longer file and without a temporary.
TEST_F(TextCommandsTest, EveryWindows1252CharacterSurvivesEveryRouteThroughTheBox)
{
    text::saveText(m_context);
    EXPECT_FALSE(m_label4->text().isEmpty()) << "an empty box is reported, not saved";
    EXPECT_TRUE(m_platform.dialogs.isEmpty());

    // Lone CR and LF are line breaks, saved as CR LF, so they go in as a pair;
    // a leading "a" keeps NUL out of the second place, where it means UTF-16.
    QByteArray bytes("a\r\n");
    for (int b = 0; b < 256; ++b) {
        if (b != '\r' && b != '\n')
            bytes.append(static_cast<char>(b));
    }
    const QString original = text::decodeTextFile(bytes);
    ASSERT_EQ(original.size(), bytes.size());
    text::setTextBoxWindows1252(m_text1, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    EXPECT_EQ(boxText(), original);

    const QString path = writeFile(QStringLiteral("all.txt"), QByteArray(1000, 'o'));
    m_platform.dialogAnswers = {path, path};
    text::saveText(m_context);
    EXPECT_EQ(readFile(path), bytes);
    EXPECT_TRUE(m_label4->text().isEmpty());
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("all.txt")})
        << "no temporary file left behind";
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
    EXPECT_TRUE(sameBox(m_platform.lastBox(),
                        {QStringLiteral("Mirrorvane Alert"),
                         QStringLiteral("These characters cannot be saved in a text file: \u0100 \u0101 \u0102 \u0103 "
                                        "\u0104 \u0105 \u0106 \u0107 \u0108 ")
                             + QString::fromUcs4(U"\U0001F600"),
                         platform::Icon::Warning, platform::Buttons::Ok, platform::Answer::Ok}));
    EXPECT_EQ(readFile(old), QByteArray("old"));

    // A folder that is a regular file fails even for root.
    const QString blocker = writeFile(QStringLiteral("plain"), "not a folder");
    m_platform.dialogAnswers = {pathOf(QStringLiteral("plain/saved.txt"))};
    text::setTextBoxText(m_text1, QStringLiteral("new text"));
    text::saveText(m_context);
    EXPECT_TRUE(isFailureBox(m_platform.lastBox(), QStringLiteral("The text file could not be saved:"),
                             pathOf(QStringLiteral("plain/saved.txt"))));
    EXPECT_EQ(readFile(blocker), QByteArray("not a folder"));
}

// The one-pass route out of the box against the plain one it stands in for:
// CR LF conversion, then the code page.
TEST(TextBoxWindows1252, AgreesWithConvertingThenEncoding)
{
    const QString sixteen = QStringLiteral("0123456789abcdef");
    const struct {
        const char* why;
        QString text;
    } rows[] = {
        {"empty box", QString()},
        {"exactly one copied group", sixteen},
        {"a break as the last character of a group", QString(15, u'a') + QStringLiteral("\nb")},
        {"a break as the first character of a group", sixteen + QStringLiteral("\n") + sixteen},
        {"code page letters inside a group", QStringLiteral("caf\u00e9 \u20ac5 \u2014 na\u00efve \u0178 \u00a0 \u0081")},
        {"a letter in the second half of a group", QString(11, u'x') + QStringLiteral("\u00e9") + QString(20, u'y')},
        {"a soft line break typed as Shift+Enter", QStringLiteral("one\u2028two")},
        {"one character outside the code page, late", sixteen + sixteen + QStringLiteral("\u0100")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        QPlainTextEdit box;
        box.setPlainText(row.text);
        const QString crlf = text::textBoxText(&box);
        const stego::EncodeResult plain = stego::encodeWindows1252(std::u16string_view(
            reinterpret_cast<const char16_t*>(crlf.utf16()), static_cast<std::size_t>(crlf.size())));
        const stego::EncodeResult fused = text::textBoxWindows1252(&box);
        EXPECT_EQ(fused.bytes, plain.bytes);
        EXPECT_EQ(fused.unencodable, plain.unencodable);
    }
}

}  // namespace
