#pragma once

#include <functional>

namespace abd {

/// Called right before every call that waits for the server (attach, prepare, execute, fetch, commit,
/// service queries): the window uses it to paint what it has not painted yet, so that whatever the program
/// shows while it waits is current.
void SetServerWaitHook(std::function<void()> hook);
void BeforeServerWait();

} // namespace abd
