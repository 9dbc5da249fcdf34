#pragma once

#include <chrono>

namespace abd {

/// How long the program has been waiting on the server. Every call that goes over the network to it (attach,
/// statements, commits, service queries, detach) counts while it runs; the silence is the time since the server
/// last answered one of them, while one is still waiting. A live server answers at least every few seconds,
/// even through a long silent job (the service queries ask with a time-out), so a long silence means a server,
/// or a network, that stopped answering. One count for the whole process.
class ServerWait {
public:
    /// One call to the server, for the time of its scope.
    class Call {
    public:
        Call();
        ~Call();
        Call(const Call&) = delete;
        Call& operator=(const Call&) = delete;
    };

    /// The time since the server last answered while a call waits; zero when none waits.
    static std::chrono::milliseconds Silence();
};

} // namespace abd
