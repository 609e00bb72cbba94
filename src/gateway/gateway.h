#pragma once

#include "config.h"
#include "mqttclient.h"
#include "plantclock.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <map>
#include <memory>

namespace zarnet {
class PortCatalog;
struct UnitWrite;
} // namespace zarnet

namespace zarnet::gateway {

class ModbusService;
class SignGuard;
class SignLine;

// The service: commands from the broker to the signs, and each sign's state back
// to the broker. Input that cannot be used is published on the sign's error
// topic and logged; it never reaches a line.
class Gateway : public QObject {
    Q_OBJECT
public:
    // How long stop() waits for the broker to take the last publications.
    static constexpr int StopTimeoutMs = 3000;

    Gateway(const Config& config, const PortCatalog& ports, const PlantClock& clock,
            QObject* parent = nullptr);
    ~Gateway() override;

    // Starts serving; false, with the reason in `error`, when it cannot.
    bool start(QString* error);
    // Finishes the frames on the wire, publishes offline, disconnects; finished() follows.
    void stop();

    // A command as it came from the broker. A retained clock or clear command is a
    // replay of one already carried out, and is not carried out again.
    void command(const QString& topic, const QByteArray& payload, bool retained = false);

signals:
    void finished();

private:
    void onConnected();
    void refuse(const QString& sign, const QString& topic, const QByteArray& payload,
                const QString& reason);
    void publishStatus(const SignLine& sign);
    void publishStale(const QString& sign, uint8_t unit, bool stale);
    void staleReportSeen(const QString& topic, const QByteArray& payload, bool retained);
    void publishUnits(const SignLine& sign, const UnitWrite& run);
    void signStopped();
    QString topic(const QString& sign, const QString& rest) const;
    QString gatewayTopic() const;

    Config config_;
    MqttClient mqtt_;
    const PlantClock& clock_;
    std::map<QString, std::unique_ptr<SignLine>> signs_;
    std::map<QString, std::unique_ptr<SignGuard>> guards_;
    std::unique_ptr<ModbusService> modbus_;
    int signsRunning_ = 0;
    bool stopping_ = false;
};

} // namespace zarnet::gateway
