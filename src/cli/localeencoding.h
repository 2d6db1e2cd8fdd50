#pragma once

// The encoding of the user's locale (LC_CTYPE), for the two places where
// the tool meets the user's own characters: the text of --text, typed as an
// argument, and a revealed text shown on a terminal.  Files, pipes and file
// names are UTF-8 whatever the locale.  Valid once QCoreApplication has set
// the locale from the environment.

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace cli {

// The locale's encoding when it is neither UTF-8 nor plain ASCII (the C
// locale), which both leave UTF-8 as it stands; else empty.
const std::string& localeEncoding();

// `bytes` in the locale's encoding as UTF-8; nothing when they are not valid there.
std::optional<std::string> localeToUtf8(std::string_view bytes);

// One character of UTF-8 as the locale's encoding writes it; nothing when
// the encoding has no such character.  The character as it is when the
// locale needs no conversion.
std::optional<std::string> utf8CharacterToLocale(std::string_view character);

// For each hidden byte, its Windows-1252 character as the locale's encoding
// writes it, or empty when the encoding has no such character.  Null when
// the locale needs no conversion.
const std::array<std::string, 256>* localeCharacters();

}  // namespace cli
