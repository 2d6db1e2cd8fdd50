#include "scanner.h"

#include <algorithm>
#include <cstring>

namespace stego {

namespace {

constexpr std::size_t kMarker = kEndMarker.size();
constexpr std::size_t kHeadCharacters = kStartMarker.size();
// Characters fed one at a time are handed on in batches of about this many.
constexpr std::size_t kHeldBatch = 256;

}  // namespace

// Blocks of 64 positions are first screened for four of the marker's letters
// at once (which the compiler vectorises), so ordinary prose, full of 'e's,
// is not compared position by position.
std::optional<std::size_t> findEndMarker(std::string_view text, std::size_t from) noexcept
{
    if (text.size() < from + kMarker)
        return std::nullopt;
    const std::size_t last = text.size() - kMarker;  // last position a marker can start at
    for (std::size_t block = from; block <= last; block += 64) {
        const std::size_t n = std::min<std::size_t>(64, last + 1 - block);
        const auto* p = reinterpret_cast<const unsigned char*>(text.data() + block);
        unsigned char candidate = 0;
        for (std::size_t k = 0; k < n; ++k)
            candidate |= static_cast<unsigned char>((p[k] == 'e') & (p[k + 3] == ' ') & (p[k + 4] == 'm') & (p[k + 10] == 'e'));
        if (candidate == 0)
            continue;
        for (std::size_t k = 0; k < n; ++k)
            if (std::memcmp(p + k, kEndMarker.data(), kMarker) == 0)
                return block + k;
    }
    return std::nullopt;
}

bool MessageScanner::feedPixel(std::uint32_t bits)
{
    if (done())
        return true;
    if (m_place == 0 && m_state == State::Head && m_head.size() == kHeadCharacters && beginBody())
        return true;
    m_bits[m_place] = bits;
    if (++m_place < 3)
        return false;
    m_place = 0;
    return addCharacter(static_cast<char>(characterOfPlaces(m_bits[0], m_bits[1], m_bits[2])));
}

bool MessageScanner::beginBody()
{
    if (m_state != State::Head)
        return done();
    if (m_head != kStartMarker) {
        m_state = State::NoStart;
        return true;
    }
    m_state = State::Body;
    return false;
}

bool MessageScanner::addCharacter(char c)
{
    std::string& collected = m_state == State::Head ? m_head : m_held;
    collected.push_back(c);
    if (c == 'e' && collected.size() >= kMarker
        && std::string_view(collected).substr(collected.size() - kMarker) == kEndMarker) {
        if (m_state == State::Head)
            m_held = std::move(m_head);
        return found(std::string_view(m_held).substr(0, m_held.size() - kMarker));
    }
    return m_state == State::Body && releaseHeld();
}

bool MessageScanner::feedCharacters(std::string_view characters)
{
    if (done())
        return true;
    const std::size_t heldBefore = m_held.size();
    // A marker across the seam of what is held and the new characters.
    m_held.append(characters.substr(0, std::min(characters.size(), kMarker - 1)));
    if (const auto at = findEndMarker(m_held, heldBefore >= kMarker - 1 ? heldBefore - (kMarker - 1) : 0))
        return found(std::string_view(m_held).substr(0, *at));
    m_held.resize(heldBefore);
    if (const auto at = findEndMarker(characters, 0))
        return !deliver(m_held) || found(characters.substr(0, *at));
    if (characters.size() < kMarker - 1) {
        m_held.append(characters);
        return releaseHeld();
    }
    // All but the last characters are text; those may begin the marker.
    if (!deliver(m_held) || !deliver(characters.substr(0, characters.size() - (kMarker - 1))))
        return true;
    m_held.assign(characters.substr(characters.size() - (kMarker - 1)));
    return false;
}

bool MessageScanner::releaseHeld()
{
    if (m_held.size() < kHeldBatch)
        return false;
    if (!deliver(std::string_view(m_held).substr(0, m_held.size() - (kMarker - 1))))
        return true;
    m_held.erase(0, m_held.size() - (kMarker - 1));
    return false;
}

bool MessageScanner::deliver(std::string_view piece)
{
    if (piece.empty())
        return true;
    if (!m_sink) {
        m_text.append(piece);
        return true;
    }
    if (!m_sink(piece)) {
        m_sinkFailed = true;
        return false;
    }
    return true;
}

bool MessageScanner::found(std::string_view lastPiece)
{
    deliver(lastPiece);
    m_held.clear();
    m_state = State::Found;
    return true;
}

ReadOutcome MessageScanner::outcome() const noexcept
{
    switch (m_state) {
    case State::Found:
        return ReadOutcome::Found;
    case State::NoStart:
        return ReadOutcome::NoStartMarker;
    default:
        return ReadOutcome::NoEndMarker;
    }
}

}  // namespace stego
