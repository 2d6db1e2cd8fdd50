// Clear, Copy and Paste, and the box's CR LF view of its text.
#include "textfixture.h"

#include <QTextCursor>

namespace {

using texttest::TextCommandsTest;

const QString kCopyQuestion =
    QStringLiteral("Click OK to Copy to Clipboard\r\n\r\nNOTE - This Will OVERWRITE Current Clipboard Content!");

void select(QPlainTextEdit* box, int from, int to)
{
    QTextCursor cursor = box->textCursor();
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    box->setTextCursor(cursor);
}

// Lines of 80 characters, as a pasted document would have them.
QString linesOfLength(qsizetype length)
{
    QString s(length, u'x');
    for (qsizetype i = 80; i < length; i += 82) {
        s[i] = u'\r';
        if (i + 1 < length)
            s[i + 1] = u'\n';
    }
    return s;
}

TEST(TextBoxText, KeepsEveryCharacterAndWritesBreaksAsCrLf)
{
    QPlainTextEdit box;
    // A no-break space is its own Windows-1252 byte; it must not come back
    // as a plain space.
    text::setTextBoxText(&box, QStringLiteral("a\u00A0b\r\n\r\nc\rd\ne"));
    EXPECT_EQ(text::textBoxText(&box), QStringLiteral("a\u00A0b\r\n\r\nc\r\nd\r\ne"));
    box.setPlainText(QStringLiteral("soft\u2028break"));
    EXPECT_EQ(text::textBoxText(&box), QStringLiteral("soft\r\nbreak"));
    EXPECT_EQ(text::fromCrLf(QStringLiteral("\r\r\n\n")), QStringLiteral("\n\n\n"));
}

TEST_F(TextCommandsTest, ClearEmptiesTheBoxOnlyAndCanBeUndone)
{
    text::setTextBoxText(m_text1, QStringLiteral("one\r\ntwo"));
    m_label4->setText(QStringLiteral("status stays"));
    text::clearText(m_context);
    EXPECT_EQ(boxText(), QString());
    EXPECT_EQ(m_label4->text(), QStringLiteral("status stays"));
    m_text1->undo();
    EXPECT_EQ(boxText(), QStringLiteral("one\r\ntwo"));
}

TEST_F(TextCommandsTest, CopyWithAnEmptyClipboardCopiesTheWholeTextWithoutAsking)
{
    text::setTextBoxText(m_text1, QStringLiteral("first\nsecond"));
    select(m_text1, 1, 3);
    text::copyText(m_context);
    EXPECT_TRUE(m_platform.boxes.isEmpty());
    EXPECT_EQ(m_platform.clipboard, QStringLiteral("first\r\nsecond"));
    EXPECT_TRUE(text1HasFocus());
}

TEST_F(TextCommandsTest, CopyOverClipboardTextAsksFirst)
{
    text::setTextBoxText(m_text1, QStringLiteral("mine"));
    m_platform.clipboard = QStringLiteral("theirs");
    m_platform.answers.push_back(platform::Answer::Cancel);
    text::copyText(m_context);
    ASSERT_EQ(m_platform.boxes.size(), 1);
    const platform::MessageBox& box = m_platform.boxes.first();
    EXPECT_EQ(box.title, QStringLiteral("Clipboard Already Has Contents"));
    EXPECT_EQ(box.text, kCopyQuestion);
    EXPECT_EQ(box.icon, platform::Icon::Warning);
    EXPECT_EQ(box.buttons, platform::Buttons::OkCancel);
    EXPECT_EQ(box.defaultButton, platform::Answer::Ok);
    EXPECT_EQ(m_platform.clipboard, QStringLiteral("theirs")) << "Cancel";
    EXPECT_TRUE(text1HasFocus()) << "Cancel";

    text::copyText(m_context);  // answered with the default, OK
    EXPECT_EQ(m_platform.clipboard, QStringLiteral("mine"));

    text::clearText(m_context);
    text::copyText(m_context);
    EXPECT_EQ(m_platform.clipboard, QString()) << "an empty box copies empty text";
}

struct WarningCase {
    qsizetype length;
    const char* expectedPrefix;  // empty for no warning
};

class PasteWarningBoundaries : public ::testing::TestWithParam<WarningCase> {};

TEST_P(PasteWarningBoundaries, FirstRowThatTheLengthExceedsDecides)
{
    const QString warning = text::pasteWarning(GetParam().length);
    const QString prefix = QString::fromLatin1(GetParam().expectedPrefix);
    if (prefix.isEmpty())
        EXPECT_TRUE(warning.isEmpty()) << warning.toStdString();
    else
        EXPECT_TRUE(warning.startsWith(prefix)) << warning.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, PasteWarningBoundaries,
    ::testing::Values(WarningCase{0, ""}, WarningCase{150000, ""},
                      WarningCase{150001, "Warning - you are moving over 0.15 million"},
                      WarningCase{250000, "Warning - you are moving over 0.15 million"},
                      WarningCase{250001, "Warning - you are moving over 0.25 million"},
                      WarningCase{350001, "Warning - you are moving over 0.35 million characters into Mirrorvane - "
                                          "this can take 30 to 60 seconds"},
                      WarningCase{800001, "Warning - you are moving over 0.8 million characters into Mirrorvane - "
                                          "this can take 3 to 7 minutes"},
                      WarningCase{1200000, "Warning - you are moving over 1.0 million"},
                      WarningCase{1200001, "Warning - you are moving over 1.2 million"}),
    [](const auto& row) { return "Length" + std::to_string(row.param.length); });

TEST_F(TextCommandsTest, PasteJustOverTheFirstLimitWarnsThenInserts)
{
    const QString pasted = linesOfLength(150001);
    m_platform.clipboard = pasted;
    text::pasteText(m_context);
    ASSERT_EQ(m_platform.boxes.size(), 1);
    const platform::MessageBox& box = m_platform.boxes.first();
    EXPECT_EQ(box.title, QStringLiteral("Mirrorvane Warning"));
    EXPECT_EQ(box.text, QStringLiteral("Warning - you are moving over 0.15 million characters into Mirrorvane - this "
                                       "can take 5 to 15 seconds depending on system specification. Please be "
                                       "patient."));
    EXPECT_EQ(box.icon, platform::Icon::Warning);
    EXPECT_EQ(box.buttons, platform::Buttons::Ok);
    EXPECT_EQ(boxText(), pasted);
    EXPECT_EQ(m_platform.busyShownCount, 1);
    EXPECT_EQ(m_platform.busyDepth, 0);
    EXPECT_TRUE(text1HasFocus());
}

TEST_F(TextCommandsTest, PasteReplacesTheSelectionAndKeepsTheRest)
{
    text::setTextBoxText(m_text1, QStringLiteral("keep [this] keep"));
    select(m_text1, 5, 11);
    m_platform.clipboard = QStringLiteral("new\r\nline\rand\nmore");
    text::pasteText(m_context);
    EXPECT_EQ(boxText(), QStringLiteral("keep new\r\nline\r\nand\r\nmore keep"));
    EXPECT_EQ(m_text1->textCursor().position(), 22) << "the caret follows the pasted text";
    EXPECT_TRUE(m_platform.boxes.isEmpty());
}

TEST_F(TextCommandsTest, PasteWithAnEmptyClipboardOnlyRemovesTheSelection)
{
    text::setTextBoxText(m_text1, QStringLiteral("abcdef"));
    select(m_text1, 2, 2);
    text::pasteText(m_context);
    EXPECT_EQ(boxText(), QStringLiteral("abcdef"));
    select(m_text1, 2, 4);
    text::pasteText(m_context);
    EXPECT_EQ(boxText(), QStringLiteral("abef"));
    EXPECT_EQ(m_platform.busyDepth, 0);
}

}  // namespace
