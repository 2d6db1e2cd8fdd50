#include "textoutput.h"

#include "exitstatus.h"
#include "output.h"
#include "picturesource.h"

#include "fileio/fileio.h"

#include <QFile>

#include <sys/stat.h>

namespace cli {

namespace {

// Every kind a picture file goes by, lossless or lossy.
constexpr const char* kPictureExtensions[] = {".bmp", ".dib", ".png", ".jpg", ".jpeg", ".jpe", ".jfif",
                                              ".gif", ".webp", ".tif", ".tiff"};

bool sameFile(const QString& a, const QString& b)
{
    struct stat first {}, second {};
    return ::stat(QFile::encodeName(a).constData(), &first) == 0 && ::stat(QFile::encodeName(b).constData(), &second) == 0
           && first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

}  // namespace

int refuseTextOutput(const QString& file, const QString& picture)
{
    for (const char* extension : kPictureExtensions) {
        if (file.endsWith(QLatin1String(extension), Qt::CaseInsensitive))
            return complain({FailureKind::Usage, QStringLiteral("%1 is named like a picture, and a text written there would replace "
                                                   "or pass for one; give the text a name of its own, such as message.txt")
                                        .arg(shown(file))});
    }
    if (picture != QLatin1String("-") && sameFile(file, picture))
        return complain({FailureKind::Usage, QStringLiteral("%1 is the picture itself; give the text a file of its own").arg(shown(file))});
    if (const fileio::MaybeFailure failure = fileio::unwritableTarget(file))
        return complain(commandFailure(QStringLiteral("cannot write %1: ").arg(shown(file)), *failure));
    return kOk;
}

}  // namespace cli
