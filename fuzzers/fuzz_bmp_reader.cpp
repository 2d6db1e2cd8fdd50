// Our BMP reader against Qt's on the same bytes.  For every uncompressed 24
// or 32-bit file (the kinds our reader decodes row by row and the
// command-line tool streams) that both accept, the pixels must be equal; the
// streamed reveal must find what the engine finds in Qt's picture, and the
// streamed hide must give Qt's picture with the engine's hiding in it, and
// the hide over a patched copy the streamed hide's bytes.

#include "fuzzsupport.h"
#include "bmpfile/bmpformat.h"
#include "bmpfile/bmpstream.h"
#include "imagefile/imageio.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>

#include <cstddef>
#include <cstdint>

namespace {

// Qt's reading of the same bytes in the working format, or null.
QImage qtReading(const QByteArray& bytes) { return QImage::fromData(bytes, "bmp").convertToFormat(QImage::Format_RGB32); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::startQt(argc, argv);
    QImageReader::setAllocationLimit(imagefile::kAllocationLimitMB);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const bmpfile::Parsed parsed = bmpfile::parse({data, std::min(size, bmpfile::kHeadBytes)});
    if (!parsed.ok() || !parsed.layout.direct)
        return 0;
    const imagefile::LoadResult ours = imagefile::decodePicture(bytes);
    if (!ours.ok())
        return 0;
    const QImage theirs = qtReading(bytes);
    if (theirs.isNull())
        return 0;
    if (ours.image != theirs)  // both in the working format, whose == leaves out the unused top byte
        fuzz::fail("our BMP reader and Qt's disagree on the pixels of a", std::to_string(parsed.layout.bitsPerPixel) + "-bit file");

    // The streaming commands, on pictures small enough to hide in often.
    if (std::int64_t(theirs.width()) * theirs.height() > (1 << 20))
        return 0;
    QByteArray input = bytes;
    QBuffer in(&input);
    in.open(QIODevice::ReadOnly);
    // From memory in small bands, so that these small pictures cross band
    // seams too, and in the default ones, which take whole rows; from a file,
    // as the command-line tool reads it, every band by two threads.
    QFile positioned(fuzz::scratchWith(bytes));
    if (!positioned.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        fuzz::fail("the scratch file could not be opened");
    const stego::ReadResult engine = stego::readMessage(imagefile::surfaceOf(theirs));
    const std::pair<QIODevice*, bmpfile::BandSizes> reveals[] = {{&in, {64, 512}}, {&in, {}}, {&positioned, {64, 512, 0}}};
    for (const auto& [device, bands] : reveals) {
        const bmpfile::BmpReveal streamed = bmpfile::revealBmp(*device, nullptr, bands);
        if (!streamed.ok() || streamed.result.outcome != engine.outcome || streamed.result.text != engine.text)
            fuzz::fail("a streamed reveal differs from the engine's scan", fuzz::outcomeName(streamed.result.outcome));
    }

    // Texts long enough to reach many rows and columns of these pictures.
    const std::string text(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 16 + size % 2048));
    QByteArray output;
    const bmpfile::BmpHide hidden = bmpfile::hideBmp(in, text, [&](QByteArrayView block) { output.append(block); return true; });
    QImage expected = theirs.copy();
    const stego::HideReport report = stego::hideBytes(imagefile::surfaceOf(expected), text);
    if (!hidden.ok() || hidden.report.outcome != report.outcome)
        fuzz::fail("the streamed hide's outcome differs from the engine's");
    if (report.outcome == stego::HideOutcome::Hidden && qtReading(output) != expected)
        fuzz::fail("the streamed hide's picture differs from the engine's");

    // Over a copy patched row by row, as files are written: the same bytes.
    QByteArray copy;
    const bmpfile::BmpHide patched = bmpfile::hideBmp(
        in, text,
        bmpfile::PatchedCopy{[&](qint64 from, qint64 length) { copy.append(bytes.mid(from, length)); return true; },
                             [&](std::uint64_t at, QByteArrayView piece) {
                                 copy.replace(static_cast<qsizetype>(at), piece.size(), piece.toByteArray());
                                 return true;
                             },
                             {}});
    if (!patched.ok() || patched.report.outcome != report.outcome)
        fuzz::fail("the patched copy's outcome differs from the engine's");
    if (report.outcome == stego::HideOutcome::Hidden && copy != output)
        fuzz::fail("the patched copy differs from the streamed hide");
    return 0;
}
