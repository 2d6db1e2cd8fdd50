#pragma once

// JPEG through libjpeg directly, with the limits held inside the library
// while it decodes: the picture ceiling and the memory of the whole-image
// coefficient buffer judged at the first scan's header, the number of scans
// counted as they are read, and no metadata kept but one EXIF block for the
// orientation.  Qt Core only: the full decoder fills its picture through
// this, and mirrorvane-cli reads a photo's top rows through it without the
// image libraries, so both give the same pixels by construction.

#include "fileio/failure.h"
#include "imagefile/headercheck.h"

#include <QIODevice>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace imagefile {

struct JpegState;  // libjpeg's, kept out of this header

class JpegReader {
public:
    // Reads `in` from its position on, a piece at a time, as far as the rows
    // asked for need; nothing after the last row is read.
    explicit JpegReader(QIODevice& in);
    ~JpegReader();
    JpegReader(const JpegReader&) = delete;
    JpegReader& operator=(const JpegReader&) = delete;

    // The headers up to the first scan, judged against the picture ceiling,
    // the decoding budget with `heldBytes` already taken, and the colour
    // components this program reads.  Nothing when rows may be read, else
    // the failure for the user.
    [[nodiscard]] fileio::MaybeFailure start(std::int64_t heldBytes);

    // After a successful start.
    std::int64_t width() const;
    std::int64_t height() const;
    // 1 to 8 from the first EXIF block; 1 when upright, absent or unreadable.
    int orientation() const;
    // True when the first row needs every scan of the file: a progressive
    // picture, or components in scans of their own.
    bool needsEveryScan() const;
    // The resolution in dots per metre as Qt's reader gives it; 0 when unstated.
    int dotsPerMeterX() const;
    int dotsPerMeterY() const;

    // The next `count` rows as the stored picture has them (unturned), each
    // width() pixels 0xFFRRGGBB, the rows `strideBytes` apart from `first`.
    // Nothing when they were read, else the failure for the user; the
    // reader is spent then.
    [[nodiscard]] fileio::MaybeFailure readRows(unsigned char* first, std::ptrdiff_t strideBytes, std::int64_t count);

    // Before the first readRows: from then on only the left `columns` of
    // each row are decoded (all of them in a narrower picture), and
    // `columns` is set to the width readRows gives.  The last column kept
    // is smoothed as an edge, so it may differ from a whole row's; the
    // others are exact.
    [[nodiscard]] fileio::MaybeFailure keepLeftColumns(std::int64_t& columns);

private:
    // What stopped libjpeg.
    fileio::Failure failure() const;

    std::unique_ptr<JpegState> m_state;
};

// Why the JPEG described by `facts` cannot be decoded beside `heldBytes`
// already open (Refused); nothing when it may be.
[[nodiscard]] fileio::MaybeFailure jpegRefusalBeside(const headercheck::JpegFacts& facts, std::int64_t heldBytes);

}  // namespace imagefile
