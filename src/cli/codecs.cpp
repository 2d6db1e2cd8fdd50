#include "codecs.h"

#include <mirrorvane/version.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

namespace cli {

namespace {

// Beside the program as the install lays it out, in the build tree too.
QString modulePath(const QString& fromProgram)
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1Char('/') + fromProgram);
}

}  // namespace

QFunctionPointer moduleEntry(const QString& fromProgram, const char* name, fileio::MaybeFailure& failure)
{
    const QString path = modulePath(fromProgram);
    QLibrary module(path);
    QFunctionPointer entry = nullptr;
    if (!QFileInfo::exists(path))
        failure = fileio::unreadable(
            QStringLiteral("the picture decoders could not be loaded: %1 is missing").arg(QDir::toNativeSeparators(path)));
    else if (!module.load() || (entry = module.resolve(name)) == nullptr)
        failure = fileio::unreadable(QStringLiteral("the picture decoders could not be loaded: %1").arg(module.errorString()));
    // The module stays loaded: what it makes are its objects.
    return entry;
}

const Codecs* codecs(fileio::MaybeFailure& failure)
{
    static const Codecs* loaded = nullptr;
    static fileio::MaybeFailure failed;
    if (loaded == nullptr && !failed) {
        const auto entry = reinterpret_cast<CodecsEntry>(moduleEntry(QStringLiteral(MIRRORVANE_CODECS_PATH), kCodecsEntry, failed));
        if (entry != nullptr && (loaded = entry(mirrorvane::kVersionString)) == nullptr)
            failed = fileio::unreadable(QStringLiteral("the picture decoders in %1 belong to another version of this program")
                                            .arg(QDir::toNativeSeparators(modulePath(QStringLiteral(MIRRORVANE_CODECS_PATH)))));
    }
    failure = failed;
    return loaded;
}

}  // namespace cli
