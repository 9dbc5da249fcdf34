#pragma once

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace abd::test {

/// A loopback TCP relay to the local server's port 3050, for network faults: it starts listening on `port`
/// only after `delayMs`, so that the connections made before it are refused as by a network that is down.
class Relay {
public:
    Relay(int port, int delayMs);
    /// Stops listening and cuts every connection it carries.
    ~Relay();
    Relay(const Relay&) = delete;
    Relay& operator=(const Relay&) = delete;

    /// Connections accepted so far.
    int Accepted() const { return accepted_; }
    /// From now on nothing more is carried either way, and no connection is closed: a server that stopped
    /// answering, as the client sees it.
    void Freeze() { frozen_ = true; }

private:
    void Listen(int port, int delayMs);
    void Pump(int from, int to);

    std::atomic<bool> stop_{false};
    std::atomic<bool> frozen_{false};
    std::atomic<int> accepted_{0};
    int listener_ = -1;
    std::mutex mutex_;
    std::vector<int> sockets_;
    std::vector<std::thread> threads_;
    std::thread acceptor_;
};

} // namespace abd::test
