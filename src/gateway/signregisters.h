#pragma once

#include "unitaccess.h"

#include <QModbusServer>
#include <array>
#include <cstdint>
#include <optional>

namespace zarnet::gateway {

// Unit N's value as holding registers 2N and 2N+1, most significant word first.
std::array<quint16, 2> unitRegisters(uint32_t value);
uint32_t unitValue(quint16 high, quint16 low);

// The sign's state as input register 0: 0 online, 1 offline, 2 connecting.
quint16 stateRegister(SignHealth::State state);
// Seconds since the last good answer as input register 1; none yet or more than
// 65535 s read as 65535.
quint16 ageRegister(std::optional<qint64> milliseconds);

// The registers a Modbus client sees of one sign. Before each request they are
// filled from the sign (the value each unit holds or is about to get, and its
// state); Qt's server then answers the function code, and the units a write
// touched go to the sign's table like any other command.
class SignRegisters : public QModbusServer {
    Q_OBJECT
public:
    static constexpr int HoldingCount = 512; // units 0..255, two words each
    static constexpr int InputCount = 2;

    explicit SignRegisters(QObject* parent = nullptr);

    QModbusResponse answer(const QModbusRequest& request, UnitAccess& sign);

protected:
    bool open() override { return true; }
    void close() override {}
    bool writeData(const QModbusDataUnit& unit) override;
    QModbusResponse processRequest(const QModbusPdu& request) override;

private:
    void load(const UnitAccess& sign);

    bool recording_ = false;
    int firstWritten_ = -1; // holding registers the request wrote
    int lastWritten_ = -1;
};

} // namespace zarnet::gateway
