#pragma once

// The arithmetic of the picture view: where the canvas sits in the viewport
// and what the two scroll bars hold.  Pure functions, no widgets.

#include <cstdint>
#include <optional>

namespace picture {

struct Size {
    double width = 0;
    double height = 0;
};

struct ScrollBarState {
    std::int16_t maximum = 0;   // may lie below the minimum (0)
    std::int16_t value = 0;
    bool visible = false;
};

struct ViewLayout {
    double canvasLeft = 0;   // the centring offset before any handler runs; fractions allowed
    double canvasTop = 0;
    ScrollBarState horizontal;
    ScrollBarState vertical;
};

// Rounds to nearest, ties to even, into a signed 16-bit value; nothing when
// out of range or not a number.
std::optional<std::int16_t> toInt16(double value) noexcept;

// Lays out a canvas in a viewport.  Returns nothing when a maximum or value
// falls outside the 16-bit range (a canvas larger than the viewport by more
// than 32767 pixels).
std::optional<ViewLayout> layoutPictureView(Size viewport, Size canvas) noexcept;

// Where the canvas ends after layoutPictureView given the bars' previous
// values: a handler runs (canvas = -value) only when a bar's value changes.
struct CanvasPosition {
    double left = 0;
    double top = 0;
};
CanvasPosition positionAfterLayout(const ViewLayout& layout, std::int16_t previousHorizontal,
                                   std::int16_t previousVertical) noexcept;

// Outer size of the viewport (`Picture1`) at 96 dpi.
inline constexpr Size kViewportSize{337, 281};

// True when a picture of this size is shown as a stretched preview rather
// than at full size: strictly wider or taller than the viewport.
bool needsPreview(Size viewport, Size picture) noexcept;

}  // namespace picture
