#pragma once

#include "config.h"
#include "signregisters.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QTcpServer>
#include <map>

class QTcpSocket;

namespace zarnet::gateway {

class SignLine;

// Modbus TCP for PLCs: each sign with a unit identifier answers as that unit.
// Writes go to the sign's table, the same one the broker's commands fill.
class ModbusService : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxClients = 32;
    // A client that leaves this much of its answers unread is dropped.
    static constexpr qint64 MaxUnread = 1024 * 1024;

    ModbusService(const ModbusConfig& config, std::map<uint8_t, SignLine*> signs,
                  QObject* parent = nullptr);
    ~ModbusService() override;

    // Listens; false, with the reason in `error`, when it cannot.
    bool start(QString* error);
    // Stops listening and closes every client: nothing is taken that could not
    // reach a sign any more.
    void stop();

private:
    struct Client {
        QByteArray pending;   // bytes of a request not yet complete
        QElapsedTimer asked;  // since the last request
        QSet<QString> warned; // kinds of refusal already logged as warnings
    };

    void accept();
    void serve(QTcpSocket* client);
    QModbusResponse answer(QTcpSocket* client, Client& state, quint8 unit,
                           const QModbusRequest& request);
    void drop(QTcpSocket* client, const QString& why);

    ModbusConfig config_;
    std::map<uint8_t, SignLine*> signs_;
    SignRegisters registers_;
    QTcpServer server_;
    std::map<QTcpSocket*, Client> clients_;
};

} // namespace zarnet::gateway
