// Open Text and Save Text on real files: decoding, the exact bytes written,
// the hand-over of files the box does not take, and names they cannot use (a
// full disk and names at the length limit are the atomic writer's tests).
// The hidden message's Windows-1252 bytes with CR LF must not depend on where
// the text came from.
#include "textfixture.h"

#include "stego/codepage.h"

#include <sys/stat.h>

namespace {

using testsupport::isFailureBox;
using testsupport::sameBox;
using texttest::TextCommandsTest;

QByteArray bytesOf(const char* literal, qsizetype size) { return QByteArray(literal, size); }

TEST(TextFileDecoding, FirstRuleThatAppliesDecides)
{
    const QString emoji = QString::fromUcs4(U"\U0001F600");
    const struct { const char* why; QByteArray bytes; QString expected; } rows[] = {
        {"empty file", {}, {}},
        {"one byte, so no second byte to test, and not UTF-8", bytesOf("\x80", 1), QStringLiteral("\u20AC")},
        {"UTF-8 mark only", "\xEF\xBB\xBF", {}},
        {"UTF-8 mark dropped", "\xEF\xBB\xBF" "Caf\xC3\xA9", QStringLiteral("Caf\u00E9")},
        {"invalid UTF-8 after the mark: all of it Windows-1252", "\xEF\xBB\xBF\xE9", QStringLiteral("\u00EF\u00BB\u00BF\u00E9")},
        {"UTF-16 LE mark dropped, odd byte dropped", bytesOf("\xFF\xFEH\0i\0\xAC\x20!", 9), QStringLiteral("Hi\u20AC")},
        {"UTF-16 BE mark dropped, a pair kept", bytesOf("\xFE\xFF\0H\xD8\x3D\xDE\x00", 8), QStringLiteral("H") + emoji},
        {"UTF-16 lone surrogates shown as U+FFFD", bytesOf("\xFF\xFE\x3D\xD8" "a\0\x00\xDE", 8), QStringLiteral("\uFFFDa\uFFFD")},
        {"zero second byte: UTF-16 LE without mark", bytesOf("H\0i\0\xAC\x20", 6), QStringLiteral("Hi\u20AC")},
        {"Windows-1252 file with a zero second byte reads as UTF-16, odd byte dropped", bytesOf("A\0B", 3), QStringLiteral("A")},
        {"UTF-8 note", "Caf\xC3\xA9 \xE2\x82\xAC na\xC3\xAFve", QStringLiteral("Caf\u00E9 \u20AC na\u00EFve")},
        {"four-byte UTF-8", "\xF0\x9F\x98\x80", emoji},
        {"Windows-1252 file", "Caf\xE9 \x80 na\xEFve", QStringLiteral("Caf\u00E9 \u20AC na\u00EFve")},
        {"overlong form is not UTF-8", "\xC0\xAF", QStringLiteral("\u00C0\u00AF")},
        {"encoded surrogate is not UTF-8", "\xED\xA0\x80", QStringLiteral("\u00ED\u00A0\u20AC")},
        {"past U+10FFFF is not UTF-8", "\xF4\x90\x80\x80", QStringLiteral("\u00F4\u0090\u20AC\u20AC")},
        {"sequence cut at the end is not UTF-8", "caf\xC3", QStringLiteral("caf\u00C3")},
    };
    for (const auto& row : rows)
        EXPECT_EQ(text::decodeTextFile(row.bytes), row.expected) << row.why;
}

TEST(TextFileEncoding, Windows1252HiddenTextAsAFileMatchesTheBoxRoute)
{
    std::string every("a\r\nb\rc\nd\r");
    for (int b = 0; b < 256; ++b)
        every += static_cast<char>(b);
    const QByteArray viaBox = text::encodeTextFile(QString::fromStdU16String(stego::decodeWindows1252(every)));
    EXPECT_EQ(text::windows1252ToTextFile(every), viaBox);
    EXPECT_TRUE(viaBox.startsWith("a\nb\nc\nd\n")) << "CR LF, a lone CR and a lone LF each become one LF";
    const char16_t loneSurrogate[] = {u'a', 0xD800, u'b'};
    EXPECT_EQ(text::encodeTextFile(QStringView(loneSurrogate, 3)), QByteArray("a\xEF\xBF\xBD" "b"))
        << "a lone surrogate is not dropped";
}

// Open Text and a picture's found text each replace the box as one undoable edit.
TEST_F(TextCommandsTest, OpenReplacesTheTextAsOneUndoableEditAndFocusesTheBox)
{
    // Why, the file, the box's text as textBoxText gives it.
    const std::tuple<const char*, QByteArray, QString> rows[] = {
        {"empty file", {}, {}},
        {"LF breaks", "one\ntwo\n", QStringLiteral("one\r\ntwo\r\n")},
        {"exactly the largest file read", QByteArray(text::kMaxTextFileBytes, 'x'), QString(text::kMaxTextFileBytes, u'x')},
    };
    for (const auto& [why, bytes, expected] : rows) {
        SCOPED_TRACE(why);
        m_elsewhere->setFocus();
        text::setTextBoxText(m_text1, QStringLiteral("typed before"));
        m_platform.dialogAnswers.push_back(writeFile(QStringLiteral("message.txt"), bytes));
        text::openText(m_context);
        EXPECT_EQ(boxText(), expected);
        EXPECT_TRUE(text1HasFocus());
        m_text1->undo();
        EXPECT_EQ(boxText(), QStringLiteral("typed before"));
    }
    EXPECT_TRUE(m_platform.boxes.isEmpty() && m_platform.openedUrls.isEmpty());

    // A picture's text too; the box keeps no trace of how a break was written,
    // so a lone CR or LF is hidden again as CR LF and saved as LF.
    text::setTextBoxWindows1252(m_text1, "a\nb\rc\r\nd");
    EXPECT_EQ(text::textBoxWindows1252(m_text1).bytes, "a\r\nb\r\nc\r\nd");
    EXPECT_EQ(text::encodeTextFile(m_text1->document()->toRawText()), QByteArray("a\nb\nc\nd"));
    m_text1->undo();
    EXPECT_EQ(boxText(), QStringLiteral("typed before"));
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
    EXPECT_EQ(m_commonDialog1.fileName, pathOf(QStringLiteral("sub/a.txt"))) << "what Open Image starts with";
    text::saveText(m_context);  // cancelled
    EXPECT_EQ(m_commonDialog1.fileName, pathOf(QStringLiteral("sub/a.txt"))) << "not the proposal of a cancelled save";

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

// A file the box does not take is handed to its application; the box changes
// (as one undoable edit) only when that succeeded.
TEST_F(TextCommandsTest, HandedOverFilesChangeTheBoxOnlyWhenAnApplicationTookThem)
{
    // Why, the file's name and bytes, what the box shows once it is handed
    // over, and the box when nothing took it: a large text says why it went
    // to another program at all.
    const std::tuple<const char*, QString, QByteArray, QString, QString> rows[] = {
        {"one byte over the largest file read", QStringLiteral("big.txt"), QByteArray(text::kMaxTextFileBytes + 1, 'x'),
         QStringLiteral("A Large Text File Opened - Re-Directed To Default Text Application!"),
         QStringLiteral("This text file is larger than the 65,500 bytes Open Text loads, and no application is registered to open it:")},
        {"another ending", QStringLiteral("README.md"), "short", QString(),
         QStringLiteral("No application is registered to open this file:")},
    };
    for (const auto& [why, name, bytes, replacement, sentence] : rows) {
        SCOPED_TRACE(why);
        const QString path = writeFile(name, bytes);
        const platform::MessageBox noApplication{QStringLiteral("Mirrorvane Alert"),
                                                 sentence + "\r\n" + QDir::toNativeSeparators(path),
                                                 platform::Icon::Information, platform::Buttons::Ok, platform::Answer::Ok};
        text::setTextBoxText(m_text1, QStringLiteral("typed before"));
        m_platform.openUrlSucceeds = false;
        text::openTextFile(m_context, path);
        EXPECT_TRUE(sameBox(m_platform.lastBox(), noApplication));
        EXPECT_EQ(boxText(), QStringLiteral("typed before"));

        m_platform.openUrlSucceeds = true;
        m_platform.boxes.clear();
        text::openTextFile(m_context, path);
        EXPECT_EQ(m_platform.openedUrls.constLast(), QUrl::fromLocalFile(path));
        EXPECT_EQ(boxText(), replacement);
        EXPECT_TRUE(m_platform.boxes.isEmpty());
        m_text1->undo();
        EXPECT_EQ(boxText(), QStringLiteral("typed before"));

        // An opener still running when the command ends and failing later.
        m_platform.openUrlFailsLate = true;
        text::openTextFile(m_context, path);
        EXPECT_EQ(boxText(), replacement);
        m_platform.failLateOpeners();
        m_platform.openUrlFailsLate = false;
        EXPECT_TRUE(sameBox(m_platform.lastBox(), noApplication));
        EXPECT_EQ(boxText(), QStringLiteral("typed before"));

        // Started by the opener for this very file (by way of a link, too):
        // handing it on again would start Mirrorvane again, without end.
        const QString link = pathOf(QStringLiteral("link-") + name);
        ASSERT_TRUE(QFile::link(path, link));
        m_platform.environment[QLatin1String(platform::kHandedOverVariable)] = link;
        const qsizetype opened = m_platform.openedUrls.size();
        text::openTextFile(m_context, path);
        EXPECT_EQ(m_platform.openedUrls.size(), opened);
        EXPECT_TRUE(sameBox(m_platform.lastBox(), noApplication));
        EXPECT_EQ(boxText(), QStringLiteral("typed before"));
        m_platform.environment[QLatin1String(platform::kHandedOverVariable)] = pathOf(QStringLiteral("other.txt"));
        text::openTextFile(m_context, path);
        EXPECT_EQ(m_platform.openedUrls.size(), opened + 1) << "another file handed over earlier is no loop";
        m_platform.environment.clear();
        m_text1->undo();
    }
    // The one rule of the dialog's filter: ".txt" in any case is read.
    text::openTextFile(m_context, writeFile(QStringLiteral("NOTES.TXT"), "shouted"));
    EXPECT_EQ(boxText(), QStringLiteral("shouted"));
}

// Save then open gives the text back, whatever its characters; the file is
// UTF-8 with LF, and the hidden message from the same text is what it always was.
TEST_F(TextCommandsTest, SavedTextsOpenUnchangedAndHideAsWindows1252)
{
    std::string everyByte = "a\r\n";  // a leading letter keeps NUL out of the second place
    for (int b = 0; b < 256; ++b)
        if (b != '\r' && b != '\n')
            everyByte += static_cast<char>(b);
    // Why, the text, the file saved (empty: not pinned), the bytes hidden (nothing: cannot be hidden).
    const std::tuple<const char*, QString, QByteArray, std::optional<std::string>> rows[] = {
        {"code page letters, a no-break space and breaks", QStringLiteral("Caf\u00E9 \u20AC\u00A0na\u00EFve\n2\n"),
         "Caf\xC3\xA9 \xE2\x82\xAC\xC2\xA0na\xC3\xAFve\n2\n", "Caf\xE9 \x80\xA0na\xEFve\r\n2\r\n"},
        {"every Windows-1252 character", QString::fromStdU16String(stego::decodeWindows1252(everyByte)), {}, everyByte},
        {"outside the code page, a pair among them", QStringLiteral("\u0100 \u4E2D ") + QString::fromUcs4(U"\U0001F600"),
         "\xC4\x80 \xE4\xB8\xAD \xF0\x9F\x98\x80", std::nullopt},
        {"a soft line break typed as Shift+Enter", QStringLiteral("one\u2028two"), "one\ntwo", "one\r\ntwo"},
    };
    const QString path = writeFile(QStringLiteral("saved.txt"), QByteArray(1000, 'o'));
    for (const auto& [why, typed, file, hidden] : rows) {
        SCOPED_TRACE(why);
        text::setTextBoxText(m_text1, typed);
        const QString before = boxText();
        const stego::EncodeResult encoded = text::textBoxWindows1252(m_text1);
        EXPECT_EQ(encoded.ok() ? std::optional(encoded.bytes) : std::nullopt, hidden);

        m_platform.dialogAnswers = {path, path};
        text::saveText(m_context);
        EXPECT_TRUE(file.isEmpty() || readFile(path) == file) << readFile(path).toStdString();
        text::clearText(m_context);
        text::openText(m_context);
        EXPECT_EQ(boxText(), before);
    }
    EXPECT_TRUE(m_platform.boxes.isEmpty()) << "every character can be saved";
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("saved.txt")})
        << "no temporary file left behind";
}

