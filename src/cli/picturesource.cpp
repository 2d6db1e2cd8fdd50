#include "picturesource.h"

#include "jpegtop.h"
#include "output.h"
#include "picturestream.h"

#include "fileio/fileio.h"
#include "bmpfile/bmpstream.h"
#include "imagefile/picturesize.h"
#include "imagefile/toprows.h"

#include <string_view>

namespace cli {

int complain(const Failure& failure)
{
    complainLine(failure.reason);
    return exitStatusOf(failure.kind);
}

int usageError(const QString& sentence)
{
    complainLine(sentence);
    complainLine(std::string_view("Try 'mirrorvane-cli --help' for more information."));
    return kUsage;
}

namespace {

QString named(const QString& path)
{
    return path == kStandardStream ? QStringLiteral("from standard input") : shown(path);
}

int unreadable(const QString& path, const fileio::Failure& failure)
{
    return complain(commandFailure(QStringLiteral("cannot read the picture %1: ").arg(named(path)), failure));
}

// The name that opens the picture: `path` itself, or for a stream the
// unnamed copy kept in `picture`.  Empty, reported, when the copy failed.
QString openableName(Picture& picture, const QString& path)
{
    if (!isPictureStream(path))
        return path;
    picture.copy = std::make_unique<QFile>();
    if (const fileio::MaybeFailure failure = keepPictureStream(path, *picture.copy)) {
        picture.status = unreadable(path, *failure);
        return {};
    }
    return fileio::reopenableName(*picture.copy);
}

void decode(Picture& picture, const QString& path, const QString& file, bool forScan = false)
{
    fileio::MaybeFailure failure;
    if (const Codecs* decoders = codecs(failure); decoders != nullptr)
        picture.decoded = forScan ? decoders->loadForMessage(file, failure) : decoders->load(file, failure);
    if (!picture.decoded) {
        picture.status = unreadable(path, *failure);
        return;
    }
    const stego::PixelSurface pixels = picture.decoded->pixels();
    picture.width = pixels.width;
    picture.height = pixels.height;
}

// True when the top rows of the PNG or JPEG `file` show that it does not
// start with the start marker.  Anything that keeps the top rows from
// answering (another kind, an interlaced PNG, a progressive JPEG, a short
// picture, a decoder's refusal) gives false, and the whole picture is
// decoded, which says why where it matters.  A JPEG's rows are read here
// through libjpeg's small module, without loading the codecs module.
bool lacksStartMarker(const QString& file)
{
    QFile opened;
    if (fileio::openRegularFile(opened, file))
        return false;
    // The module is loaded for JPEG files only.
    const JpegColumnTop jpegColumnTop = opened.peek(2) == "\xFF\xD8" ? cli::jpegColumnTop() : nullptr;
    if (const auto column = jpegColumnTop ? jpegColumnTop(opened, imagefile::kStartMarkerRows) : std::nullopt) {
        const stego::ConstPixelSurface pixels(column->data(), 1, 1, imagefile::kStartMarkerRows);
        return stego::readMessage(pixels).outcome == stego::ReadOutcome::NoStartMarker;
    }
    const QByteArray top = imagefile::pngTopRows(opened, imagefile::kStartMarkerRows);
    fileio::MaybeFailure failure;
    const Codecs* decoders = top.isEmpty() ? nullptr : codecs(failure);
    const std::unique_ptr<DecodedPicture> decoded = decoders ? decoders->decode(top, failure) : nullptr;
    if (!decoded)
        return false;
    const stego::PixelSurface pixels = decoded->pixels();
    if (pixels.height < imagefile::kStartMarkerRows || pixels.width < 1)
        return false;
    // Column 0 of the top rows: the picture's first pixels, in their order.
    const stego::ConstPixelSurface column(pixels.pixels, pixels.stride, 1, imagefile::kStartMarkerRows);
    return stego::readMessage(column).outcome == stego::ReadOutcome::NoStartMarker;
}

}  // namespace

Picture openPicture(const QString& path, bool inPlace, bool quickNo)
{
    Picture picture;
    const QString file = openableName(picture, path);
    if (file.isEmpty())
        return picture;
    if (inPlace) {
        auto bmp = std::make_unique<QFile>();
        // A file that cannot be opened is left to the decoder, which says why.
        // Unbuffered: the in-place commands read slices of rows where they lie.
        if (!fileio::openRegularFile(*bmp, file, QIODevice::Unbuffered)) {
            const bmpfile::BmpProbe probe = bmpfile::probeBmp(*bmp);
            if (probe.streamable && probe.failure) {
                picture.status = unreadable(path, *probe.failure);
                return picture;
            }
            if (probe.streamable) {
                picture.bmpFile = std::move(bmp);
                picture.width = probe.layout.width;
                picture.height = probe.layout.height;
                picture.layout = probe.layout;
                return picture;
            }
        }
    }
    if (quickNo && lacksStartMarker(file)) {
        picture.noStartMarker = true;
        return picture;
    }
    decode(picture, path, file, quickNo);
    return picture;
}

Picture measurePicture(const QString& path)
{
    Picture picture;
    const QString file = openableName(picture, path);
    if (file.isEmpty())
        return picture;
    QFile opened;
    if (!fileio::openRegularFile(opened, file)) {
        if (const imagefile::HeaderSize size = imagefile::headerSize(opened); size.known) {
            picture.width = size.width;
            picture.height = size.height;
            return picture;
        }
    }
    decode(picture, path, file);
    return picture;
}

}  // namespace cli
