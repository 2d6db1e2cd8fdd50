#pragma once

// The text to hide, read and converted to the hidden bytes with a bound:
// nothing past what the picture can hold (plus one character) is kept or
// read from a stream, whatever the input's size.

#include <QString>

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace cli {

struct TextOutcome {
    enum Kind { Ok, NotUtf8, Unencodable, TooLong, ReadError };
    Kind kind = Ok;
    std::string codes;                  // Ok: one Windows-1252 byte a character
    std::vector<char32_t> unencodable;  // Unencodable: distinct offenders, in order of appearance
    std::int64_t characters = 0;        // characters read; TooLong and not `complete`: at least this many
    bool complete = true;               // the whole input was read
    QString error;                      // ReadError: the system's reason
};

class TextConverter {
public:
    // `raw`: the bytes are the hidden bytes.  Otherwise they are UTF-8, and
    // with `dropByteOrderMark` a leading byte-order mark is taken as the
    // encoding's signature, as text editors write it, not as text.
    TextConverter(std::int64_t capacity, bool raw, bool dropByteOrderMark);

    // Returns false once the outcome is settled and more input cannot change it.
    bool feed(std::string_view bytes);
    TextOutcome finish(bool complete);
    // Characters still to come before the text is too long; every
    // character takes at least one byte, so a read of this many bytes never
    // goes past the first character that does not fit.
    std::int64_t room() const { return m_capacity + 1 - m_outcome.characters; }

private:
    bool convert(std::string_view bytes);
    void count(std::u16string_view text);

    std::int64_t m_capacity;
    bool m_raw;
    bool m_checkByteOrderMark;
    std::string m_pending;  // an incomplete UTF-8 sequence, or the first bytes while the mark is unknown
    std::unordered_set<char32_t> m_seen;
    TextOutcome m_outcome;
};

// The text given on the command line.
TextOutcome convertText(std::string_view bytes, std::int64_t capacity, bool raw);
// The text from an open descriptor, read until its end or until it is too long.
TextOutcome readText(int descriptor, std::int64_t capacity, bool raw);

}  // namespace cli
