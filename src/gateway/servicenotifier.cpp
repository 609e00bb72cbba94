#include "servicenotifier.h"

#include "gatewaylog.h"

#include <systemd/sd-daemon.h>
#include <time.h>

namespace zarnet::gateway {

ServiceNotifier::ServiceNotifier(QObject* parent) : QObject(parent) {
    listening_ = !qEnvironmentVariableIsEmpty("NOTIFY_SOCKET");
    statusLimit_.setSingleShot(true);
    connect(&statusLimit_, &QTimer::timeout, this, &ServiceNotifier::sendStatus);
    uint64_t usec = 0;
    if (!listening_ || sd_watchdog_enabled(0, &usec) <= 0 || usec == 0)
        return;
    // Twice per interval, from the event loop: a loop held for a whole interval
    // sends none, and the manager restarts the service.
    watchdog_.setInterval(int(std::max<uint64_t>(usec / 2000, 1)));
    connect(&watchdog_, &QTimer::timeout, this, [this] { send("WATCHDOG=1"); });
    watchdog_.start();
}

void ServiceNotifier::send(const QByteArray& state) {
    if (!listening_)
        return;
    const int rc = sd_notify(0, state.constData());
    if (rc < 0 && !std::exchange(failing_, true))
        qCWarning(lcGateway).noquote()
            << "cannot tell the service manager" << state << ":" << qt_error_string(-rc);
    else if (rc > 0)
        failing_ = false;
}

void ServiceNotifier::ready() {
    send("READY=1");
    ready_ = true;
    sendStatus();
}

// With the time, as newer service managers want it.
void ServiceNotifier::reloading() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    send("RELOADING=1\nMONOTONIC_USEC=" +
         QByteArray::number(qint64(now.tv_sec) * 1000000 + now.tv_nsec / 1000));
}

void ServiceNotifier::stopping() {
    send("STOPPING=1");
}

void ServiceNotifier::statusChanged() {
    if (listening_ && ready_ && !statusLimit_.isActive())
        statusLimit_.start(statusSaid_.isEmpty() ? 0 : StatusEveryMs);
}

void ServiceNotifier::setStatusNote(const QString& note) {
    note_ = note;
    statusChanged();
}

void ServiceNotifier::sendStatus() {
    if (!listening_ || !ready_ || !source_)
        return;
    const QString line = note_.isEmpty() ? source_() : note_ + QStringLiteral("; ") + source_();
    if (line == statusSaid_)
        return;
    statusSaid_ = line;
    send("STATUS=" + line.toUtf8());
}

} // namespace zarnet::gateway
