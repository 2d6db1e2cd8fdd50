#include "librarymessages.h"

#include <QByteArray>
#include <QtGlobal>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace imagefile {

namespace {

QtMessageHandler g_previous = nullptr;
bool g_quiet = false;

void dropChatter(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        g_previous(type, context, message);
}

}  // namespace

void quietLibraryMessages(bool shown)
{
    const QByteArray verbose = qgetenv(kVerboseVariable);
    if (shown || (!verbose.isEmpty() && verbose != "0"))
        return;
    g_quiet = true;
    const QtMessageHandler previous = qInstallMessageHandler(dropChatter);
    if (previous != dropChatter)
        g_previous = previous;
}

LibraryOutputMuffle::LibraryOutputMuffle()
{
    if (!g_quiet)
        return;
    std::fflush(stderr);
    const int sink = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (sink < 0)
        return;
    m_saved = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
    if (m_saved >= 0)
        ::dup2(sink, STDERR_FILENO);
    ::close(sink);
}

LibraryOutputMuffle::~LibraryOutputMuffle()
{
    if (m_saved < 0)
        return;
    std::fflush(stderr);
    ::dup2(m_saved, STDERR_FILENO);
    ::close(m_saved);
}

}  // namespace imagefile
