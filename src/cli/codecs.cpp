#include "codecs.h"

#include <mirrorvane/version.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

namespace cli {

const Codecs* codecs(QString& error)
{
    static const Codecs* loaded = nullptr;
    static QString failure;
    if (loaded != nullptr || !failure.isEmpty()) {
        error = failure;
        return loaded;
    }
    // Beside the program as the install lays it out, in the build tree too.
    const QString path = QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1Char('/')
                                         + QStringLiteral(MIRRORVANE_CODECS_PATH));
    QLibrary module(path);
    if (!QFileInfo::exists(path)) {
        failure = QStringLiteral("the picture decoders could not be loaded: %1 is missing").arg(QDir::toNativeSeparators(path));
    } else if (!module.load()) {
        failure = QStringLiteral("the picture decoders could not be loaded: %1").arg(module.errorString());
    } else if (const auto entry = reinterpret_cast<CodecsEntry>(module.resolve(kCodecsEntry)); entry == nullptr) {
        failure = QStringLiteral("the picture decoders could not be loaded: %1").arg(module.errorString());
    } else if (loaded = entry(mirrorvane::kVersionString); loaded == nullptr) {
        failure = QStringLiteral("the picture decoders in %1 belong to another version of this program")
                      .arg(QDir::toNativeSeparators(path));
    }
    // The module stays loaded: the pictures it decodes are its objects.
    error = failure;
    return loaded;
}

}  // namespace cli
