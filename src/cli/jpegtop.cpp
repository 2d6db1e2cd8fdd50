#include "jpegtop.h"

#include "codecs.h"

#include <mirrorvane/version.h>

namespace cli {

JpegColumnTop jpegColumnTop()
{
    static const JpegColumnTop loaded = [] {
        // Without it the whole decoder answers, which says what is wrong.
        fileio::MaybeFailure unused;
        const auto entry = reinterpret_cast<JpegEntry>(moduleEntry(QStringLiteral(MIRRORVANE_JPEG_PATH), kJpegEntry, unused));
        return entry != nullptr ? entry(mirrorvane::kVersionString) : nullptr;
    }();
    return loaded;
}

}  // namespace cli
