#pragma once

// What a picture file's name says, for the window's Save Image and the
// command line alike.

#include <QString>

namespace imagefile {

// True when `path` names a PNG by its extension, in any case.
inline bool hasPngExtension(const QString& path)
{
    return path.endsWith(QLatin1String(".png"), Qt::CaseInsensitive);
}

// The lossy format `path` names by its extension, in any case ("JPEG" or
// "GIF"), or empty: writing one would destroy a hidden text.
inline QString lossyFormatNamed(const QString& path)
{
    for (const char* jpeg : {".jpg", ".jpeg"}) {
        if (path.endsWith(QLatin1String(jpeg), Qt::CaseInsensitive))
            return QStringLiteral("JPEG");
    }
    return path.endsWith(QLatin1String(".gif"), Qt::CaseInsensitive) ? QStringLiteral("GIF") : QString();
}

}  // namespace imagefile
