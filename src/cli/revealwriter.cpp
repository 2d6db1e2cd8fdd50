#include "revealwriter.h"

#include "localeencoding.h"
#include "output.h"

#include "stego/codepage.h"
#include "stego/sentences.h"

#include <QString>

#include <algorithm>
#include <optional>

#include <unistd.h>

namespace cli {

RevealedTextWriter::RevealedTextWriter(bool raw, fileio::AtomicFile* file)
    : m_raw(raw), m_terminal(!file && isTerminal(STDOUT_FILENO)), m_file(file)
{
}

bool RevealedTextWriter::put(std::string_view bytes)
{
    if (m_file)
        return m_file->write(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    writeOut(bytes);
    return true;
}

bool RevealedTextWriter::write(std::string_view codes)
{
    m_encrypted.feed(codes);
    if (m_raw && !m_terminal)
        return put(codes);
    if (m_utf8 && !m_raw) {
        const std::size_t mark = std::min(m_markLeft, codes.size());
        m_markLeft -= mark;
        codes.remove_prefix(mark);
        return put(m_terminal ? escapeUtf8(codes) : std::string(codes));
    }
    const std::u16string text = stego::decodeWindows1252(codes);
    if (m_terminal)
        return put(escapeForTerminal(codes, text, !m_raw, m_escaped));
    return put(QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())).toStdString());
}

void RevealedTextWriter::finish()
{
    // The text comes before the notes when both go to one terminal.
    flushOut();
    if (m_escaped)
        complainLine(terminalEscapeNote());
    if (m_encrypted.encrypted())
        for (const std::string& line : stego::encryptedTextNotice())
            complainLine(line);
}

// UTF-8 for a terminal: C0 controls other than TAB, LF and CR, DEL, the
// C1 controls (C2 80 .. C2 9F) and, in a locale of another encoding,
// the characters it lacks, as \xHH of their bytes; the rest in the
// locale's encoding.  A character cut by a piece's end waits for the
// rest of it (the body is valid UTF-8).
std::string RevealedTextWriter::escapeUtf8(std::string_view piece)
{
    m_partial.append(piece);
    const std::string_view utf8 = m_partial;
    const bool convert = !localeEncoding().empty();
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        const std::size_t length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        if (i + length > utf8.size())
            break;
        const std::string_view character = utf8.substr(i, length);
        i += length;
        const bool control = (b < 0x20 && b != '\t' && b != '\n' && b != '\r') || b == 0x7F
                             || (b == 0xC2 && static_cast<unsigned char>(character[1]) <= 0x9F);
        if (!control && !convert) {
            out.append(character);
            continue;
        }
        const std::optional<std::string> shown = control ? std::nullopt : utf8CharacterToLocale(character);
        if (shown) {
            out += *shown;
            continue;
        }
        for (const char byte : character)
            appendEscape(out, static_cast<unsigned char>(byte));
    }
    m_partial.erase(0, i);
    return out;
}

void RevealedTextWriter::appendEscape(std::string& out, unsigned char b)
{
    out += hexEscape(b);
    m_escaped = true;
}

}  // namespace cli
