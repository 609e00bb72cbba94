#pragma once

#include "config.h"
#include "repeatlog.h"
#include "signregisters.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QTcpServer>
#include <QTimer>
#include <map>

class QTcpSocket;

namespace zarnet::gateway {

class UnitAccess;

// Modbus TCP for PLCs: each sign with a unit identifier answers as that unit.
// Writes go to the sign's table, the same one the broker's commands fill.
class ModbusService : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxClients = 32;
    // While this much of a client's answers waits unread, its further requests wait.
    static constexpr qint64 MaxUnread = qint64{1024} * 1024;
    // A client whose answers wait this long without it reading any is dropped.
    static constexpr int UnreadLimitMs = 30000;

    ModbusService(const ModbusConfig& config, std::map<uint8_t, UnitAccess*> signs,
                  QObject* parent = nullptr);
    ~ModbusService() override;

    // The signs it serves from now on; before any of the old ones goes away.
    void setSigns(std::map<uint8_t, UnitAccess*> signs) { signs_ = std::move(signs); }
    const ModbusConfig& config() const { return config_; }
    // Listens; false, with the reason in `error`, when it cannot.
    bool start(QString* error);
    // Stops listening and closes every client: nothing is taken that could not
    // reach a sign any more.
    void stop();

private:
    struct Client {
        QByteArray pending;     // bytes of requests not answered yet
        QElapsedTimer asked;    // since the last request
        QElapsedTimer readSome; // since the client last took some of its answers
    };

    void accept();
    void serve(QTcpSocket* client);
    QModbusResponse answer(QTcpSocket* client, quint8 unit, const QModbusRequest& request);
    void drop(QTcpSocket* client, const QString& why);
    void makeRoom();
    void dropStalled();

    ModbusConfig config_;
    std::map<uint8_t, UnitAccess*> signs_;
    SignRegisters registers_;
    QTcpServer server_;
    std::map<QTcpSocket*, Client> clients_;
    RepeatLog refusals_;
    QTimer stalled_;
};

} // namespace zarnet::gateway
