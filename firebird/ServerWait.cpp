#include "firebird/ServerWait.h"

namespace abd {

namespace {
std::function<void()>& Hook() {
    static std::function<void()> hook;
    return hook;
}
} // namespace

void SetServerWaitHook(std::function<void()> hook) { Hook() = std::move(hook); }

void BeforeServerWait() {
    if (Hook())
        Hook()();
}

} // namespace abd