// The one-pass route out of the box against the plain one it stands in for:
// CR LF conversion, then the code page.
TEST(TextBoxWindows1252, AgreesWithConvertingThenEncoding)
{
    const QString sixteen = QStringLiteral("0123456789abcdef");
    const std::pair<const char*, QString> rows[] = {
        {"empty box", QString()},
        {"exactly one copied group", sixteen},
        {"a break as the last character of a group", QString(15, u'a') + QStringLiteral("\nb")},
        {"a break as the first character of a group", sixteen + QStringLiteral("\n") + sixteen},
        {"code page letters inside a group", QStringLiteral("caf\u00e9 \u20ac5 \u2014 na\u00efve \u0178 \u00a0 \u0081")},
        {"a letter in the second half of a group", QString(11, u'x') + QStringLiteral("\u00e9") + QString(20, u'y')},
        {"one character outside the code page, late", sixteen + sixteen + QStringLiteral("\u0100")},
    };
    for (const auto& [why, typed] : rows) {
        SCOPED_TRACE(why);
        QPlainTextEdit box;
        box.setPlainText(typed);
        const stego::EncodeResult plain = stego::encodeWindows1252(text::textBoxText(&box).toStdU16String());
        const stego::EncodeResult fused = text::textBoxWindows1252(&box);
        EXPECT_EQ(fused.bytes, plain.bytes);
        EXPECT_EQ(fused.unencodable, plain.unencodable);
    }
}

