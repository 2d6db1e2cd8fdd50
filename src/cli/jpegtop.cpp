#include "jpegtop.h"

#include "codecs.h"

#include <mirrorvane/version.h>

namespace cli {

JpegColumnTop jpegColumnTop()
{
    static const JpegColumnTop loaded = [] {
        // Without it the whole decoder answers, which says what is wrong.
        QString error;
        const auto entry = reinterpret_cast<JpegEntry>(moduleEntry(QStringLiteral(MIRRORVANE_JPEG_PATH), kJpegEntry, error));
        return entry != nullptr ? entry(mirrorvane::kVersionString) : nullptr;
    }();
    return loaded;
}

}  // namespace cli
