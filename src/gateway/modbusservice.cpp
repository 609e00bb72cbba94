#include "modbusservice.h"

#include "gatewaylog.h"
#include "modbusframe.h"
#include "unitaccess.h"

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

ModbusService::ModbusService(const ModbusConfig& config, std::map<uint8_t, UnitAccess*> signs,
                             QObject* parent)
    : QObject(parent), config_(config), signs_(std::move(signs)), refusals_(lcGateway) {
    connect(&server_, &QTcpServer::newConnection, this, &ModbusService::accept);
    stalled_.setInterval(UnreadLimitMs / 6);
    connect(&stalled_, &QTimer::timeout, this, &ModbusService::dropStalled);
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
    stalled_.start();
    if (!address.isLoopback())
        qCWarning(lcGateway).noquote() << "Modbus TCP has no authentication: whoever reaches"
                                       << config_.host << "can write the signs";
    return true;
}

void ModbusService::stop() {
    server_.close();
    stalled_.stop();
    for (auto& [client, state] : clients_) {
        client->disconnect(this);
        client->abort();
        client->deleteLater();
    }
    if (!clients_.empty())
        qCInfo(lcGateway) << "closed" << clients_.size() << "Modbus clients";
    clients_.clear();
}

void ModbusService::accept() {
    while (QTcpSocket* client = server_.nextPendingConnection()) {
        if (clients_.size() >= MaxClients)
            makeRoom();
        qCDebug(lcGateway).noquote() << "Modbus client from" << peer(client);
        Client& state = clients_[client];
        state.asked.start();
        state.readSome.start();
        // Requests wait in the socket while answers wait to be read: the client's
        // bytes never pile up here.
        client->setReadBufferSize(qint64{64} * 1024);
        client->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
        connect(client, &QTcpSocket::readyRead, this, [this, client] { serve(client); });
        connect(client, &QTcpSocket::bytesWritten, this, [this, client] {
            if (const auto found = clients_.find(client); found != clients_.end())
                found->second.readSome.start();
            serve(client);
        });
        connect(client, &QTcpSocket::disconnected, this, [this, client] {
            clients_.erase(client);
            client->deleteLater();
        });
    }
}

// A full table makes room at the address that holds the most connections, by
// closing its quietest one: one peer opening connection after connection cannot
// push out a PLC that polls from its own address, and a PLC that restarted, whose
// old connection is still open, makes room from that one.
void ModbusService::makeRoom() {
    QHash<QHostAddress, int> held;
    for (const auto& [client, state] : clients_)
        ++held[client->peerAddress()];
    const auto victim =
        std::max_element(clients_.begin(), clients_.end(), [&](const auto& a, const auto& b) {
            const int heldA = held.value(a.first->peerAddress());
            const int heldB = held.value(b.first->peerAddress());
            if (heldA != heldB)
                return heldA < heldB;
            return a.second.asked.elapsed() < b.second.asked.elapsed();
        });
    drop(victim->first, u"%1 clients are connected; its address holds %2 of them and it was "
                        "the quietest there"_s.arg(MaxClients)
                            .arg(held.value(victim->first->peerAddress())));
}

void ModbusService::dropStalled() {
    QList<QTcpSocket*> stalled;
    for (const auto& [client, state] : clients_)
        if (client->bytesToWrite() > 0 && state.readSome.elapsed() > UnreadLimitMs)
            stalled.append(client);
    for (QTcpSocket* client : stalled)
        drop(client, u"it has read none of its answers for %1 s"_s.arg(UnreadLimitMs / 1000));
}

void ModbusService::serve(QTcpSocket* client) {
    const auto found = clients_.find(client);
    if (found == clients_.end())
        return;
    Client& state = found->second;
    QByteArray& bytes = state.pending;
    if (bytes.size() < qsizetype{64} * 1024)
        bytes.append(client->read(qint64{64} * 1024));
    qsizetype used = 0;
    while (client->bytesToWrite() < MaxUnread) {
        const auto read = readAdu(QByteArrayView(bytes).sliced(used));
        if (std::holds_alternative<AduIncomplete>(read))
            break;
        if (const auto* fault = std::get_if<AduFault>(&read)) {
            drop(client, describe(*fault));
            return;
        }
        const auto& adu = std::get<ModbusAdu>(read);
        used += adu.size;
        state.asked.start();
        // The wait for a client to read counts from when its answers begin to wait.
        if (client->bytesToWrite() == 0)
            state.readSome.start();
        client->write(aduBytes(adu.transaction, adu.unit, answer(client, adu.unit, adu.request)));
    }
    bytes.remove(0, used);
}

// Each kind of refusal is a warning the first time an address meets it, then only
// counted, so a PLC that polls a wrong address does not flood the log.
QModbusResponse ModbusService::answer(QTcpSocket* client, quint8 unit,
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
    refusals_.warn(client->peerAddress().toString() + u' ' + kind,
                   u"refused a Modbus request from %1 (%2): %3"_s.arg(peer(client), kind, why));
    qCDebug(lcGateway).noquote() << "refused a Modbus request from" << peer(client) << "(" << kind
                                 << ")";
    return response;
}

void ModbusService::drop(QTcpSocket* client, const QString& why) {
    refusals_.warn(client->peerAddress().toString() + u" dropped: "_s + why,
                   u"dropped the Modbus client %1 : %2"_s.arg(peer(client), why));
    clients_.erase(client);
    client->disconnect(this);
    client->abort();
    client->deleteLater();
}

} // namespace zarnet::gateway
