// A hidden text too long for the box: where the limits fall, and the offer
// to save it to a file instead; and the longest texts the box does take,
// laid out and repainted in bounded time.
#include "textfixture.h"

#include <QCoreApplication>
#include <QFont>
#include <QLocale>

namespace {

using testsupport::isFailureBox;
using texttest::runWithin;
using texttest::TextCommandsTest;

TEST(HiddenTextLimits, CharactersAndLinesAsTheBoxWouldCountThem)
{
    const auto lines = qsizetype(text::kMostHiddenLinesShown);
    const std::tuple<const char*, std::string, bool> rows[] = {
        {"empty", "", true},
        {"exactly the most characters", std::string(text::kMostHiddenCharactersShown, 'c'), true},
        {"one character over", std::string(text::kMostHiddenCharactersShown + 1, 'c'), false},
        {"exactly the most lines: CR LF is one break", QByteArray("\r\n").repeated(lines - 1).toStdString(), true},
        {"one line over with lone LFs", std::string(text::kMostHiddenLinesShown, '\n'), false},
        {"one line over with lone CRs", std::string(text::kMostHiddenLinesShown, '\r'), false},
        {"LF then CR is two breaks", QByteArray("x\n\r").repeated(lines / 2).toStdString(), false},
    };
    for (const auto& [why, hidden, fits] : rows)
        EXPECT_EQ(text::fitsTextBox(hidden), fits) << why;
}

TEST_F(TextCommandsTest, ATooLongHiddenTextIsOfferedAsAFile)
{
    const std::string hidden = "caf\xE9\r\n\x80" + std::string(text::kMostHiddenLinesShown, '\n');
    const QString path = pathOf(QStringLiteral("hidden.txt")), missing = pathOf(QStringLiteral("missing/hidden.txt"));
    // Declining is GetText.TextTooLongForTheBoxIsOfferedAsAFile's case; here
    // the dialog is cancelled, then a file chosen, then one that cannot be written.
    for (const std::optional<QString>& chosen : {std::optional<QString>(), std::optional(path), std::optional(missing)}) {
        text::setTextBoxText(m_text1, QStringLiteral("typed before"));
        m_platform.boxes.clear();
        m_platform.dialogs.clear();
        m_platform.answers = {platform::Answer::Yes};
        m_platform.dialogAnswers = {chosen};
        text::offerToSaveHiddenText(m_context, hidden);
        ASSERT_EQ(m_platform.boxes.size(), chosen == missing ? 2 : 1);
        const QString lineCount = QLocale().toString(qulonglong{text::kMostHiddenLinesShown + 2});
        EXPECT_TRUE(m_platform.boxes[0].text.contains(lineCount + QStringLiteral(" lines")))
            << m_platform.boxes[0].text.toStdString();
        EXPECT_EQ(m_platform.dialogs.size(), 1);
        EXPECT_EQ(QFile::exists(path), chosen.has_value());
        EXPECT_FALSE(m_label4->text().isEmpty());
        EXPECT_TRUE(m_text1->document()->isEmpty()) << "the old text is not the picture's";
        m_text1->undo();
        EXPECT_EQ(boxText(), QStringLiteral("typed before"));
    }
    EXPECT_EQ(readFile(path), QByteArray("caf\xC3\xA9\n\xE2\x82\xAC") + QByteArray(text::kMostHiddenLinesShown, '\n'));
    EXPECT_TRUE(isFailureBox(m_platform.boxes[1], QStringLiteral("The text file could not be saved:"), missing));
}

TEST(HiddenTextLayout, TheLongestTextsLayOutAndRepaintInBoundedTime)
{
    text::TextBox box;  // as the window sets it up
    box.resize(345, 281);
    box.setFont(QFont(QStringLiteral("Arial"), 10));
    text::adaptWrappingToLongRuns(&box);
    box.show();
    box.setFocus();
    QCoreApplication::processEvents();  // the window is exposed: until then nothing paints
    const std::pair<const char*, char> rows[] = {
        {"no-break spaces, where word wrapping finds no break", '\xA0'},
        {"soft hyphens, invisible, so one line holds them all", '\xAD'},
    };
    for (const auto& [why, byte] : rows) {
        const std::string hidden(text::kMostHiddenCharactersShown, byte);
        // Each takes a second or two; before the mends, half a minute to minutes.
        runWithin(15, [&] {
            text::setTextBoxWindows1252(&box, hidden);
            for (int blink = 0; blink < 5; ++blink)
                box.viewport()->repaint();
        });
        EXPECT_EQ(text::textBoxWindows1252(&box).bytes, hidden) << why;
    }
}

}  // namespace
