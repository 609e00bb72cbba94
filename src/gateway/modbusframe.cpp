#include "modbusframe.h"

using namespace Qt::StringLiterals;

namespace zarnet::gateway {

namespace {

constexpr qsizetype HeaderSize = 7;
// The length field counts the unit identifier and the PDU, which holds 1..253 bytes.
constexpr quint16 MinLength = 2;
constexpr quint16 MaxLength = 254;

quint16 word(QByteArrayView bytes, qsizetype at) {
    return quint16(quint8(bytes[at]) << 8 | quint8(bytes[at + 1]));
}

void appendWord(QByteArray& out, quint16 value) {
    out.append(char(value >> 8));
    out.append(char(value & 0xFF));
}

} // namespace

std::variant<ModbusAdu, AduIncomplete, AduFault> readAdu(QByteArrayView bytes) {
    if (bytes.size() < HeaderSize)
        return AduIncomplete{};
    const quint16 protocol = word(bytes, 2);
    if (protocol != 0)
        return AduFault{AduFault::Kind::Protocol, protocol};
    const quint16 length = word(bytes, 4);
    if (length < MinLength || length > MaxLength)
        return AduFault{AduFault::Kind::Length, length};
    const qsizetype size = HeaderSize - 1 + length;
    if (bytes.size() < size)
        return AduIncomplete{};
    ModbusAdu adu;
    adu.transaction = word(bytes, 0);
    adu.unit = quint8(bytes[6]);
    const QByteArrayView pdu = bytes.sliced(HeaderSize, size - HeaderSize);
    adu.request =
        QModbusRequest(QModbusPdu::FunctionCode(quint8(pdu[0])), pdu.sliced(1).toByteArray());
    adu.size = size;
    return adu;
}

QString describe(const AduFault& fault) {
    switch (fault.kind) {
    case AduFault::Kind::Protocol:
        return u"protocol identifier %1 is not Modbus (0)"_s.arg(fault.value);
    case AduFault::Kind::Length:
        return u"length %1 is outside %2..%3"_s.arg(fault.value).arg(MinLength).arg(MaxLength);
    }
    return {};
}

QByteArray aduBytes(quint16 transaction, quint8 unit, const QModbusResponse& response) {
    QByteArray out;
    appendWord(out, transaction);
    appendWord(out, 0);
    appendWord(out, quint16(response.size() + 1));
    out.append(char(unit));
    // An exception carries its function code with the top bit set.
    quint8 code = quint8(response.functionCode());
    if (response.isException())
        code |= QModbusPdu::ExceptionByte;
    out.append(char(code));
    out.append(response.data());
    return out;
}

} // namespace zarnet::gateway
