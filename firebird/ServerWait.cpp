#include "firebird/ServerWait.h"

#include <atomic>
#include <cstdint>

namespace abd {

namespace {
using Clock = std::chrono::steady_clock;

std::atomic<int> g_waiting{0};
/// When the server last answered, or when the first of the waiting calls started.
std::atomic<std::int64_t> g_heard{0};

std::int64_t NowTicks() { return Clock::now().time_since_epoch().count(); }
} // namespace

ServerWait::Call::Call() {
    if (g_waiting.fetch_add(1) == 0)
        g_heard = NowTicks();
}

ServerWait::Call::~Call() {
    g_heard = NowTicks();
    g_waiting.fetch_sub(1);
}

std::chrono::milliseconds ServerWait::Silence() {
    if (g_waiting.load() == 0)
        return std::chrono::milliseconds(0);
    const Clock::duration since(NowTicks() - g_heard.load());
    return std::chrono::duration_cast<std::chrono::milliseconds>(since);
}

} // namespace abd
