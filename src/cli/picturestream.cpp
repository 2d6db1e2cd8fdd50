#include "picturestream.h"

#include "fileio/fileio.h"
#include "bmpfile/bmpformat.h"
#include "imagefile/limits.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <span>

#include <fcntl.h>
#include <unistd.h>

namespace cli {

namespace {

static_assert(fileio::kStreamHeadBytes >= qint64(bmpfile::kHeadBytes), "a BMP's headers fit in the head");

qint64 bytesToKeep(QByteArrayView head)
{
    if (head.startsWith("BM")) {
        const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(head.data()),
                                     std::min<std::size_t>(static_cast<std::size_t>(head.size()), bmpfile::kHeadBytes));
        const bmpfile::Parsed parsed = bmpfile::parse(bytes);
        if (parsed.ok() && parsed.layout.uncompressed()
            && parsed.layout.pixelEnd < static_cast<std::uint64_t>(std::numeric_limits<qint64>::max()))
            return static_cast<qint64>(parsed.layout.pixelEnd);
    }
    return imagefile::kMaxPictureFileBytes + 1;
}

}  // namespace

bool isPictureStream(const QString& path)
{
    return path == QLatin1String("-") || fileio::isStream(path);
}

fileio::MaybeFailure keepPictureStream(const QString& path, QFile& copy)
{
    if (path == QLatin1String("-"))
        return fileio::copyToUnnamedFile(STDIN_FILENO, copy, bytesToKeep);
    // A FIFO waits here for its writer, as `cat` would.
    const QByteArray native = QFile::encodeName(path);
    int input = -1;
    do
        input = ::open(native.constData(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    while (input < 0 && errno == EINTR);
    if (input < 0)
        return fileio::unreadable(QString::fromLocal8Bit(std::strerror(errno)));
    fileio::MaybeFailure failure = fileio::copyToUnnamedFile(input, copy, bytesToKeep);
    ::close(input);
    return failure;
}

}  // namespace cli
