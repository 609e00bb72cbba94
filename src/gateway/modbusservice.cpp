#include "modbusservice.h"

#include "modbusframe.h"
#include "signline.h"

#include <core/logging.h>

#include <QHostAddress>
#include <QModbusExceptionResponse>
#include <QTcpSocket>
#include <algorithm>

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

// The sockets are the server's children and tell of their end as they go: they
// must not find this object half destroyed.
ModbusService::~ModbusService() {
    stop();
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

void ModbusService::stop() {
    server_.close();
    for (auto& [client, state] : clients_) {
        client->disconnect(this);
        client->abort();
        client->deleteLater();
    }
    if (!clients_.empty())
        qCInfo(lcGateway) << "closed" << clients_.size() << "Modbus clients";
    clients_.clear();
}

// A full table makes room by closing the client that has been quiet longest: a
// PLC that restarted leaves its old connection open, and must not lock itself out.
void ModbusService::accept() {
    while (QTcpSocket* client = server_.nextPendingConnection()) {
        if (clients_.size() >= MaxClients) {
            const auto quietest = std::max_element(
                clients_.begin(), clients_.end(), [](const auto& a, const auto& b) {
                    return a.second.asked.elapsed() < b.second.asked.elapsed();
                });
            drop(quietest->first,
                 u"%1 clients are connected; it was the quietest"_s.arg(MaxClients));
        }
        qCDebug(lcGateway).noquote() << "Modbus client from" << peer(client);
        clients_[client].asked.start();
        // Requests are answered as they are read, so a client's bytes never pile up here.
        client->setReadBufferSize(64 * 1024);
        client->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
        connect(client, &QTcpSocket::readyRead, this, [this, client] { serve(client); });
        connect(client, &QTcpSocket::disconnected, this, [this, client] {
            clients_.erase(client);
            client->deleteLater();
        });
    }
}

void ModbusService::serve(QTcpSocket* client) {
    const auto found = clients_.find(client);
    if (found == clients_.end())
        return;
    Client& state = found->second;
    QByteArray& bytes = state.pending;
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
        state.asked.start();
        client->write(
            aduBytes(adu.transaction, adu.unit, answer(client, state, adu.unit, adu.request)));
    }
    bytes.remove(0, used);
    if (client->bytesToWrite() > MaxUnread)
        drop(client, u"it does not read its answers"_s);
}

// Each kind of refusal is a warning the first time a client meets it, so a PLC
// that polls a wrong address does not flood the log.
QModbusResponse ModbusService::answer(QTcpSocket* client, Client& state, quint8 unit,
                                      const QModbusRequest& request) {
    const auto sign = signs_.find(unit);
    QModbusResponse response =
        sign != signs_.end()
            ? registers_.answer(request, *sign->second)
            : QModbusExceptionResponse(request.functionCode(),
                                       QModbusExceptionResponse::GatewayPathUnavailable);
    if (!response.isValid()) {
        response = QModbusExceptionResponse(request.functionCode(),
                                            QModbusExceptionResponse::ServerDeviceFailure);
    }
    if (!response.isException())
        return response;
    const QString kind = u"unit id %1, function %2, exception %3"_s.arg(unit)
                             .arg(quint8(request.functionCode()))
                             .arg(response.exceptionCode());
    const QString why = sign == signs_.end()
                            ? u"no sign has unit id %1"_s.arg(unit)
                            : u"refused with exception %1"_s.arg(response.exceptionCode());
    if (!state.warned.contains(kind)) {
        state.warned.insert(kind);
        qCWarning(lcGateway).noquote()
            << "refused a Modbus request from" << peer(client) << "(" << kind << "):" << why
            << "- further ones like it are logged only with --verbose";
    } else {
        qCDebug(lcGateway).noquote()
            << "refused a Modbus request from" << peer(client) << "(" << kind << ")";
    }
    return response;
}

void ModbusService::drop(QTcpSocket* client, const QString& why) {
    qCWarning(lcGateway).noquote() << "dropped the Modbus client" << peer(client) << ":" << why;
    clients_.erase(client);
    client->disconnect(this);
    client->abort();
    client->deleteLater();
}

} // namespace zarnet::gateway
