#pragma once

// Assertions on the message boxes a FakePlatform recorded.  They return an
// AssertionResult, so a failure points at the caller's line and names every
// field that differs.

#include "platform/platform.h"

#include <QDir>
#include <QStringList>

#include <gtest/gtest.h>

namespace testsupport {

inline ::testing::AssertionResult sameBox(const platform::MessageBox& shown, const platform::MessageBox& expected)
{
    const std::pair<bool, QString> fields[] = {
        {shown.title != expected.title, QStringLiteral("title \"%1\"").arg(shown.title)},
        {shown.text != expected.text, QStringLiteral("text \"%1\"").arg(shown.text)},
        {shown.icon != expected.icon, QStringLiteral("icon %1").arg(static_cast<int>(shown.icon))},
        {shown.buttons != expected.buttons, QStringLiteral("buttons %1").arg(static_cast<int>(shown.buttons))},
        {shown.defaultButton != expected.defaultButton, QStringLiteral("default %1").arg(static_cast<int>(shown.defaultButton))}};
    QStringList differences;
    for (const auto& [differs, field] : fields)
        if (differs)
            differences << field;
    if (differences.isEmpty())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "box differs: " << differences.join(QStringLiteral(", ")).toStdString();
}

// The boxes shown, in order, against the ones expected.
inline ::testing::AssertionResult sameBoxes(const QList<platform::MessageBox>& shown,
                                            const QList<platform::MessageBox>& expected)
{
    if (shown.size() != expected.size())
        return ::testing::AssertionFailure() << shown.size() << " boxes shown, " << expected.size() << " expected";
    for (qsizetype i = 0; i < shown.size(); ++i)
        if (::testing::AssertionResult same = sameBox(shown[i], expected[i]); !same)
            return same << " (box " << i << ")";
    return ::testing::AssertionSuccess();
}

// The "could not be opened/saved" box: an alert with the sentence, the native
// path and the system's reason on three lines.
inline ::testing::AssertionResult isFailureBox(const platform::MessageBox& shown, const QString& sentence,
                                               const QString& path)
{
    const QStringList lines = shown.text.split(QStringLiteral("\r\n"));
    if (lines.size() != 3 || lines[2].isEmpty())
        return ::testing::AssertionFailure() << "not sentence, path and reason: " << shown.text.toStdString();
    return sameBox(shown, {QStringLiteral("Mirrorvane Alert"), sentence + QStringLiteral("\r\n")
                               + QDir::toNativeSeparators(path) + QStringLiteral("\r\n") + lines[2],
                           platform::Icon::Warning, platform::Buttons::Ok, platform::Answer::Ok});
}

}  // namespace testsupport
