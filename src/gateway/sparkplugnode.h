#pragma once

#include "config.h"
#include "mqttclient.h"
#include "repeatlog.h"
#include "sparkplugpayload.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <map>
#include <optional>
#include <vector>

Q_DECLARE_LOGGING_CATEGORY(
    lcSparkplug) // zarnet.sparkplug: births, deaths, and every command dropped

namespace zarnet::gateway {

class Gateway;
class PlantClock;
class Sign;

// The gateway as a Sparkplug B edge node on a connection of its own, whose will
// is the node's death certificate. Each sign this gateway owns is a device, born
// while it answers; its metrics are its units, power, state and text. Commands to
// a device go through the gateway's own command path and its checks.
class SparkplugNode : public QObject {
    Q_OBJECT
public:
    // `counterFile` keeps the birth/death sequence number across restarts.
    SparkplugNode(const SparkplugConfig& config, MqttClient::Settings broker, Gateway& gateway,
                  const PlantClock& clock, QString counterFile);

    bool start(QString* error);
    // Leaves with the death certificate.
    void stop();

    // Where the sequence number is kept: the service's state directory, else the
    // user's data folder.
    static QString defaultCounterFile();

private:
    using Metrics = std::vector<sparkplug::Metric>;

    void connecting();
    void connected();
    void received(const QString& topic, const QByteArray& payload);
    void hostState(const QByteArray& payload);
    void birth();
    void signChanged(const QString& sign);
    void flush();
    void flushSign(const QString& name);
    void flushNode();
    void nodeCommand(const QByteArray& payload);
    void deviceCommand(const QString& sign, const QByteArray& payload);
    Metrics deviceMetrics(const Sign& sign);
    uint64_t aliasBase(const QString& sign);
    QString metricOf(const Sign& sign, uint64_t alias);
    Metrics nodeMetrics() const;
    // With the next seq; false while not connected.
    bool publish(const QString& type, const QString& device, const Metrics& metrics,
                 sparkplug::Naming naming);
    QString topic(const QString& type, const QString& device = {}) const;
    QByteArray deathCertificate() const;
    uint64_t nowMs() const;

    SparkplugConfig config_;
    Gateway& gateway_;
    const PlantClock& clock_;
    QString counterFile_;
    MqttClient mqtt_;
    uint8_t bdSeq_ = 0;
    uint8_t seq_ = 0;
    bool born_ = false;
    bool dying_ = false; // the primary host went offline: no birth before the next connection
    std::optional<int64_t> hostSeenAt_;  // the primary host's latest STATE timestamp
    std::map<QString, Metrics> devices_; // born devices, with what was last said of them
    std::map<QString, uint64_t> slots_;  // each sign's aliases start at its slot << 16
    Metrics nodeSaid_;
    QSet<QString> dirty_;
    QTimer flush_;
    QTimer rebirth_;
    QTimer reconnect_;
    QElapsedTimer sinceBirth_;
    RepeatLog dropped_;
};

} // namespace zarnet::gateway
