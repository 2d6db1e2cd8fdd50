// Text1 keeps prose wrapping between words but must not freeze on a pasted
// run without spaces, which word wrapping lays out in seconds.
#include "text/textbox.h"

#include <QPlainTextEdit>

#include <gtest/gtest.h>

namespace {

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
}

}  // namespace
