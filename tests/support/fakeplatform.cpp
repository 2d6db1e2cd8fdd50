#include "fakeplatform.h"

#include <gtest/gtest.h>

namespace testsupport {

namespace {
// The next scripted answer, or `fallback` once the script has run out.
template <typename T>
T takeFront(std::deque<T>& queue, T fallback)
{
    if (!queue.empty()) {
        fallback = std::move(queue.front());
        queue.pop_front();
    }
    return fallback;
}
}  // namespace

platform::Answer FakePlatform::messageBox(const platform::MessageBox& box, QWidget*)
{
    boxes.append(box);
    if (onMessageBox)
        onMessageBox(box);
    return takeFront(answers, box.defaultButton);
}

std::optional<QString> FakePlatform::fileDialog(platform::FileDialog& dialog, QWidget*)
{
    dialogs.append(dialog);
    std::optional<QString> chosen = takeFront<std::optional<QString>>(dialogAnswers, std::nullopt);
    if (chosen)
        dialog.selectedFilter = takeFront(chosenFilters, dialog.selectedFilter);
    return chosen;
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
    while (!m_lateFailures.empty())
        takeFront<std::function<void()>>(m_lateFailures, {})();
}

const platform::MessageBox& FakePlatform::lastBox() const
{
    static const platform::MessageBox none;
    EXPECT_FALSE(boxes.isEmpty()) << "no message box was shown";
    return boxes.isEmpty() ? none : boxes.constLast();
}

}  // namespace testsupport
