#pragma once

// The reader's scan as a machine fed in the format's pixel order, shared by
// every road that reads a message: the engine on a decoded picture and the
// in-place reading of BMP files.  Each road extracts low bits its own fast
// way and feeds them here, so the start-marker test, the end-marker test and
// where the text ends are decided in one place.
//
// Order of events, as the reader walks the pixels:
//  - after every character the collected text is tested for ending in the
//    end marker, from the very first character on;
//  - when the 14th triple begins (a 40th pixel exists) the first 13
//    characters must be the start marker, which is then dropped;
//  - the text is what came before the first end marker.

#include "message.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace stego {

// Receives the text found in order, piece by piece, once the pieces are
// known to lie before the end marker.  Returns false to stop the scan.
using TextSink = std::function<bool(std::string_view)>;

class MessageScanner {
public:
    // Without a sink the text is kept and taken with takeText.
    MessageScanner() = default;
    explicit MessageScanner(TextSink sink) : m_sink(std::move(sink)) {}

    // The low bits of the next pixel as red*4 + green*2 + blue.  True once
    // the outcome is decided.
    bool feedPixel(std::uint32_t bits);
    // The 14th triple begins: the start-marker test.  feedPixel makes it
    // itself; a road that feeds characters calls it after the 39th pixel
    // when the picture has a 40th.
    bool beginBody();
    // Whole characters, from a character's start, once beginBody is done.
    bool feedCharacters(std::string_view characters);

    bool atCharacterStart() const noexcept { return m_place == 0; }
    bool done() const noexcept { return m_state == State::Found || m_state == State::NoStart || m_sinkFailed; }
    // Found or NoStartMarker once decided; else NoEndMarker (the scan ran
    // out of pixels).
    ReadOutcome outcome() const noexcept;
    // Without a sink: the text found.
    std::string takeText() { return std::move(m_text); }

private:
    enum class State { Head, Body, Found, NoStart };

    bool addCharacter(char c);
    bool deliver(std::string_view piece);
    // Hands on what may yet begin the end marker, but the last characters.
    bool releaseHeld();
    // The text ends with `lastPiece`.
    bool found(std::string_view lastPiece);

    TextSink m_sink;
    State m_state = State::Head;
    bool m_sinkFailed = false;
    std::uint32_t m_bits[3] = {};  // the current triple's pixels so far
    int m_place = 0;
    std::string m_head;  // the first 13 characters
    std::string m_held;  // body characters that may yet begin the end marker
    std::string m_text;  // without a sink
};

// Position of the first end marker in text[from, ...), if any.
std::optional<std::size_t> findEndMarker(std::string_view text, std::size_t from) noexcept;

}  // namespace stego
