#pragma once

#include <functional>

namespace abd {

class TfPrincipal;

/// The program: its application object, the main window, the signals that end it in order (SIGTERM, SIGINT,
/// SIGHUP), and its last use of the server. `started` is called once the window shows; the program's own tests
/// drive it from there.
int RunProgram(int argc, char** argv, const std::function<void(TfPrincipal&)>& started = {});

} // namespace abd
