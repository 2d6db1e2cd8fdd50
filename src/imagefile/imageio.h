#pragma once

// Reading picture files into the working picture's format and writing it
// back as BMP.  Open Image, the command-line tool and the fuzz target all go
// through these two functions.

#include "fileio/failure.h"
#include "imagefile/limits.h"
#include "stego/message.h"

#include <QIODevice>
#include <QImage>
#include <QString>

namespace imagefile {

struct LoadResult {
    QImage image;  // Format_RGB32, every pixel opaque; null on failure
    // Unreadable: the file could not be read or its data is damaged;
    // Refused: past a limit, or a kind or way of storing not read here;
    // OutOfMemory: the machine had not the memory.
    fileio::MaybeFailure failure;
    bool ok() const { return !failure; }
};

enum class FileKinds {
    RegularOnly,  // a FIFO or device named like a picture is refused, never waited on
    AnyReadable,  // pipes too (`<(cat x.bmp)`, /dev/stdin), for the command-line tool
};

// Reads the file once, judging it as it is decoded, so what is judged and
// what is decoded are the same, however the file changes.
// `heldBytes`: the memory of the picture that stays open while this one is
// read, counted in the budget above.  Running out of memory is a refusal
// like any other, never an exception.
LoadResult loadPicture(const QString& path, FileKinds kinds = FileKinds::RegularOnly, qint64 heldBytes = 0);

// Decodes BMP, JPEG, GIF, PNG or WebP, whatever the file's name says.  Palette
// pictures become their entries' colours (a transparent entry keeps its
// colour), alpha is dropped, an animated GIF or WebP gives its first frame and a
// JPEG's orientation tag is applied.  Pixels a BMP leaves undefined are
// black.  Every refusal is one sentence naming what is wrong.
LoadResult decodePicture(const QByteArray& bytes, qint64 heldBytes = 0);

// Writes `image` as an uncompressed 24-bit BMP of its full size, atomically:
// the target is replaced only when the whole file is written.  Returns the
// failure (Unwritable) or nothing.
[[nodiscard]] fileio::MaybeFailure saveBmp(const QImage& image, const QString& path);
// The same file written to `device` (standard output, say).
[[nodiscard]] fileio::MaybeFailure writeBmp(const QImage& image, QIODevice& device);

// The engine's view of an RGB32 image; `image` must be Format_RGB32 or ARGB32.
stego::PixelSurface surfaceOf(QImage& image);
stego::ConstPixelSurface surfaceOf(const QImage& image);

}  // namespace imagefile
