#include "app/termination_signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdlib>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_pipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    // Only async-signal-safe work here; the event loop does the rest.
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &c, 1);
}
} // namespace

void OnTerminationSignals(std::function<void()> handler)
{
    if (g_pipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [handler = std::move(handler)] {
        char c;
        [[maybe_unused]] const ssize_t n = ::read(g_pipe[0], &c, 1);
        handler();
    });
    // Installed after the database client's own: its handlers would shut
    // the attachments down under the running program.
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
}

// The session's end arrives as SIGTERM or SIGHUP, and a console's Ctrl-C as
// SIGINT: nothing else to do.
void OnSessionEnd(std::function<void()>) {}

bool HandleSessionEndMessage(const void *)
{
    return false;
}

void UseParentConsole() {}

void EndProcessNow(int status)
{
    std::_Exit(status);
}
