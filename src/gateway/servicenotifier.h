#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

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

    void ready();
    void reloading();
    void stopping();
    // Where the state line comes from; read only when it goes out.
    void setStatusSource(std::function<QString()> source) { source_ = std::move(source); }
    // The state changed: the line is read again and sent, at most every StatusEveryMs.
    void statusChanged();
    // A word put before the state line until the next reload (a refused file).
    void setStatusNote(const QString& note);

private:
    void send(const QByteArray& state);
    void sendStatus();

    bool listening_ = false;
    bool ready_ = false;   // the state line follows READY
    bool failing_ = false; // said once, until a message goes through again
    QTimer watchdog_;
    QTimer statusLimit_;
    std::function<QString()> source_;
    QString note_;
    QString statusSaid_;
};

} // namespace zarnet::gateway
