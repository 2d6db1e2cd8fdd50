#pragma once

// Reading a hidden message needs only the pixels it lies in, and pixels run
// column by column from the top-left: a message of N characters lies in
// the first 3(N + 24) / H columns.  For a PNG larger than a budget, every
// row is inflated (it must be, to reach the next) but only its first pixels
// are kept, so the message is read in memory proportional to the height
// alone, however wide the picture.

#include "imagefile/imageio.h"

#include <QString>

#include <cstdint>

namespace imagefile {

// What the first pass may keep: 4 bytes a pixel, height x columns.
inline constexpr std::int64_t kMessageColumnsBudgetBytes = std::int64_t(16) << 20;

// The picture at `path` as far as the hidden-message scan needs it.  For a
// non-interlaced PNG larger than `budgetBytes`, its first columns, as many
// as the budget holds, when the scan settles there (an end marker, or no
// start marker); otherwise, and for every other picture, the whole picture
// as loadPicture gives it, so the scan's answer, and any refusal, are
// always the whole picture's.
LoadResult loadForMessage(const QString& path, std::int64_t budgetBytes = kMessageColumnsBudgetBytes);

}  // namespace imagefile
