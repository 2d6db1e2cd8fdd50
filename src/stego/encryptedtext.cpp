#include "encryptedtext.h"

#include <algorithm>
#include <array>

namespace stego {

namespace {

// The markers in Windows-1252, where \xE9 is the accented e.
constexpr std::array<std::string_view, 4> kFourCharacterMarkers = {"K 02", "K 01", "Kk02", "Kk01"};
constexpr std::array<std::string_view, 2> kThreeCharacterMarkers = {"\xE9 K", "\xE9kK"};
constexpr std::array<std::string_view, 2> kThreeCharacterMarkersUtf8 = {"\xC3\xA9 K", "\xC3\xA9kK"};
constexpr std::size_t kLongestMarker = 4;

bool contains(std::string_view text, std::string_view marker)
{
    return text.find(marker) != std::string_view::npos;
}

bool contains(std::u16string_view text, std::string_view marker)
{
    return std::search(text.begin(), text.end(), marker.begin(), marker.end(), [](char16_t c, char m) {
               return c == static_cast<unsigned char>(m);
           }) != text.end();
}

template <typename Text, std::size_t N>
bool containsAny(Text text, const std::array<std::string_view, N>& markers)
{
    return std::any_of(markers.begin(), markers.end(), [text](std::string_view m) { return contains(text, m); });
}

}  // namespace

bool isEncryptedText(std::u16string_view text) noexcept
{
    return containsAny(text, kFourCharacterMarkers) && containsAny(text, kThreeCharacterMarkers);
}

void EncryptedTextScanner::feed(std::string_view bytes)
{
    const auto& threeCharacter = m_utf8 ? kThreeCharacterMarkersUtf8 : kThreeCharacterMarkers;
    if (encrypted())
        return;
    constexpr std::size_t kKeep = kLongestMarker - 1;
    // A marker (four bytes at most) may straddle pieces: the bytes before
    // this piece are searched together with its first few.
    std::string seam = m_tail;
    seam.append(bytes.substr(0, std::min(bytes.size(), kKeep)));
    for (const std::string_view text : {std::string_view(seam), bytes}) {
        m_fourCharacter = m_fourCharacter || containsAny(text, kFourCharacterMarkers);
        m_threeCharacter = m_threeCharacter || containsAny(text, threeCharacter);
    }
    if (bytes.size() >= kKeep)
        m_tail.assign(bytes.substr(bytes.size() - kKeep));
    else
        m_tail = seam.substr(seam.size() - std::min(seam.size(), kKeep));
}

}  // namespace stego
