#include "modbusservice.h"

#include "modbusframe.h"
#include "signline.h"

#include <core/logging.h>

#include <QHostAddress>
#include <QModbusExceptionResponse>
#include <QTcpSocket>

using namespace Qt::StringLiterals;

namespace zarnet::gateway {

namespace {

QString peer(const QTcpSocket* client) {
    return client->peerAddress().toString() + u':' + QString::number(client->peerPort());
}

} // namespace

ModbusService::ModbusService(const ModbusConfig& config, std::map<uint8_t, SignLine*> signs,
                             QObject* parent)
    : QObject(parent), config_(config), signs_(std::move(signs)) {
    connect(&server_, &QTcpServer::newConnection, this, &ModbusService::accept);
}

bool ModbusService::start(QString* error) {
    const QHostAddress address(config_.host);
    if (!server_.listen(address, config_.port)) {
        *error = u"cannot listen for Modbus TCP on %1:%2: %3"_s.arg(config_.host)
                     .arg(config_.port)
                     .arg(server_.errorString());
        return false;
    }
    qCInfo(lcGateway).noquote() << "Modbus TCP on" << config_.host << "port" << config_.port;
    if (!address.isLoopback())
        qCWarning(lcGateway).noquote() << "Modbus TCP has no authentication: whoever reaches"
                                       << config_.host << "can write the signs";
    return true;
}

void ModbusService::accept() {
    while (QTcpSocket* client = server_.nextPendingConnection()) {
        if (pending_.size() >= MaxClients) {
            qCWarning(lcGateway).noquote() << "refused a Modbus client from" << peer(client)
                                           << ": already" << MaxClients << "clients";
            client->abort();
            client->deleteLater();
            continue;
        }
        qCDebug(lcGateway).noquote() << "Modbus client from" << peer(client);
        pending_[client] = {};
        // Requests are answered as they are read, so a client's bytes never pile up here.
        client->setReadBufferSize(64 * 1024);
        connect(client, &QTcpSocket::readyRead, this, [this, client] { serve(client); });
        connect(client, &QTcpSocket::disconnected, this, [this, client] {
            pending_.erase(client);
            client->deleteLater();
        });
    }
}

void ModbusService::serve(QTcpSocket* client) {
    const auto found = pending_.find(client);
    if (found == pending_.end())
        return;
    QByteArray& bytes = found->second;
    bytes.append(client->readAll());
    qsizetype used = 0;
    for (;;) {
        const auto read = readAdu(QByteArrayView(bytes).sliced(used));
        if (std::holds_alternative<AduIncomplete>(read))
            break;
        if (const auto* why = std::get_if<QString>(&read)) {
            drop(client, *why);
            return;
        }
        const auto& adu = std::get<ModbusAdu>(read);
        used += adu.size;
        QModbusResponse response;
        if (const auto sign = signs_.find(adu.unit); sign != signs_.end()) {
            response = registers_.answer(adu.request, *sign->second);
        } else {
            qCWarning(lcGateway).noquote() << "refused a Modbus request from" << peer(client)
                                           << ": no sign has unit id" << adu.unit;
            response = QModbusExceptionResponse(adu.request.functionCode(),
                                                QModbusExceptionResponse::GatewayPathUnavailable);
        }
        if (response.isException())
            qCDebug(lcGateway).noquote()
                << "Modbus unit" << adu.unit << "function" << adu.request.functionCode()
                << "answered with exception" << response.exceptionCode();
        client->write(aduBytes(adu.transaction, adu.unit, response));
    }
    bytes.remove(0, used);
    if (client->bytesToWrite() > MaxUnread)
        drop(client, u"it does not read its answers"_s);
}

void ModbusService::drop(QTcpSocket* client, const QString& why) {
    qCWarning(lcGateway).noquote() << "dropped the Modbus client" << peer(client) << ":" << why;
    pending_.erase(client);
    client->abort();
    client->deleteLater();
}

} // namespace zarnet::gateway
