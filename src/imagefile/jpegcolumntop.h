#pragma once

// What the start-marker test reads of a JPEG, read through the JPEG reader
// without the rest of the file.

#include <QIODevice>

#include <cstdint>
#include <optional>
#include <vector>

namespace imagefile {

// The top `rows` pixels of column 0 of a sequential JPEG that stands
// upright, the pixels the start-marker test reads, exactly as the whole
// picture's decode gives them, read without the rest of the file.  Nothing
// when that does not apply: not a JPEG, a picture the decoder refuses or
// cannot read, one whose top rows need every scan (progressive) or lie
// elsewhere in the file (turned by its EXIF block), or one with no more
// than `rows` rows.  The whole decoder then answers, with its reason.
std::optional<std::vector<std::uint32_t>> jpegColumnTop(QIODevice& in, int rows);

}  // namespace imagefile
