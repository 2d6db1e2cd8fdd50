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
    const std::optional<QString> answer = dialogAnswers.front();
    dialogAnswers.pop_front();
    return answer;
}

bool FakePlatform::openUrl(const QUrl& url, std::function<void()> onLateFailure)
{
    openedUrls.append(url);
    if (openUrlSucceeds && openUrlFailsLate)
        m_lateFailures.push_back(onLateFailure ? std::move(onLateFailure) : [] {});
    return openUrlSucceeds;
}

void FakePlatform::failLateOpeners()
{
    while (!m_lateFailures.empty()) {
        const std::function<void()> failure = std::move(m_lateFailures.front());
        m_lateFailures.pop_front();
        failure();
    }
}

std::optional<QString> FakePlatform::environmentVariable(const QString& name)
{
    const auto it = environment.constFind(name);
    return it == environment.constEnd() ? std::nullopt : std::optional<QString>(it.value());
}

const platform::MessageBox& FakePlatform::lastBox() const
{
    static const platform::MessageBox none;
    EXPECT_FALSE(boxes.isEmpty()) << "no message box was shown";
    return boxes.isEmpty() ? none : boxes.constLast();
}

}  // namespace testsupport
