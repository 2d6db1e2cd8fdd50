#pragma once

// Text files as Open Text reads them and Save Text writes them.  Files are
// written as a Linux editor writes them (UTF-8 without a byte-order mark, LF
// line breaks); reading also takes the files of older versions and of Windows
// programs (Windows-1252, UTF-16).  None of this touches the hidden message,
// which stays one Windows-1252 byte a character with CR LF breaks.

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <optional>
#include <string_view>

namespace text {

// A text file's bytes as text, by the first rule that applies:
//  1. EF BB BF: UTF-8, the mark dropped;
//  2. FF FE / FE FF: UTF-16 little- / big-endian, the mark dropped;
//  3. two bytes or more and the second is zero: UTF-16 little-endian;
//  4. valid UTF-8: UTF-8;
//  5. anything else: Windows-1252, one character a byte.
// In UTF-16 a final odd byte is dropped and a lone surrogate becomes U+FFFD.
// A file with the UTF-8 mark that is not valid UTF-8 falls to rule 5, mark
// and all: no byte of a file is ever dropped or turned into "?" unseen.
QString decodeTextFile(const QByteArray& bytes);

// Strict UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF), or
// nothing when `bytes` is not valid UTF-8.
std::optional<QString> decodeUtf8(QByteArrayView bytes);

// `text` as UTF-8 with every line break (LF, CR LF, a lone CR, U+2028, U+2029)
// written as LF; a lone surrogate, which no file can hold, is written as U+FFFD.
QByteArray encodeTextFile(QStringView text);

// A hidden text's Windows-1252 bytes straight as a text file, as
// encodeTextFile would write them once shown in the box, without the box.
QByteArray windows1252ToTextFile(std::string_view bytes);

}  // namespace text