// Nothing is read from a FIFO or a device, and nothing waits on one.
TEST_F(TextCommandsTest, UnusableNamesAreReportedWithoutWaitingAndTheTextKept)
{
    text::saveText(m_context);
    EXPECT_FALSE(m_label4->text().isEmpty()) << "an empty box is reported, not saved";
    EXPECT_TRUE(m_platform.dialogs.isEmpty());

    const QString fifo = pathOf(QStringLiteral("pipe.txt"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString device = pathOf(QStringLiteral("device.txt"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), device));
    text::setTextBoxText(m_text1, QStringLiteral("keep me"));
    const QString blocker = writeFile(QStringLiteral("plain"), "not a folder");
    texttest::runWithin(10, [&] {
        // A missing ".doc" must fail here, not be handed to another program.
        for (const QString& path : {fifo, device, pathOf(QStringLiteral("vanished.doc"))}) {
            text::openTextFile(m_context, path);
            EXPECT_TRUE(isFailureBox(m_platform.lastBox(), QStringLiteral("The text file could not be opened:"), path));
        }
        // Nor is one written over by Save Text; a folder that is a regular
        // file fails even for root.
        for (const QString& path : {fifo, pathOf(QStringLiteral("plain/saved.txt"))}) {
            m_platform.dialogAnswers = {path};
            text::saveText(m_context);
            EXPECT_TRUE(isFailureBox(m_platform.lastBox(), QStringLiteral("The text file could not be saved:"), path));
        }
    });
    EXPECT_EQ(boxText(), QStringLiteral("keep me"));
    EXPECT_TRUE(m_platform.openedUrls.isEmpty());
    EXPECT_EQ(readFile(blocker), QByteArray("not a folder"));
    struct stat info {};
    EXPECT_TRUE(::stat(QFile::encodeName(fifo).constData(), &info) == 0 && S_ISFIFO(info.st_mode));
}

}  // namespace
