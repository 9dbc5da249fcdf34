#include "tests/support/Relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace abd::test {

namespace {
int Connect(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}
} // namespace

Relay::Relay(int port, int delayMs) { acceptor_ = std::thread([this, port, delayMs] { Listen(port, delayMs); }); }

Relay::~Relay() {
    stop_ = true;
    acceptor_.join();
    {
        std::lock_guard lock(mutex_);
        for (int fd : sockets_)
            ::shutdown(fd, SHUT_RDWR);
    }
    for (std::thread& t : threads_)
        t.join();
    for (int fd : sockets_)
        ::close(fd);
}

void Relay::Listen(int port, int delayMs) {
    for (int waited = 0; waited < delayMs && !stop_; waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listener_, 8) != 0) {
        ::close(listener_);
        return;
    }
    while (!stop_) {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0)
            continue;
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        const int server = Connect(3050);
        if (server < 0) {
            ::close(client);
            continue;
        }
        ++accepted_;
        std::lock_guard lock(mutex_);
        sockets_.push_back(client);
        sockets_.push_back(server);
        threads_.emplace_back([this, client, server] { Pump(client, server); });
        threads_.emplace_back([this, client, server] { Pump(server, client); });
    }
    ::close(listener_);
}

void Relay::Pump(int from, int to) {
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(from, buffer, sizeof buffer);
        if (n <= 0)
            break;
        while (frozen_ && !stop_)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (stop_)
            break;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(to, buffer + done, static_cast<size_t>(n - done));
            if (w <= 0)
                return;
            done += w;
        }
    }
    ::shutdown(to, SHUT_WR);
}

} // namespace abd::test
