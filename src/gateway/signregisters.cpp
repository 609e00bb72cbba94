#include "signregisters.h"

#include <core/unitframes.h>

#include <QModbusDataUnitMap>
#include <algorithm>

namespace zarnet::gateway {

std::array<quint16, 2> unitRegisters(uint32_t value) {
    return {quint16(value >> 16), quint16(value & 0xFFFF)};
}

uint32_t unitValue(quint16 high, quint16 low) {
    return uint32_t(high) << 16 | low;
}

quint16 stateRegister(SignHealth::State state) {
    switch (state) {
    case SignHealth::State::Online:
        return 0;
    case SignHealth::State::Offline:
        return 1;
    case SignHealth::State::Connecting:
        return 2;
    }
    return 2;
}

quint16 ageRegister(std::optional<qint64> milliseconds) {
    if (!milliseconds || *milliseconds < 0)
        return 0xFFFF;
    return quint16(std::min<qint64>(*milliseconds / 1000, 0xFFFF));
}

SignRegisters::SignRegisters(QObject* parent) : QModbusServer(parent) {
    QModbusDataUnitMap map;
    map.insert(QModbusDataUnit::HoldingRegisters,
               {QModbusDataUnit::HoldingRegisters, 0, HoldingCount});
    map.insert(QModbusDataUnit::InputRegisters, {QModbusDataUnit::InputRegisters, 0, InputCount});
    setMap(map);
}

void SignRegisters::load(const UnitAccess& sign) {
    QList<quint16> holding(HoldingCount);
    for (int unit = 0; unit < HoldingCount / 2; ++unit) {
        const auto words = unitRegisters(sign.unitWanted(uint8_t(unit)).value_or(0));
        holding[qsizetype{2} * unit] = words[0];
        holding[2 * unit + 1] = words[1];
    }
    setData(QModbusDataUnit(QModbusDataUnit::HoldingRegisters, 0, holding));
    setData(QModbusDataUnit(
        QModbusDataUnit::InputRegisters, 0,
        QList<quint16>{stateRegister(sign.state()), ageRegister(sign.sinceLastAnswerMs())}));
}

bool SignRegisters::writeData(const QModbusDataUnit& unit) {
    if (recording_ && unit.registerType() == QModbusDataUnit::HoldingRegisters &&
        unit.valueCount() > 0) {
        const int last = unit.startAddress() + int(unit.valueCount()) - 1;
        firstWritten_ =
            firstWritten_ < 0 ? unit.startAddress() : std::min(firstWritten_, unit.startAddress());
        lastWritten_ = std::max(lastWritten_, last);
    }
    return QModbusServer::writeData(unit);
}

// The serial-line diagnostics (FC 8, 11, 12) would change state shared by every
// sign, and "listen only" would silence the server for all; a code with the top
// bit set is an exception's, not a request's, and Qt would read it as the
// function below.
QModbusResponse SignRegisters::processRequest(const QModbusPdu& request) {
    const quint8 code = quint8(request.functionCode());
    if (request.isException() || code == 0 || code == QModbusPdu::Diagnostics ||
        code == QModbusPdu::GetCommEventCounter || code == QModbusPdu::GetCommEventLog)
        return QModbusExceptionResponse(request.functionCode(),
                                        QModbusExceptionResponse::IllegalFunction);
    return QModbusServer::processRequest(request);
}

QModbusResponse SignRegisters::answer(const QModbusRequest& request, UnitAccess& sign) {
    load(sign);
    firstWritten_ = lastWritten_ = -1;
    recording_ = true;
    const QModbusResponse response = processRequest(request);
    recording_ = false;
    if (response.isException() || firstWritten_ < 0)
        return response;
    // A write of one word sets that half; the unit gets the value of both words.
    // A value a unit cannot hold refuses the whole request, as nothing of it was taken.
    QList<uint32_t> values;
    for (int unit = firstWritten_ / 2; unit <= lastWritten_ / 2; ++unit) {
        quint16 high = 0;
        quint16 low = 0;
        data(QModbusDataUnit::HoldingRegisters, quint16(2 * unit), &high);
        data(QModbusDataUnit::HoldingRegisters, quint16(2 * unit + 1), &low);
        values.append(unitValue(high, low));
        if (values.last() > MaxUnitValue)
            return QModbusExceptionResponse(request.functionCode(),
                                            QModbusExceptionResponse::IllegalDataValue);
    }
    for (qsizetype i = 0; i < values.size(); ++i)
        sign.setUnit(uint8_t(firstWritten_ / 2 + i), values[i]);
    return response;
}

} // namespace zarnet::gateway
