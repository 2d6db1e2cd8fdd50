#include "cleanup.h"

#include <atomic>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <unistd.h>

namespace fileio {

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
constexpr int kSlots = 16;

struct Slot {
    std::atomic<bool> used{false};
    int folder = -1;
    char name[64] = {};
};

Slot g_slots[kSlots];

// Async-signal-safe: unlinkat and raise only.
extern "C" void removeTemporariesAndStop(int signal)
{
    for (Slot& slot : g_slots)
        if (slot.used.load())
            ::unlinkat(slot.folder, slot.name, 0);
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

void installHandlers()
{
    static std::once_flag once;
    std::call_once(once, [] {
        for (const int signal : kStopSignals) {
            struct sigaction current {};
            if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler != SIG_DFL
                || (current.sa_flags & SA_SIGINFO) != 0)
                continue;
            struct sigaction handler {};
            handler.sa_handler = removeTemporariesAndStop;
            sigemptyset(&handler.sa_mask);
            for (const int other : kStopSignals)
                sigaddset(&handler.sa_mask, other);
            ::sigaction(signal, &handler, nullptr);
        }
    });
}

}  // namespace

int guardTemporary(int folder, const QByteArray& name)
{
    if (name.size() >= qsizetype(sizeof(Slot::name)))
        return -1;
    installHandlers();
    static std::mutex claiming;
    const std::lock_guard lock(claiming);
    for (int i = 0; i < kSlots; ++i) {
        Slot& slot = g_slots[i];
        if (slot.used.load())
            continue;
        slot.folder = folder;
        std::memcpy(slot.name, name.constData(), static_cast<std::size_t>(name.size()) + 1);
        slot.used.store(true);
        return i;
    }
    return -1;
}

void releaseTemporary(int slot)
{
    if (slot >= 0 && slot < kSlots)
        g_slots[slot].used.store(false);
}

StopSignalsHeld::StopSignalsHeld()
{
    sigset_t held;
    sigemptyset(&held);
    for (const int signal : kStopSignals)
        sigaddset(&held, signal);
    ::pthread_sigmask(SIG_BLOCK, &held, &m_previous);
}

StopSignalsHeld::~StopSignalsHeld()
{
    ::pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
}

}  // namespace fileio
