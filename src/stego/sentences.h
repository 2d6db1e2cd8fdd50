#pragma once

// What the window and the command-line tool both say about a message, in
// UTF-8; the window converts.  One wording for both programs.

#include <string>
#include <string_view>
#include <vector>

namespace stego {

inline constexpr std::string_view kNoMessageSentence = "THIS IMAGE DOES NOT HAVE A MIRROR VANE SECRET TEXT MESSAGE";
inline constexpr std::string_view kNoEndMarkerSentence =
    "The image starts with a Mirror Vane secret text message, but the message has no end marker.";

// The encrypted-text notice, line by line; the window shows an empty line
// before the last.
std::vector<std::string> encryptedTextNotice();

// The refusal of a text too long for the picture.  `excess` is already
// formatted (formatExcess).  A Windows-1252 text is counted in characters, as
// every version has; a UTF-8 text in bytes, since its characters take one to
// four.  `atLeast` when the text was not read to its end.
std::string tooMuchTextSentence(std::string_view excess, bool utf8, bool atLeast = false);

// The refusal of a text that would read back cut short at the end marker.
std::string cutShortSentence();

// The offer to hide a text Windows-1252 cannot hold as UTF-8 (the window's
// question follows `characters`, the list it shows), and the hint of the
// command-line tool.
std::string utf8Question(std::string_view characters);
inline constexpr std::string_view kUtf8Hint =
    "--utf8 hides it as UTF-8, which older versions and other programs show garbled";

}  // namespace stego
