#pragma once

#include "config.h"
#include "signregisters.h"

#include <QByteArray>
#include <QObject>
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

    // Listens; false, with the reason in `error`, when it cannot.
    bool start(QString* error);

private:
    void accept();
    void serve(QTcpSocket* client);
    void drop(QTcpSocket* client, const QString& why);

    ModbusConfig config_;
    std::map<uint8_t, SignLine*> signs_;
    SignRegisters registers_;
    QTcpServer server_;
    std::map<QTcpSocket*, QByteArray> pending_; // bytes of a request not yet complete
};

} // namespace zarnet::gateway
