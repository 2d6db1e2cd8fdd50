// The JPEG module of mirrorvane-cli: imagefile's JPEG reader alone.
#include "jpegtop.h"

#include "imagefile/jpegcolumntop.h"

#include <mirrorvane/version.h>

#include <cstring>
#include <type_traits>

extern "C" Q_DECL_EXPORT cli::JpegColumnTop mirrorvane_cli_jpeg(const char* version)
{
    if (version == nullptr || std::strcmp(version, mirrorvane::kVersionString) != 0)
        return nullptr;
    return imagefile::jpegColumnTop;
}
static_assert(std::is_same_v<decltype(&mirrorvane_cli_jpeg), cli::JpegEntry>);
