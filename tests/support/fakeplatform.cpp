#include "fakeplatform.h"

#include <gtest/gtest.h>

namespace testsupport {

platform::Answer FakePlatform::messageBox(const platform::MessageBox& box, QWidget*)
{
    boxes.append(box);
    if (onMessageBox)
        onMessageBox(box);
    if (answers.empty())
        return box.defaultButton;
    const platform::Answer answer = answers.front();
    answers.pop_front();
    return answer;
}

std::optional<QString> FakePlatform::fileDialog(const platform::FileDialog& dialog, QWidget*)
{
    dialogs.append(dialog);
    if (dialogAnswers.empty())
        return std::nullopt;
    const bool chosen = dialogAnswers.front().has_value();
    const QString path = chosen ? *dialogAnswers.front() : QString();
    dialogAnswers.pop_front();
    if (!chosen)
        return std::nullopt;
    return path;
}

bool FakePlatform::openUrl(const QUrl& url, std::function<void()> onLateFailure)
{
    openedUrls.append(url);
    if (!openUrlSucceeds)
        return false;
    if (openUrlFailsLate)
        lateFailures.push_back(onLateFailure ? std::move(onLateFailure) : [] {});
    return true;
}

void FakePlatform::failLateOpeners()
{
    while (!lateFailures.empty()) {
        const std::function<void()> failure = std::move(lateFailures.front());
        lateFailures.pop_front();
        failure();
    }
}

bool FakePlatform::startProgram(const QString& program, const QStringList& arguments)
{
    startedPrograms.append(QStringList{program} + arguments);
    return startSucceeds;
}

std::optional<QString> FakePlatform::environmentVariable(const QString& name)
{
    const auto it = environment.constFind(name);
    if (it == environment.constEnd())
        return std::nullopt;
    return it.value();
}

void FakePlatform::processEvents()
{
    ++processEventsCalls;
    if (onProcessEvents)
        onProcessEvents();
}

void FakePlatform::setBusyCursor(bool busy)
{
    if (busy) {
        ++busyDepth;
        ++busyShownCount;
    } else {
        --busyDepth;
    }
}

const platform::MessageBox& FakePlatform::lastBox() const
{
    static const platform::MessageBox none;
    EXPECT_FALSE(boxes.isEmpty()) << "no message box was shown";
    return boxes.isEmpty() ? none : boxes.constLast();
}

}  // namespace testsupport
