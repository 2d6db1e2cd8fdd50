#pragma once

// A scripted stand-in for the desktop.  It records every box and dialog
// exactly as the program asked for it, answers from queues the test fills,
// and keeps a clipboard, programs and environment of its own.

#include "platform/platform.h"

#include <QHash>
#include <QList>
#include <QUrl>

#include <deque>
#include <functional>
#include <optional>

#include <gtest/gtest.h>

namespace testsupport {

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

class FakePlatform : public platform::Platform {
public:
    // --- what the program showed or did, in order of calls ---
    QList<platform::MessageBox> boxes;
    QList<platform::FileDialog> dialogs;
    QList<QUrl> openedUrls;
    QList<QStringList> startedPrograms;  // program first, then its arguments
    int processEventsCalls = 0;
    int busyDepth = 0;      // hourglass nesting now
    int busyShownCount = 0; // times the hourglass was switched on

    // --- the script ---
    // Answers to message boxes in order; an empty queue answers with the box's default button.
    std::deque<platform::Answer> answers;
    // Answers to file dialogs in order; nullopt cancels.  An empty queue cancels.
    std::deque<std::optional<QString>> dialogAnswers;
    // Filter entries the user picks in completed dialogs, in order; none keeps the one shown.
    std::deque<QString> chosenFilters;
    QString clipboard;
    bool openUrlSucceeds = true;  // false: the opener reports failure at once
    bool openUrlFailsLate = false; // the opener is still running and fails once failLateOpeners() runs
    bool startSucceeds = true;
    QHash<QString, QString> programsOnPath;  // name -> full path
    int bitsPerPixel = 32;
    QString documents = QStringLiteral("/home/tester/Documents");
    QHash<QString, QString> environment;
    // Run during a message box or an event-loop pass, to act as the user or the loop would.
    std::function<void(const platform::MessageBox&)> onMessageBox;
    std::function<void()> onProcessEvents;

    platform::Answer messageBox(const platform::MessageBox& box, QWidget* = nullptr) override
    {
        boxes.append(box);
        if (onMessageBox)
            onMessageBox(box);
        return takeFront(answers, box.defaultButton);
    }
    std::optional<QString> fileDialog(platform::FileDialog& dialog, QWidget* = nullptr) override
    {
        dialogs.append(dialog);
        std::optional<QString> chosen = takeFront<std::optional<QString>>(dialogAnswers, std::nullopt);
        if (chosen)
            dialog.selectedFilter = takeFront(chosenFilters, dialog.selectedFilter);
        return chosen;
    }
    QString clipboardText() override { return clipboard; }
    void setClipboardText(const QString& text) override { clipboard = text; }
    void clearClipboard() override { clipboard.clear(); }
    bool openUrl(const QUrl& url, std::function<void()> onLateFailure = {}) override
    {
        openedUrls.append(url);
        if (openUrlSucceeds && openUrlFailsLate)
            m_lateFailures.push_back(onLateFailure ? std::move(onLateFailure) : [] {});
        return openUrlSucceeds;
    }
    // Runs, in order, the late failures of openers that openUrlFailsLate left running.
    void failLateOpeners()
    {
        while (!m_lateFailures.empty())
            takeFront<std::function<void()>>(m_lateFailures, {})();
    }
    QString findProgram(const QString& name) override { return programsOnPath.value(name); }
    bool startProgram(const QString& program, const QStringList& arguments) override
    {
        startedPrograms.append(QStringList{program} + arguments);
        return startSucceeds;
    }
    int displayBitsPerPixel() override { return bitsPerPixel; }
    QString documentsFolder() override { return documents; }
    std::optional<QString> environmentVariable(const QString& name) override
    {
        return environment.contains(name) ? std::optional(environment.value(name)) : std::nullopt;
    }
    void processEvents() override
    {
        ++processEventsCalls;
        if (onProcessEvents)
            onProcessEvents();
    }
    void flushWindowSystem(QWidget*) override {}
    void setBusyCursor(bool busy) override
    {
        busyDepth += busy ? 1 : -1;
        busyShownCount += busy ? 1 : 0;
    }

    // The last box shown; fails the test when none was.
    const platform::MessageBox& lastBox() const
    {
        static const platform::MessageBox none;
        EXPECT_FALSE(boxes.isEmpty()) << "no message box was shown";
        return boxes.isEmpty() ? none : boxes.constLast();
    }

private:
    std::deque<std::function<void()>> m_lateFailures;
};

}  // namespace testsupport
