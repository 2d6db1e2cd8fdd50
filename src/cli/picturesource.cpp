#include "picturesource.h"

#include "output.h"
#include "picturestream.h"

#include "fileio/fileio.h"
#include "picture/bmpstream.h"

#include <string_view>

namespace cli {

int complain(int status, const QString& sentence)
{
    complainLine(sentence);
    return status;
}

int usageError(const QString& sentence)
{
    complainLine(sentence);
    complainLine(std::string_view("Try 'mirrorvane-cli --help' for more information."));
    return kUsage;
}

Picture openPicture(const QString& path, bool inPlace)
{
    Picture picture;
    const QString named = path == kStandardStream ? QStringLiteral("from standard input") : shown(path);
    QString file = path;
    if (isPictureStream(path)) {
        picture.copy = std::make_unique<QFile>();
        if (const QString error = keepPictureStream(path, *picture.copy); !error.isEmpty()) {
            picture.status = complain(kFileError, QStringLiteral("cannot read the picture %1: %2").arg(named, error));
            return picture;
        }
        file = fileio::reopenableName(*picture.copy);
    }
    if (inPlace) {
        auto bmp = std::make_unique<QFile>();
        // A file that cannot be opened is left to the decoder, which says why.
        // Unbuffered: the in-place commands read slices of rows where they lie.
        if (fileio::openRegularFile(*bmp, file, QIODevice::Unbuffered).isEmpty()) {
            const picture::BmpProbe probe = picture::probeBmp(*bmp);
            if (probe.streamable && !probe.error.isEmpty()) {
                picture.status = complain(kFileError, QStringLiteral("cannot read the picture %1: %2").arg(named, probe.error));
                return picture;
            }
            if (probe.streamable) {
                picture.bmpFile = std::move(bmp);
                picture.width = probe.layout.width;
                picture.height = probe.layout.height;
                return picture;
            }
        }
    }
    QString error;
    if (const Codecs* decoders = codecs(error); decoders != nullptr)
        picture.decoded = decoders->load(file, error);
    if (!picture.decoded) {
        picture.status = complain(kFileError, QStringLiteral("cannot read the picture %1: %2").arg(named, error));
        return picture;
    }
    const stego::PixelSurface pixels = picture.decoded->pixels();
    picture.width = pixels.width;
    picture.height = pixels.height;
    return picture;
}

}  // namespace cli
