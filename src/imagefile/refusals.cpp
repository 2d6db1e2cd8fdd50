#include "refusals.h"

#include "imagefile/limits.h"

#include <limits>

namespace imagefile {

fileio::MaybeFailure tooLargeError(std::int64_t width, std::int64_t height)
{
    // A row of the working picture must stay below 2 GB bits, Qt's limit.
    constexpr std::int64_t kMaxRowPixels = (std::numeric_limits<int>::max() - 31) / 32;
    if (width > kMaxRowPixels)
        return fileio::refused(QStringLiteral("The picture is too wide: %1 pixels a row, more than the %2 a row can hold")
                                   .arg(width)
                                   .arg(kMaxRowPixels));
    // Each side is below 2^32, so their product fits; four bytes a pixel
    // might not, so the limit is compared in pixels.
    const std::int64_t pixels = width * height;
    constexpr std::int64_t kPixelsPerMB = (std::int64_t(1) << 20) / 4;
    if (pixels <= std::int64_t(kAllocationLimitMB) * kPixelsPerMB)
        return std::nullopt;
    const std::int64_t megabytes = (pixels + kPixelsPerMB - 1) / kPixelsPerMB;
    return fileio::refused(QStringLiteral("The picture is too large: %1 x %2 pixels need %3 MB, more than the %4 MB allowed")
                               .arg(width)
                               .arg(height)
                               .arg(megabytes)
                               .arg(kAllocationLimitMB));
}

fileio::Failure notEnoughMemory()
{
    return fileio::outOfMemory(QStringLiteral("There is not enough memory to hold the picture"));
}

fileio::Failure damaged(const char* format)
{
    return fileio::unreadable(QStringLiteral("The %1 picture's data is damaged or cut short").arg(QString::fromLatin1(format).toUpper()));
}

}  // namespace imagefile
