#pragma once

// Nothing left behind when the process is stopped by a signal.  Internal to
// fileio.
//
// Temporaries are unnamed (O_TMPFILE) wherever the file system allows, and
// those vanish with the process.  A file system without them gets a named
// temporary, registered here: SIGINT, SIGTERM, SIGHUP and SIGPIPE then
// remove it before the process ends as the signal would have ended it.
// Signals the program handles or ignores itself are left to the program.

#include <QByteArray>

#include <signal.h>

namespace fileio {

// Registers the temporary `name` in the folder `folder` (a descriptor that
// stays open while registered); returns the slot to release, or -1 when all
// slots are taken (the temporary then lives unguarded until released).
int guardTemporary(int folder, const QByteArray& name);
void releaseTemporary(int slot);

// Holds back the stopping signals for its lifetime, so a temporary that is
// given its name and then renamed over the target is never seen half-way.
class StopSignalsHeld {
public:
    StopSignalsHeld();
    ~StopSignalsHeld();
    StopSignalsHeld(const StopSignalsHeld&) = delete;
    StopSignalsHeld& operator=(const StopSignalsHeld&) = delete;

private:
    sigset_t m_previous;
};

}  // namespace fileio
