#include "quitsignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace zarnet {

#ifdef Q_OS_UNIX

namespace {

// The writing end of the socket pair of each signal watched, by signal number.
int signalWriters[NSIG];

// Only async-signal-safe work here: one byte into the signal's pair.
void handle(int signal) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalWriters[signal], &byte, 1);
}

void watch(std::initializer_list<int> numbers, std::function<void()> run) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0)
        return;
    auto* notifier = new QSocketNotifier(pair[1], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp,
                     [reader = pair[1], run = std::move(run)] {
                         char byte;
                         [[maybe_unused]] const ssize_t n = ::read(reader, &byte, 1);
                         run();
                     });
    struct sigaction action {};
    action.sa_handler = handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : numbers) {
        signalWriters[signal] = pair[0];
        sigaction(signal, &action, nullptr);
    }
}

} // namespace

void onTerminationRequest(std::function<void()> quit) {
    watch({SIGTERM, SIGINT}, std::move(quit));
}

void onReloadRequest(std::function<void()> reload) {
    watch({SIGHUP}, std::move(reload));
}

#else

void onTerminationRequest(std::function<void()>) {}
void onReloadRequest(std::function<void()>) {}

#endif

} // namespace zarnet
