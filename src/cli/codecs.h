#pragma once

// The picture work that needs the image libraries: decoding JPEG, GIF, PNG
// and the BMP kinds not read in place, and writing BMP and PNG files from a
// decoded picture.  It lives in a module of its own, loaded the first time a
// command needs it, so that the commonest commands (on uncompressed BMP
// files) start without Qt's image libraries, which cost more than the
// command itself.  The module comes from the same build as the program; it
// is refused when its version differs.

#include "fileio/failure.h"
#include "stego/message.h"

#include <QIODevice>
#include <QString>

#include <memory>

namespace cli {

// A decoded picture, owned by the module.
class DecodedPicture {
public:
    virtual ~DecodedPicture() = default;
    // The pixels, for the engine; valid while the picture lives.
    virtual stego::PixelSurface pixels() = 0;
    // Writes the picture as an uncompressed 24-bit BMP or as a PNG.
    [[nodiscard]] virtual fileio::MaybeFailure write(bool png, QIODevice& device) const = 0;
};

class Codecs {
public:
    virtual ~Codecs() = default;
    // Decodes the regular file at `path`; null, with the decoder's failure
    // in `failure`, when it cannot.
    virtual std::unique_ptr<DecodedPicture> load(const QString& path, fileio::MaybeFailure& failure) const = 0;
    // The same, for the hidden-message scan alone: the pixels may stop
    // after the columns the scan settles in.
    virtual std::unique_ptr<DecodedPicture> loadForMessage(const QString& path, fileio::MaybeFailure& failure) const = 0;
    // The same as load for a picture already in memory.
    virtual std::unique_ptr<DecodedPicture> decode(const QByteArray& bytes, fileio::MaybeFailure& failure) const = 0;
};

// The module's entry point, as a C name for the loader to find.
inline constexpr const char* kCodecsEntry = "mirrorvane_cli_codecs";
using CodecsEntry = const Codecs* (*)(const char* version);

// The module, loaded on the first call and kept for the rest of the run;
// null, with why (Unreadable) in `failure`, when it cannot be loaded.
const Codecs* codecs(fileio::MaybeFailure& failure);

// The entry point `name` of the module at `fromProgram` (a path from the
// program's folder), the module loaded and kept for the rest of the run;
// null, with why (Unreadable) in `failure`, when it cannot be loaded.
QFunctionPointer moduleEntry(const QString& fromProgram, const char* name, fileio::MaybeFailure& failure);

}  // namespace cli
