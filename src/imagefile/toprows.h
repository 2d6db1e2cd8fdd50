#pragma once

// The start-marker test needs the first 40 pixels, which run down column 0:
// the top 40 rows of any picture at least that tall.  For a PNG those rows
// come first in the file, and a PNG of just those rows can be made from its
// headers and the start of its pixel data, without inflating the rest.  The
// decoder then reads that small PNG exactly as it would the whole one, so the
// pixels it gives are the whole picture's top rows, bit for bit.  (A JPEG's
// top rows are read by libjpeg itself: jpegcolumntop.h.)

#include <QByteArray>
#include <QIODevice>

namespace imagefile {

// Rows enough for the start-marker test (13 characters, 3 pixels each, and
// the first pixel of the 14th triple).
inline constexpr int kStartMarkerRows = 40;

// The PNG in `in` (seekable, open for reading) cut to its first `rows` rows:
// the same chunks up to the pixel data, IHDR giving `rows` as the height,
// and those rows' filtered bytes, exactly as stored, in a stream of their
// own.  Empty when
// that does not apply: not a PNG, interlaced (its top rows are spread over
// seven passes), no taller than `rows`, pixel data that does not inflate
// to those rows, or headers out of the ordinary.
// Moves the device's position.
QByteArray pngTopRows(QIODevice& in, int rows);

}  // namespace imagefile
