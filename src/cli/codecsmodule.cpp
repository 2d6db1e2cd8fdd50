// The codecs module of mirrorvane-cli: the picture library's decoders and
// writers behind the plain interface in codecs.h.
#include "codecs.h"

#include "imagefile/imageio.h"
#include "imagefile/librarymessages.h"
#include "imagefile/messagecolumns.h"
#include "imagefile/pngwriter.h"

#include <mirrorvane/version.h>

#include <QImage>

#include <cstring>
#include <type_traits>

namespace {

class Decoded final : public cli::DecodedPicture {
public:
    explicit Decoded(QImage image) : m_image(std::move(image)) {}

    stego::PixelSurface pixels() override { return imagefile::surfaceOf(m_image); }

    fileio::MaybeFailure write(bool png, QIODevice& device) const override
    {
        return png ? imagefile::writePng(m_image, device) : imagefile::writeBmp(m_image, device);
    }

private:
    QImage m_image;
};

class PictureCodecs final : public cli::Codecs {
public:
    std::unique_ptr<cli::DecodedPicture> load(const QString& path, fileio::MaybeFailure& failure) const override
    {
        return taken(imagefile::loadPicture(path), failure);
    }

    std::unique_ptr<cli::DecodedPicture> loadForMessage(const QString& path, fileio::MaybeFailure& failure) const override
    {
        return taken(imagefile::loadForMessage(path), failure);
    }

    std::unique_ptr<cli::DecodedPicture> decode(const QByteArray& bytes, fileio::MaybeFailure& failure) const override
    {
        return taken(imagefile::decodePicture(bytes), failure);
    }

private:
    static std::unique_ptr<cli::DecodedPicture> taken(imagefile::LoadResult loaded, fileio::MaybeFailure& failure)
    {
        if (!loaded.ok()) {
            failure = std::move(loaded.failure);
            return nullptr;
        }
        return std::make_unique<Decoded>(std::move(loaded.image));
    }
};

}  // namespace

extern "C" Q_DECL_EXPORT const cli::Codecs* mirrorvane_cli_codecs(const char* version)
{
    if (version == nullptr || std::strcmp(version, mirrorvane::kVersionString) != 0)
        return nullptr;
    // This module has its own copy of the quieting switch its readers consult.
    imagefile::quietLibraryMessages();
    static const PictureCodecs codecs;
    return &codecs;
}
static_assert(std::is_same_v<decltype(&mirrorvane_cli_codecs), cli::CodecsEntry>);
