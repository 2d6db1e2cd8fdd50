// Clear, Copy and Paste, and the wrapping that keeps a pasted run without
// spaces from freezing the box (word wrapping lays one out in seconds).
#include "textfixture.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTextCursor>

#include <memory>

namespace {

using texttest::TextCommandsTest;

void select(QPlainTextEdit* box, int from, int to)
{
    QTextCursor cursor = box->textCursor();
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    box->setTextCursor(cursor);
}

TEST_F(TextCommandsTest, CopyTakesTheWholeTextAndAsksBeforeOverwritingClearCanBeUndone)
{
    text::setTextBoxText(m_text1, QStringLiteral("first\u00A0\r\nsecond\u2028third"));
    select(m_text1, 1, 3);
    text::copyText(m_context);
    EXPECT_TRUE(m_platform.boxes.isEmpty()) << "an empty clipboard is not asked about";
    EXPECT_EQ(m_platform.clipboard, QStringLiteral("first\u00A0\nsecond\nthird")) << "LF breaks, as Ctrl+C gives";
    EXPECT_TRUE(text1HasFocus());

    m_elsewhere->setFocus();
    m_platform.clipboard = QStringLiteral("theirs");
    m_platform.answers.push_back(platform::Answer::Cancel);
    text::copyText(m_context);
    ASSERT_EQ(m_platform.boxes.size(), 1);
    EXPECT_EQ(m_platform.boxes[0].buttons, platform::Buttons::OkCancel);
    EXPECT_EQ(m_platform.clipboard, QStringLiteral("theirs"));
    EXPECT_TRUE(text1HasFocus()) << "also after Cancel";

    text::clearText(m_context);
    text::copyText(m_context);  // OK, the default
    EXPECT_EQ(m_platform.clipboard, QString()) << "an empty box copies empty text";
    m_text1->undo();
    EXPECT_EQ(boxText(), QStringLiteral("first\u00A0\r\nsecond\r\nthird")) << "Clear can be undone";
}

// Ctrl+C, Ctrl+X, the context menu and dragging out all take the box's own
// mime data; cut and pasted back, the text and its hidden bytes are unchanged.
TEST_F(TextCommandsTest, TheBoxsOwnCopyAndCutKeepEveryCharacter)
{
    const QString original = QStringLiteral("a\u00A0b\r\n\u00A0c\u2028d");
    text::setTextBoxText(m_text1, original);
    const std::string hidden = text::textBoxWindows1252(m_text1).bytes;
    select(m_text1, 1, 5);
    const std::unique_ptr<QMimeData> dragged(static_cast<text::TextBox*>(m_text1)->createMimeDataFromSelection());
    EXPECT_EQ(dragged->formats(), QStringList{QStringLiteral("text/plain")}) << "no HTML copy beside it";
    EXPECT_EQ(dragged->text(), QStringLiteral("\u00A0b\n\u00A0"));

    m_text1->selectAll();
    m_text1->copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("a\u00A0b\n\u00A0c\nd"));
    m_text1->cut();
    EXPECT_TRUE(m_text1->document()->isEmpty());
    m_text1->paste();
    EXPECT_EQ(text::textBoxWindows1252(m_text1).bytes, hidden);
}

TEST(PasteWarning, FirstRowTheLengthExceedsDecides)
{
    const std::pair<qsizetype, const char*> rows[] = {
        {150000, ""},
        {150001, "Warning - you are moving over 0.15 million characters into Mirrorvane - this can take 5 to 15 "
                 "seconds depending on system specification. Please be patient."},
        {1200000, "Warning - you are moving over 1.0 million"},
        {1200001, "Warning - you are moving over 1.2 million characters into Mirrorvane - this can take 5 to 10 "
                  "minutes depending on system specification. Please be patient."},
    };
    // Two rows hold whole sentences, so the composed text is pinned to the letter.
    for (const auto& [length, start] : rows) {
        const QString warning = text::pasteWarning(length);
        EXPECT_TRUE(*start ? warning.startsWith(QString::fromLatin1(start)) : warning.isEmpty())
            << length << " characters: " << warning.toStdString();
    }
}

TEST_F(TextCommandsTest, PasteWarnsOverTheFirstLimitAndReplacesOnlyTheSelection)
{
    const QString pasted = (QString(78, u'p') + QStringLiteral("\r\n")).repeated(2000).left(150001);
    m_platform.clipboard = pasted;
    text::pasteText(m_context);
    ASSERT_EQ(m_platform.boxes.size(), 1);
    EXPECT_EQ(m_platform.boxes[0].text, text::pasteWarning(pasted.size()));
    EXPECT_EQ(boxText(), pasted);
    EXPECT_EQ(m_platform.busyShownCount, 1);
    EXPECT_EQ(m_platform.busyDepth, 0);
    EXPECT_TRUE(text1HasFocus());

    text::setTextBoxText(m_text1, QStringLiteral("keep [this] keep"));
    select(m_text1, 5, 11);
    m_platform.clipboard = QStringLiteral("new\r\nline\rand\nmore");
    text::pasteText(m_context);
    EXPECT_EQ(boxText(), QStringLiteral("keep new\r\nline\r\nand\r\nmore keep"));
    m_platform.clipboard.clear();
    select(m_text1, 0, 5);
    text::pasteText(m_context);
    EXPECT_EQ(boxText(), QStringLiteral("new\r\nline\r\nand\r\nmore keep")) << "empty clipboard deletes the selection";
    EXPECT_EQ(m_platform.boxes.size(), 1);
}

TEST(Wrapping, LongRunsWrapAnywhereUntilTheBoxIsEmptied)
{
    QPlainTextEdit box;
    text::adaptWrappingToLongRuns(&box);
    const QString prose = QStringLiteral("a few words of prose ").repeated(500);
    const QString blob(text::kLongestWordWrappedRun + 1, QLatin1Char('Q'));

    text::setTextBoxText(&box, prose);
    EXPECT_EQ(box.wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere) << "long prose still wraps between words";

    box.moveCursor(QTextCursor::End);
    box.insertPlainText(QStringLiteral("\r\n") + blob);
    EXPECT_EQ(box.wordWrapMode(), QTextOption::WrapAnywhere) << "a pasted run one over the limit";

    box.clear();
    EXPECT_EQ(box.wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere) << "an emptied box";

    text::setTextBoxText(&box, blob.left(text::kLongestWordWrappedRun) + QLatin1Char(' ') + blob);
    EXPECT_EQ(box.wordWrapMode(), QTextOption::WrapAnywhere) << "a run after a space, set by a command";
    text::setTextBoxText(&box, QString());
    text::setTextBoxText(&box, blob.left(text::kLongestWordWrappedRun));
    EXPECT_EQ(box.wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere) << "a run exactly at the limit";

    // The line breaker does not break at a no-break space, so a run of them
    // costs word wrapping as much as a run of letters.
    text::setTextBoxText(&box, QString());
    text::setTextBoxText(&box, QString(text::kLongestWordWrappedRun + 1, QChar(0x00A0)));
    EXPECT_EQ(box.wordWrapMode(), QTextOption::WrapAnywhere) << "a run of no-break spaces";
}

}  // namespace
