// The text-file decoder on arbitrary file contents.  Besides not crashing,
// it must keep its promises: a UTF-16 file gives one character per pair after
// any mark (a lone surrogate as U+FFFD, nothing else changed); a file read as
// UTF-8 is exactly its bytes again when encoded back; any other file is
// Windows-1252, one character a byte.  And what Save Text would write of the
// decoded text opens as the same text, line breaks aside.

#include "fuzzsupport.h"
#include "stego/codepage.h"
#include "text/textfile.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

void checkUtf16(const QString& text, const std::uint8_t* data, std::size_t size, bool littleEndian)
{
    if (static_cast<std::size_t>(text.size()) != size / 2)
        fuzz::fail("UTF-16 file decoded to the wrong length:", std::to_string(text.size()));
    for (std::size_t i = 0; i < size / 2; ++i) {
        const auto unit = static_cast<char16_t>(data[2 * i + !littleEndian] | (data[2 * i + littleEndian] << 8));
        const char16_t got = text.at(static_cast<qsizetype>(i)).unicode();
        const bool surrogate = unit >= 0xD800 && unit <= 0xDFFF;
        if (got != unit && !(surrogate && got == 0xFFFD))
            fuzz::fail("UTF-16 unit changed at", std::to_string(i));
    }
}

QString withLfBreaks(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    return text.replace(QChar::LineSeparator, u'\n').replace(QChar::ParagraphSeparator, u'\n');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString text = text::decodeTextFile(bytes);
    const bool utf8Mark = size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF;

    const bool littleMark = size >= 2 && data[0] == 0xFF && data[1] == 0xFE;
    const bool bigMark = size >= 2 && data[0] == 0xFE && data[1] == 0xFF;
    if (!utf8Mark && (littleMark || bigMark || (size >= 2 && data[1] == 0))) {
        const std::size_t mark = littleMark || bigMark ? 2 : 0;
        checkUtf16(text, data + mark, size - mark, !bigMark);
    } else {
        const bool asWindows1252 = text == QString::fromStdU16String(stego::decodeWindows1252(bytes.toStdString()));
        const QByteArray utf8 = utf8Mark ? bytes.sliced(3) : bytes;
        if (!asWindows1252 && text.toUtf8() != utf8)
            fuzz::fail("file neither read as its UTF-8 nor as Windows-1252");
        if (asWindows1252 && text::decodeUtf8(utf8).has_value() && text.toUtf8() != utf8)
            fuzz::fail("valid UTF-8 read as Windows-1252");
    }

    // Save then open.  A leading U+FEFF is taken for the mark, and a NUL
    // second byte for UTF-16, so those two texts are left out.
    const QByteArray saved = text::encodeTextFile(text);
    if (!text.startsWith(QChar(0xFEFF)) && !(saved.size() >= 2 && saved[1] == '\0')
        && text::decodeTextFile(saved) != withLfBreaks(text))
        fuzz::fail("saved text opens differently");
    return 0;
}
