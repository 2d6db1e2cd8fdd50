#pragma once

// A PICTURE given as a stream: standard input ("-"), a pipe such as
// `<(cat x.bmp)` or /dev/stdin, a FIFO or a character device.  It is read
// once into an unnamed temporary copy, which the commands then read like any
// file: the same checks, and a BMP still read in place.

#include "fileio/failure.h"

#include <QFile>
#include <QString>

namespace cli {

// True when `path` is "-" or names something that can be read only once.
bool isPictureStream(const QString& path);

// Copies the stream `path` into `copy`: a BMP up to the size its headers
// declare, anything else up to one byte past the largest picture file the
// decoders take, so they refuse it for its size.
[[nodiscard]] fileio::MaybeFailure keepPictureStream(const QString& path, QFile& copy);

}  // namespace cli
