#pragma once

// File helpers the test folders share.

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace testsupport {

// Writes `bytes` to `path`, replacing what was there; returns the path.
inline QString written(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size()) << qPrintable(path);
    return path;
}

inline QByteArray contentsOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Every name in `folder`, hidden ones included, so a leftover temporary shows.
inline QStringList namesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

}  // namespace testsupport
