#pragma once

// The memory and file-size limits of reading pictures, shared by the
// decoders and the command-line tool (which needs Qt Core only).

#include <QtGlobal>

#include <cstdint>

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
// (the decoders' `heldBytes`), the new picture and the decoder's own buffers
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

// What opening a picture may hold: the picture already open, the decoded
// picture and the decoder's own buffers (for a JPEG a turned copy and
// libjpeg's whole-image coefficients, for a WebP libwebp's buffers) together
// stay within this.
inline constexpr std::int64_t kDecodeBudgetBytes = std::int64_t(2 * kAllocationLimitMB) << 20;

// Largest picture file read: a 32-bit BMP at the allocation limit, with room
// for its headers.
inline constexpr qint64 kMaxPictureFileBytes = qint64(kAllocationLimitMB + 16) << 20;

}  // namespace imagefile
