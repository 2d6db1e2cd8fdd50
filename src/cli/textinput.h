#pragma once

// The text to hide, read and turned into the message body with a bound:
// nothing past what the picture can hold is kept, whatever the input's size,
// while the rest is still counted so that a refusal can say by how much.

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
    std::string codes;                  // Ok: the body, as it is hidden
    bool utf8 = false;                  // the body is the UTF-8 mark and the text in UTF-8
    std::vector<char32_t> unencodable;  // Unencodable: distinct offenders, in order of appearance
    std::int64_t length = 0;            // the body's length in bytes; TooLong and not `complete`: at least this
    bool complete = true;               // the whole input was read
    QString error;                      // ReadError: the system's reason
};

struct TextOptions {
    bool raw = false;   // the bytes are the body as they stand
    bool utf8 = false;  // a text Windows-1252 cannot hold may be hidden as UTF-8
};

class TextConverter {
public:
    // With `dropByteOrderMark` a leading byte-order mark is taken as the
    // encoding's signature, as text editors write it, not as text.
    TextConverter(std::int64_t capacity, TextOptions options, bool dropByteOrderMark);

    void feed(std::string_view bytes);
    // True once what was fed is already too long for the picture.
    bool tooLong() const { return bodyLength() > m_capacity; }
    // True once the input is known not to be UTF-8: more cannot change that.
    bool invalid() const { return m_invalid; }
    TextOutcome finish(bool complete);

private:
    void take(char32_t c, std::string_view bytes);
    std::int64_t bodyLength() const;
    void dropBodies();

    std::int64_t m_capacity;
    TextOptions m_options;
    bool m_checkByteOrderMark;
    bool m_invalid = false;
    bool m_keeping = true;    // the bodies below are still kept
    std::string m_pending;    // an incomplete UTF-8 sequence, or the first bytes while the mark is unknown
    std::string m_windows1252;
    std::string m_utf8;       // the text's UTF-8, kept only while UTF-8 is allowed
    std::int64_t m_characters = 0;
    std::int64_t m_utf8Bytes = 0;
    std::unordered_set<char32_t> m_seen;
    std::vector<char32_t> m_unencodable;
};

// The text given on the command line.
TextOutcome convertText(std::string_view bytes, std::int64_t capacity, TextOptions options);
// The text from an open descriptor, read until its end.  A descriptor that
// is not a regular file may never end: past a bound beyond the picture's
// room reading stops, and a refusal says "at least".
TextOutcome readText(int descriptor, std::int64_t capacity, TextOptions options);

}  // namespace cli
