#pragma once

// Hiding and reading a message straight in an uncompressed 24 or 32-bit BMP
// file, without decoding the picture: for the command-line tool, whose
// pictures may be far larger than memory.  Peak memory stays a few tens of
// megabytes whatever the picture's size; the results are the engine's
// (stego::hideBytes and stego::readMessage on the decoded picture), bit for
// bit.

#include "bmpfile/bmpformat.h"
#include "fileio/failure.h"
#include "stego/body.h"
#include "stego/message.h"

#include <QByteArrayView>
#include <QIODevice>
#include <QString>

#include <functional>
#include <string_view>

namespace bmpfile {

// Receives the output in order; returns false when it could not take it
// (the sink's owner knows why).
using ByteSink = std::function<bool(QByteArrayView)>;

struct BmpProbe {
    Layout layout;
    bool streamable = false;  // an uncompressed 24 or 32-bit BMP that the two commands below take
    fileio::MaybeFailure failure;  // a streamable kind that cannot be read (a forged or truncated file)
};

// Reads the headers at the start of `in` (seekable, open for reading) and
// says whether hideBmp and revealBmp apply.  Anything else, including BMP
// kinds they do not take, comes back not streamable with no error: the
// caller decodes it instead.  Moves the device's position.
BmpProbe probeBmp(QIODevice& in);

struct BmpReveal {
    stego::ReadResult result;
    // Unreadable: the file could not be read to the end of what the scan
    // needs; Refused: it is not streamable; Unwritable: the text sink
    // refused a piece.
    fileio::MaybeFailure failure;
    // Found: how the text is encoded (stego/body.h).
    stego::BodyEncoding encoding = stego::BodyEncoding::Windows1252;
    bool ok() const { return !failure; }
};

// The engine's scan of a streamable BMP.  Reads the 40 pixels of the start
// marker test first and then only as far as the end marker: bands of columns
// sized to a fixed budget, each row's slice read where it lies.  `in` must
// be seekable; it is read with seek and read only.  The text found is held
// in memory (at most a third of a byte a pixel).
BmpReveal revealBmp(QIODevice& in);

// The same, with the text found handed to `textSink` in pieces (result.text
// stays empty) instead of held, so that memory stays bounded whatever the
// text's length: a text that runs past a few megabytes waits in a temporary
// file until its end marker shows that it is one.  Nothing reaches the sink
// unless the outcome is Found.
BmpReveal revealBmp(QIODevice& in, const ByteSink& textSink);
// The same, with `encoding` set before the first piece reaches the sink, so
// that the sink knows how to show the text.
BmpReveal revealBmp(QIODevice& in, const ByteSink& textSink, stego::BodyEncoding& encoding);

// The bands of columns reveal reads, in pixels: the first (every band costs
// a read a row, so it is not small) and the largest, which doubling stops
// at (the budget of low bits held at once).  A band of at least
// `twoThreadPixels` in a file read with positioned reads (an unbuffered
// QFile) is read by two threads, half of its rows each.  Tests shrink them
// to reach band seams and both halves in small pictures.
struct BandSizes {
    std::int64_t firstPixels = std::int64_t(4) << 20;
    std::int64_t largestPixels = std::int64_t(24) << 20;
    std::int64_t twoThreadPixels = std::int64_t(1) << 20;
};
BmpReveal revealBmp(QIODevice& in, const ByteSink* textSink, BandSizes bands);

// The same with everything a test may change: the bands, how much text is
// held before it goes to the spill file, and the spill device itself (a
// temporary file when null; opened ReadWrite when not open).
struct RevealTuning {
    BandSizes bands{};
    std::size_t spillChars = std::size_t(8) << 20;
    QIODevice* spill = nullptr;
    stego::BodyEncoding* encoding = nullptr;  // set before the first piece reaches the sink
};
BmpReveal revealBmp(QIODevice& in, const ByteSink* textSink, const RevealTuning& tuning);

struct BmpHide {
    stego::HideReport report;  // TooMuchText: nothing was written to the sink
    // Output is incomplete.  Unreadable: reading failed; Refused: the file is
    // not streamable or too large to be written as 24-bit; Unwritable: the
    // sink refused a block.
    fileio::MaybeFailure failure;
    bool ok() const { return !failure; }
};

// Copies `in` from its first byte to `sink`, block by block, with the framed
// `textBytes` (one Windows-1252 byte a character) in the low bits of exactly
// the pixels the engine would write.  Every other byte (headers, row padding,
// the unused fourth byte, other pixels, anything after the pixels) is copied
// unchanged.  `in` is read sequentially from the start, so a pipe will do; a
// file that ends before its last pixel is an error.
BmpHide hideBmp(QIODevice& in, std::string_view textBytes, const ByteSink& sink);

// The same result built over a copy: `copyRange` appends bytes of `in` to
// the output, a stretch at a time and in order (a file system copies file
// to file without the bytes passing through the program), and `writeAt`
// overwrites, row by row, just the slices of the stretches copied that the
// message lies in.  `settled`, if set, is told each stretch of the output
// that is final, so that it may go to disk while the rest is made.  `in`
// must be seekable.  A failed copy or write is Unwritable.
struct PatchedCopy {
    std::function<bool(qint64 from, qint64 size)> copyRange;
    std::function<bool(std::uint64_t at, QByteArrayView bytes)> writeAt;
    std::function<void(qint64 from, qint64 size)> settled;
    qint64 aheadBytes = qint64(8) << 20;  // copied ahead at a time; tests shrink it
};
BmpHide hideBmp(QIODevice& in, std::string_view textBytes, const PatchedCopy& out);

}  // namespace bmpfile
