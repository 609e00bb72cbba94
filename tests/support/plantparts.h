#pragma once

#include <gateway/mqttclient.h>

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdint>
#include <memory>

// The real parts a plant has, started by a test on loopback: a mosquitto broker,
// zarnet-board controllers, zarnetd itself, and a client that publishes and listens.
namespace zarnet::testplant {

// A loopback TCP port nobody listens on at the moment of asking.
quint16 freePort();

// A JSON payload's object; empty when it is none.
QJsonObject json(const QByteArray& payload);

// An HTTP answer: its status and its body.
struct HttpReply {
    int status = 0;
    QByteArray body;
};
// Sends `request` as it is to 127.0.0.1:`port` and reads until the server closes.
HttpReply httpExchange(quint16 port, const QByteArray& request);

class Broker {
public:
    // Starts mosquitto on 127.0.0.1 (port 0: a free one) and waits until it listens;
    // `listenerLines` go under the listener (TLS settings, say).
    bool start(quint16 port = 0, const QByteArray& listenerLines = {});
    void kill();
    quint16 port() const { return port_; }
    QString error;

private:
    bool launch(quint16 port, const QByteArray& listenerLines);

    QProcess process_;
    QTemporaryDir dir_;
    quint16 port_ = 0;
};

// A zarnet-board process; its log tells what reached the controller.
class Board : public QObject {
    Q_OBJECT
public:
    ~Board() override;
    // On a new pseudo-terminal, or with "--listen tcp://127.0.0.1:PORT".
    bool start(const QStringList& arguments = {});
    void kill();
    void pause();  // SIGSTOP: the line stays, nobody answers
    void resume(); // SIGCONT
    const QString& address() const { return address_; }
    // The values of the unit writes seen so far, unit by unit.
    const QMap<int, uint32_t>& units() const { return units_; }
    // The same, of the controller with number `device` only.
    QMap<int, uint32_t> units(int device) const { return unitsOf_.value(device); }
    // Silences controller `device`, and brings it back.
    void mute(int device);
    void unmute(int device);
    // Every frame received that is not a connection test, by its meaning.
    const QStringList& frames() const { return frames_; }
    // The same, addressed to controller `device`.
    QStringList frames(int device) const { return framesOf_.value(device); }
    // Every line of its log so far.
    const QStringList& said() const { return said_; }

private:
    void readLog();

    QProcess process_;
    QByteArray partial_;
    QString address_;
    QMap<int, uint32_t> units_;
    QMap<int, QMap<int, uint32_t>> unitsOf_;
    QStringList frames_;
    QMap<int, QStringList> framesOf_;
    QStringList said_;
};

// A certificate authority and a server certificate for 127.0.0.1, made with openssl.
struct Certificates {
    bool make(const QString& folder);
    // A client certificate of this authority, FOLDER/NAME.crt and NAME.key; the key
    // encrypted with `password` when one is given.
    bool makeClient(const QString& name, const QString& password = {}, int days = 2);
    QString caFile, certFile, keyFile;
    QString error;

private:
    bool run(const QList<QStringList>& steps);
    QString folder_;
};

// zarnetd with a configuration written for the test.
class Gateway {
public:
    ~Gateway();
    // "YYYY-MM-DDThh:mm:ss,SPEED": the service's schedules and ages run from then, faster.
    void setTestClock(const QString& clock);
    void setEnvironment(const QString& name, const QString& value);
    bool start(const QByteArray& toml);
    // Writes a new configuration in place of the running one (SIGHUP reads it).
    bool rewrite(const QByteArray& toml);
    void signal(int number);
    // SIGTERM, then the exit code (−1 when it did not end in 10 s).
    int terminate();
    // The exit code once it ends by itself (−1 when it runs on after `ms`).
    int waitForExit(int ms);
    QString log();
    // The most memory the process has held so far, in KiB (its VmHWM).
    qint64 peakKiB() const;

private:
    QTemporaryDir dir_;
    QProcess process_;
};

// An MQTT client that keeps every message of the topics it follows.
class Listener : public QObject {
    Q_OBJECT
public:
    explicit Listener(quint16 port, const QString& filter = QStringLiteral("zarnet/#"),
                      const QString& caFile = {});
    bool publish(const QString& topic, const QByteArray& payload, bool retain = false);
    bool connected() const { return client_.isConnected(); }
    // Payloads seen on `topic`, oldest first.
    QList<QByteArray> on(const QString& topic) const;
    QByteArray last(const QString& topic) const;
    int unacknowledged() const { return client_.unacknowledged(); }
    void forget() { messages_.clear(); }

private:
    gateway::MqttClient client_;
    QString filter_;
    QList<QPair<QString, QByteArray>> messages_;
};

} // namespace zarnet::testplant
