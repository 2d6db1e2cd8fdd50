// Placeholder until the engine lands.
#include "message.h"

namespace stego {
std::uint32_t colourOf(std::uint32_t pixel) noexcept { return pixel; }
std::uint32_t pixelOf(std::uint32_t colour) noexcept { return colour; }
std::string byteToBin(std::int16_t) { return "00000000"; }
std::string frameMessage(std::string_view text) { return std::string(kStartMarker) + std::string(text) + std::string(kEndMarker); }
std::int64_t textCapacity(std::int64_t, std::int64_t) noexcept { return 0; }
double excessCharacters(std::int64_t, std::int64_t, std::int64_t) noexcept { return 0; }
std::string formatExcess(double, std::string_view) { return "0"; }
HideReport hideBytes(PixelSurface, std::string_view) { return {}; }
HideReport hideText(PixelSurface, std::u16string_view) { return {}; }
ReadResult readMessage(ConstPixelSurface) { return {}; }
bool isEncryptedText(std::u16string_view) noexcept { return false; }
}  // namespace stego
