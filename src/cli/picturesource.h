#pragma once

// What every command does with a PICTURE argument: open it, read in place
// when it is an uncompressed BMP, decode it otherwise, and say why not.

#include "codecs.h"
#include "exitstatus.h"

#include "bmpfile/bmpformat.h"

#include <QFile>
#include <QString>

#include <cstdint>
#include <memory>

namespace cli {

inline const QString kStandardStream = QStringLiteral("-");

// One line on standard error; returns `status`.
int complain(const Failure& failure);
// The same with the pointer to --help; returns the usage status.
int usageError(const QString& sentence);

// What a command works on: an uncompressed 24 or 32-bit BMP file is read in
// place, in constant memory, whatever its size; anything else is decoded.
struct Picture {
    // A picture from standard input or another stream is kept in an unnamed
    // copy first, so that it meets exactly the checks of a named file and a
    // BMP of any size can still be read in place.
    std::unique_ptr<QFile> copy;
    std::unique_ptr<QFile> bmpFile;           // set when the BMP is read in place
    std::unique_ptr<DecodedPicture> decoded;  // the decoded picture otherwise
    std::int64_t width = 0, height = 0;
    bmpfile::Layout layout;     // of a BMP read in place
    // Set by openPicture's `quickNo` when the top rows alone showed there is
    // no start marker; nothing else is then set.
    bool noStartMarker = false;
    int status = kOk;                // a failure already reported when not kOk
    bool ok() const { return status == kOk; }
};

// `inPlace` lets a streamable BMP be read where it lies; otherwise, and for
// every other kind, the picture is decoded.  With `quickNo`, a PNG is first
// decoded only down to the rows the start-marker test needs, and when the
// test fails there, the picture is answered as having no message without
// decoding the rest; when it passes, a large PNG may be decoded only as far
// as the columns the scan settles in (width and height are then those of
// the decoded columns).  So `quickNo` is for commands that only scan.
Picture openPicture(const QString& path, bool inPlace, bool quickNo = false);

// Only the size: from the headers when they settle it (any size, nothing
// decoded, no pixels kept), else by decoding the picture.
Picture measurePicture(const QString& path);

}  // namespace cli
