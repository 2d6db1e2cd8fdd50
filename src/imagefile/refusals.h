#pragma once

// The sentences every decoder gives for the refusals they share.  Qt Core
// only, so that the readers the command-line tool runs in its own process
// say the same as the full decoders.

#include "fileio/failure.h"

#include <QString>

#include <cstdint>

namespace imagefile {

// Why a picture of width x height is refused (Refused), or nothing when it
// fits the ceiling.
[[nodiscard]] fileio::MaybeFailure tooLargeError(std::int64_t width, std::int64_t height);
// The machine had not the memory for the picture (OutOfMemory).
fileio::Failure notEnoughMemory();
// "The <FORMAT> picture's data is damaged or cut short" (Unreadable).
fileio::Failure damaged(const char* format);

}  // namespace imagefile
