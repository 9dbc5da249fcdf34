#include "upgrade/StopSignals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace abd {

namespace {
int g_pipe[2] = {-1, -1};

/// Async-signal-safe: one byte, the signal's number, into the pipe that the main thread watches.
void OnSignal(int signal) {
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}
} // namespace

void StopSignals::InstallHandlers() {
    if (g_pipe[0] >= 0 || ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

StopSignals& StopSignals::Instance() {
    static StopSignals* instance = new StopSignals;
    return *instance;
}

StopSignals::StopSignals() {
    InstallHandlers();
    if (g_pipe[0] < 0)
        return;
    notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { ReadPending(); });
    // Signals that came before the event loop ran are waiting in the pipe.
    QMetaObject::invokeMethod(this, [this] { ReadPending(); }, Qt::QueuedConnection);
}

void StopSignals::ReadPending() {
    char bytes[16];
    for (;;) {
        const ssize_t n = ::read(g_pipe[0], bytes, sizeof bytes);
        if (n <= 0)
            return;
        for (ssize_t i = 0; i < n; ++i)
            Q_EMIT Received(static_cast<unsigned char>(bytes[i]));
    }
}

int StopSignals::PendingFd() { return g_pipe[0]; }

QString StopSignals::Name(int signal) {
    switch (signal) {
    case SIGTERM: return QStringLiteral("SIGTERM");
    case SIGINT: return QStringLiteral("SIGINT");
    case SIGHUP: return QStringLiteral("SIGHUP");
    default: return QStringLiteral("sinal %1").arg(signal);
    }
}

} // namespace abd
