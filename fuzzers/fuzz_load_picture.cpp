// Picture loading on arbitrary file contents, the road Open Image and the
// command-line tool take: loadPicture, then the hidden-message scan on
// whatever it returned.  A loaded picture must be in the working format,
// fully opaque and within the reader's allocation limit; a refusal must say
// why.  The size capacity reads from the headers alone, when they settle it,
// must be the loaded picture's (turned a quarter at most), the top rows
// the start-marker test decodes alone must be the loaded picture's top rows,
// and the message read from a PNG's first columns must be the one read from
// the whole picture.

#include "fuzzsupport.h"
#include "imagefile/imageio.h"
#include "imagefile/jpegcolumntop.h"
#include "imagefile/messagecolumns.h"
#include "imagefile/picturesize.h"
#include "imagefile/toprows.h"

#include <QFile>
#include <QImage>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::startQt(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString scratchPath = fuzz::scratchWith(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    const imagefile::LoadResult result = imagefile::loadPicture(scratchPath);
    if (!result.ok()) {
        if (result.failure->reason.isEmpty())
            fuzz::fail("a refused picture comes without a reason");
        return 0;
    }
    const QImage& image = result.image;
    QFile again(scratchPath);
    if (!again.open(QIODevice::ReadOnly))
        fuzz::fail("cannot open the scratch file again");
    if (const imagefile::HeaderSize header = imagefile::headerSize(again); header.known) {
        const bool same = header.width == image.width() && header.height == image.height();
        const bool turned = header.width == image.height() && header.height == image.width();
        if (!same && !turned)
            fuzz::fail("the headers' size differs from the decoder's:",
                       std::to_string(header.width) + "x" + std::to_string(header.height) + " against "
                           + std::to_string(image.width()) + "x" + std::to_string(image.height()));
    }
    if (image.format() != QImage::Format_RGB32)
        fuzz::fail("loaded picture is not RGB32, format", std::to_string(image.format()));
    if (image.sizeInBytes() > qsizetype{imagefile::kAllocationLimitMB} * 1024 * 1024)
        fuzz::fail("loaded picture is over the allocation limit:", std::to_string(image.sizeInBytes()));
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((row[x] >> 24) != 0xFFU)
                fuzz::fail("loaded picture has a pixel that is not opaque");
    }
    const QByteArray top = imagefile::pngTopRows(again, imagefile::kStartMarkerRows);
    const imagefile::LoadResult part = imagefile::decodePicture(top);  // an empty one is refused
    const QRect rows(0, 0, image.width(), imagefile::kStartMarkerRows);
    if (part.ok() && (part.image.height() < rows.height() || part.image.copy(rows) != image.copy(rows)))
        fuzz::fail("the top rows decoded alone differ from the whole picture's");
    if (!again.seek(0))
        fuzz::fail("cannot rewind the scratch file");
    if (const auto column = imagefile::jpegColumnTop(again, imagefile::kStartMarkerRows))
        for (int y = 0; y < imagefile::kStartMarkerRows; ++y)
            if (y >= image.height() || (*column)[std::size_t(y)] != image.pixel(0, y))
                fuzz::fail("the top of column 0 read alone differs from the whole picture's");
    // A budget of half the columns, so a PNG takes the first-columns road;
    // every other kind goes the whole road anyway.
    if (size >= 4 && std::memcmp(data, "\x89PNG", 4) == 0) {
        const imagefile::LoadResult kept
            = imagefile::loadForMessage(scratchPath, std::int64_t(4) * image.height() * std::max(1, image.width() / 2));
        const stego::ReadResult fromKept = stego::readMessage(imagefile::surfaceOf(kept.image));
        const stego::ReadResult fromWhole = stego::readMessage(imagefile::surfaceOf(image));
        if (!kept.ok() || fromKept.outcome != fromWhole.outcome || fromKept.text != fromWhole.text)
            fuzz::fail("the message read from the first columns differs from the whole picture's");
    }
    fuzz::checkScan(imagefile::surfaceOf(image));
    return 0;
}
