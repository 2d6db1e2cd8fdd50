#include "viewmodel.h"

#include <cmath>

namespace picture {

std::optional<std::int16_t> toInt16(double value) noexcept
{
    if (!std::isfinite(value))
        return std::nullopt;
    // Explicit ties-to-even, so the result never depends on the floating-point
    // environment's rounding mode.
    const double floor = std::floor(value);
    const double fraction = value - floor;
    double rounded = floor;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(floor, 2.0) != 0.0))
        rounded = floor + 1.0;
    if (rounded < -32768.0 || rounded > 32767.0)
        return std::nullopt;
    return static_cast<std::int16_t>(rounded);
}

std::optional<ViewLayout> layoutPictureView(Size viewport, Size canvas) noexcept
{
    ViewLayout layout;
    if (canvas.height < viewport.height)
        layout.canvasTop = (viewport.height - canvas.height) / 2;
    if (canvas.width < viewport.width)
        layout.canvasLeft = (viewport.width - canvas.width) / 2;

    const auto horizontalMaximum = toInt16(canvas.width - viewport.width);
    const auto verticalMaximum = toInt16(canvas.height - viewport.height);
    if (!horizontalMaximum || !verticalMaximum)
        return std::nullopt;
    layout.horizontal.maximum = *horizontalMaximum;
    layout.vertical.maximum = *verticalMaximum;

    layout.vertical.visible = viewport.height < canvas.height;
    layout.horizontal.visible = viewport.width < canvas.width;

    const auto horizontalValue = toInt16((canvas.width - viewport.width) / 2);
    const auto verticalValue = toInt16((canvas.height - viewport.height) / 2);
    if (!horizontalValue || !verticalValue)
        return std::nullopt;
    layout.horizontal.value = *horizontalValue;
    layout.vertical.value = *verticalValue;
    return layout;
}

CanvasPosition positionAfterLayout(const ViewLayout& layout, std::int16_t previousHorizontal,
                                   std::int16_t previousVertical) noexcept
{
    CanvasPosition position{layout.canvasLeft, layout.canvasTop};
    if (layout.horizontal.value != previousHorizontal)
        position.left = -static_cast<double>(layout.horizontal.value);
    if (layout.vertical.value != previousVertical)
        position.top = -static_cast<double>(layout.vertical.value);
    return position;
}

bool needsPreview(Size viewport, Size picture) noexcept
{
    return picture.width > viewport.width || picture.height > viewport.height;
}

}  // namespace picture
