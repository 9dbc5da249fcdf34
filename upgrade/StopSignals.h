#pragma once

#include <QObject>
#include <QString>

class QSocketNotifier;

namespace abd {

/// The program's own handlers for SIGTERM, SIGINT and SIGHUP: each signal becomes a Received() on the thread
/// that installed them, where the program ends in order. They are installed before the client library is
/// loaded. The library, at its first call, puts a handler of its own in front for SIGINT and SIGTERM; that
/// handler still calls the one it found (this one), and ClientLibrary refuses the shutdown of every attachment
/// that the library would start next.
class StopSignals : public QObject {
    Q_OBJECT
public:
    /// Installs the handlers, once per process, first thing in main: a signal that comes before the event loop
    /// runs waits for it.
    static void InstallHandlers();
    /// The object that reports the signals, made on first use on the calling thread (the main thread, once the
    /// application object exists); installs the handlers if that was not done yet.
    static StopSignals& Instance();
    /// "SIGTERM", "SIGINT", "SIGHUP".
    static QString Name(int signal);
    /// The end of the handlers' pipe that a blocking wait outside the event loop (a terminal prompt) may watch;
    /// -1 before InstallHandlers. Each byte read from it is one signal's number.
    static int PendingFd();

Q_SIGNALS:
    void Received(int signal);

private:
    StopSignals();
    void ReadPending();
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace abd
