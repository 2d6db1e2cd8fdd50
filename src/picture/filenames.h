#pragma once

// What a picture file's name says, for the window's Save Image and the
// command line alike.

#include <QString>

namespace picture {

// True when `path` names a PNG by its extension, in any case.
inline bool hasPngExtension(const QString& path)
{
    return path.endsWith(QLatin1String(".png"), Qt::CaseInsensitive);
}

}  // namespace picture
