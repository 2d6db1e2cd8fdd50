#pragma once

// Reading picture files into the working picture's format and writing it
// back as BMP.  Open Image, the command-line tool and the fuzz target all go
// through these two functions.

#include "stego/message.h"

#include <QIODevice>
#include <QImage>
#include <QString>

namespace imagefile {

// Largest decoded picture, in megabytes at 4 bytes a pixel, that the reader
// will allocate: 268 megapixels, such as 16384 x 16384.  A fixed ceiling, not
// a share of the machine's memory, so that a picture that opens on one
// machine opens on every other.  It sits well above the largest camera
// photos (a 150-megapixel back needs 580 MB) and stitched panoramas of that
// order, and far below what a forged header can ask for (60000 x 60000 is
// 13 GB).  Qt's own default, 128 MB, would refuse a 40-megapixel photo.
//
// What opening costs, at most: 2 GB for the picture already open
// (`heldBytes` below), the new picture and the decoder's own buffers
// together.  Only a JPEG and a lossless WebP come near that: libjpeg's
// whole-image coefficients for a progressive file, a second picture for a
// moment while a photo is given a quarter turn, and libwebp's own copy of a
// lossless picture are counted before decoding starts, and refused past it.
// A file is read by its decoder a piece at a time, as far as the picture
// needs, so metadata and data past the last row cost neither memory nor
// decoding; only a BMP of other than 24 or 32 bits, a JPEG of up to 64 MB
// (for the quick look at its markers), a WebP (libwebp decodes from memory)
// and a picture from a pipe are held whole while they are decoded.
// Measured: with a 16384 x 16384 picture open, opening a 16384 x 16384 JPEG
// (a 30 MB file) peaks 2081 MB above where the load started; a progressive
// or turned one of that size is refused beside it, and opens alone at 1821
// and 2084 MB.  The command-line tool answers every hostile picture of the
// tests within 100 MB.
inline constexpr int kAllocationLimitMB = 1024;

struct LoadResult {
    QImage image;   // Format_RGB32, every pixel opaque; null on failure
    QString error;  // the reader's reason, for the user; empty on success
    bool ok() const { return !image.isNull(); }
};

// Largest picture file read: a 32-bit BMP at the allocation limit, with room
// for its headers.
inline constexpr qint64 kMaxPictureFileBytes = qint64(kAllocationLimitMB + 16) << 20;

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
// reason on failure, an empty string on success.
QString saveBmp(const QImage& image, const QString& path);
// The same file written to `device` (standard output, say); returns the
// reason a write failed, or an empty string.
QString writeBmp(const QImage& image, QIODevice& device);

// The engine's view of an RGB32 image; `image` must be Format_RGB32 or ARGB32.
stego::PixelSurface surfaceOf(QImage& image);
stego::ConstPixelSurface surfaceOf(const QImage& image);

}  // namespace imagefile
