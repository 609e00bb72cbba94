#pragma once

#include <functional>

namespace zarnet {

// Runs `quit` on the event loop's thread when the system asks the program to end
// (SIGTERM at logout or shutdown, SIGINT from a terminal, Ctrl-C), so that the port
// is closed as on the exit button. Where there are no such signals it does nothing.
void onTerminationRequest(std::function<void()> quit);

// Runs `reload` on the event loop's thread on SIGHUP, the service manager's way of
// asking a service to read its configuration again.
void onReloadRequest(std::function<void()> reload);

} // namespace zarnet
