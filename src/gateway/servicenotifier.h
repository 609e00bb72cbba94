#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

namespace zarnet::gateway {

// Tells the service manager how the service is: ready, its state in one line,
// reloading, stopping, and, while the event loop turns, that it is alive (the
// watchdog). Without a manager listening (no NOTIFY_SOCKET) it does nothing.
class ServiceNotifier : public QObject {
    Q_OBJECT
public:
    // The state line goes out at most this often; the latest one wins.
    static constexpr int StatusEveryMs = 1000;

    explicit ServiceNotifier(QObject* parent = nullptr);

    bool listening() const { return listening_; }
    int watchdogMs() const { return watchdog_.interval(); }
    void ready();
    void reloading();
    void stopping();
    void status(const QString& line);

private:
    void send(const QByteArray& state);
    void sendStatus();

    bool listening_ = false;
    bool ready_ = false; // the state line follows READY
    QTimer watchdog_;
    QTimer statusLimit_;
    QString status_;
    QString statusSaid_;
};

} // namespace zarnet::gateway
