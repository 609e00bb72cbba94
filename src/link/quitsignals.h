#pragma once

#include <functional>

namespace zarnet {

// Runs `quit` on the event loop's thread when the system asks the program to end
// (SIGTERM at logout or shutdown, SIGINT from a terminal, Ctrl-C), so that the port
// is closed as on the exit button. Where there are no such signals it does nothing.
void onTerminationRequest(std::function<void()> quit);

} // namespace zarnet
