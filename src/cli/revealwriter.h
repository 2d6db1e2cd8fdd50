#pragma once

// A found text on its way to standard output, or to the file of reveal -o.

#include "fileio/fileio.h"
#include "stego/body.h"
#include "stego/encryptedtext.h"
#include "stego/message.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace cli {

// Writes a found text to standard output piece by piece, as it is read, so
// that a text of any length costs a few megabytes at most: on a terminal
// with control characters escaped, with --raw as its bytes, else as UTF-8.
// Windows-1252 maps byte for byte, so pieces convert on their own; a UTF-8
// body is already UTF-8 once its mark is dropped.
class RevealedTextWriter {
public:
    // With `raw` the body's bytes as they are, mark and all.  With `file`
    // the text goes there, exactly, rather than to standard output.
    explicit RevealedTextWriter(bool raw, fileio::AtomicFile* file = nullptr);

    // Before the first piece.
    void begin(stego::BodyEncoding encoding)
    {
        m_utf8 = encoding == stego::BodyEncoding::Utf8;
        m_markLeft = m_utf8 && !m_raw ? stego::kUtf8Mark.size() : 0;
        m_encrypted = stego::EncryptedTextScanner(m_utf8);
    }

    // False when the file refused the piece (it keeps the reason).
    bool write(std::string_view codes);

    // After the last piece: the notes that go to standard error.
    void finish();

private:
    // UTF-8 for a terminal: controls and, in a locale of another encoding,
    // the characters it lacks as \xHH of their bytes.
    std::string escapeUtf8(std::string_view piece);
    void appendEscape(std::string& out, unsigned char b);
    bool put(std::string_view bytes);

    bool m_raw;
    bool m_terminal;
    fileio::AtomicFile* m_file;
    bool m_utf8 = false;
    std::size_t m_markLeft = 0;
    std::string m_partial;  // a character cut by the last piece's end
    bool m_escaped = false;
    stego::EncryptedTextScanner m_encrypted;
};

}  // namespace cli
