#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QModbusRequest>
#include <QModbusResponse>
#include <QString>
#include <variant>

// The seven-byte header Modbus TCP puts around a request or response: transaction,
// protocol (0), length of what follows, unit identifier. Qt's Modbus TCP server
// answers a single unit identifier and drops every other request unanswered, so
// the service reads the header itself to route each request to its sign; what is
// inside (function codes, registers, exceptions) stays with Qt's QModbusServer.
namespace zarnet::gateway {

struct ModbusAdu {
    quint16 transaction = 0;
    quint8 unit = 0;
    QModbusRequest request;
    qsizetype size = 0; // bytes taken from the stream
};

// The first part of a stream is not yet a whole request.
struct AduIncomplete {};

// Why a stream cannot be Modbus TCP, with the header field that says so.
struct AduFault {
    enum class Kind { Protocol, Length };
    Kind kind = Kind::Protocol;
    quint16 value = 0; // the protocol identifier, or the length field
};

// The first request in `bytes`, a wait for more, or why the stream cannot be
// Modbus TCP (the connection is then closed: nothing after it can be trusted).
std::variant<ModbusAdu, AduIncomplete, AduFault> readAdu(QByteArrayView bytes);

// The fault in a few words, for the log.
QString describe(const AduFault& fault);

// The response to the request with `transaction` and `unit`, as sent.
QByteArray aduBytes(quint16 transaction, quint8 unit, const QModbusResponse& response);

} // namespace zarnet::gateway
