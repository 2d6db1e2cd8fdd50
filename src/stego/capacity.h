#pragma once

// How much text a picture holds, and how much too much a refused text is.

#include <cstdint>
#include <string>
#include <string_view>

namespace stego {

// Pixels of a width x height picture; 0 when either side is not positive.
std::int64_t pixelCount(std::int64_t width, std::int64_t height) noexcept;

// Largest text length (not counting the markers) that a width x height
// picture holds: floor(W*H/3) - 24, or 0 when that is negative.
std::int64_t textCapacity(std::int64_t width, std::int64_t height) noexcept;

// How many characters too many a framed message of `framedLength` is:
// (3L - W*H) / 3 in double precision.  Positive exactly when it does not fit.
double excessCharacters(std::int64_t framedLength, std::int64_t width, std::int64_t height) noexcept;

// `value` with at most 15 significant digits, no trailing zeros and no
// exponent for the magnitudes a refusal can produce ("1", "0.666666666666667",
// "1.66666666666667"), with `decimalSeparator` in place of the point.
std::string formatExcess(double value, std::string_view decimalSeparator = ".");

}  // namespace stego
