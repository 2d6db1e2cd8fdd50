// The one-pass Windows-1252 routes in and out of `Text1` against the plain
// route they stand in for: CR LF conversion, then the code page.

#include "stego/codepage.h"
#include "text/textbox.h"

#include <QPlainTextEdit>
#include <QTextCursor>

#include <gtest/gtest.h>

#include <string>

namespace {

stego::EncodeResult plainRoute(const QPlainTextEdit& box)
{
    const QString crlf = text::textBoxText(&box);
    return stego::encodeWindows1252(
        std::u16string_view(reinterpret_cast<const char16_t*>(crlf.utf16()), static_cast<std::size_t>(crlf.size())));
}

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
        {"empty lines at both ends", QStringLiteral("\n\nmiddle\n")},
        {"code page letters inside a group", QStringLiteral("caf\u00e9 \u20ac5 \u2014 na\u00efve \u0178 \u00a0 \u0081")},
        {"a letter in the second half of a group", QString(11, u'x') + QStringLiteral("\u00e9") + QString(20, u'y')},
        {"a soft line break typed as Shift+Enter", QStringLiteral("one\u2028two")},
        {"one character outside the code page, late", sixteen + sixteen + QStringLiteral("\u0100")},
        {"offenders repeated, a surrogate pair among them",
         QStringLiteral("\u0100 \U0001F600 \u0100 ok \u4e2d \U0001F600")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        QPlainTextEdit box;
        box.setPlainText(row.text);
        const stego::EncodeResult fused = text::textBoxWindows1252(&box);
        const stego::EncodeResult plain = plainRoute(box);
        EXPECT_EQ(fused.bytes, plain.bytes);
        EXPECT_EQ(fused.unencodable, plain.unencodable);
    }
}

TEST(TextBoxWindows1252, EveryByteComesBackThroughTheBox)
{
    // Every byte but the line-break ones, which come back as CR LF pairs.
    std::string bytes;
    for (int b = 0; b < 256; ++b)
        if (b != '\r' && b != '\n')
            bytes += static_cast<char>(b);
    bytes += "\r\nend\rlone\nfeed";

    QPlainTextEdit box;
    text::setTextBoxWindows1252(&box, bytes);
    std::string expected = bytes;
    expected.replace(expected.find("\rlone\n"), 6, "\r\nlone\r\n");
    EXPECT_EQ(text::textBoxWindows1252(&box).bytes, expected);
    EXPECT_EQ(text::textBoxText(&box).at(0x80 - 2), QChar(0x20AC)) << "0x80 is the euro sign, not a C1 control";
}

}  // namespace
