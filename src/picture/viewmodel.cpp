#include "viewmodel.h"

namespace picture {
// Placeholder until the view model lands.
std::optional<std::int16_t> toInt16(double) noexcept { return std::nullopt; }
std::optional<ViewLayout> layoutPictureView(Size, Size) noexcept { return std::nullopt; }
CanvasPosition positionAfterLayout(const ViewLayout&, std::int16_t, std::int16_t) noexcept { return {}; }
bool needsPreview(Size viewport, Size picture) noexcept
{
    return picture.width > viewport.width || picture.height > viewport.height;
}
}  // namespace picture
