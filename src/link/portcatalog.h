#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <optional>

namespace zarnet {

// Maps the text of the port box to a serial device. A port number n is COMn on
// Windows and the n-th serial device the system reports elsewhere; a device path
// opens that device. nullopt means there is no such port.
class PortCatalog {
public:
    virtual ~PortCatalog() = default;
    virtual std::optional<QString> device(const QString& portText) const = 0;
};

class SystemPortCatalog : public PortCatalog {
public:
    std::optional<QString> device(const QString& portText) const override;

private:
    // Asking the system for its serial devices takes milliseconds; a scan of 16
    // ports asks once, and a device plugged in is seen a second later at most.
    QStringList orderedDevices() const;
    mutable QStringList devices_;
    mutable QElapsedTimer listed_;
};

// Serial device names in port-number order: ttyS*, ttyAMA*, ttyUSB*, ttyACM*, then
// the rest, each group by its number. Pseudo-terminals are left out.
QStringList orderSerialDevices(const QStringList& names);

// The device for port number `number` (from 1) in an ordered list, if any.
std::optional<QString> nthDevice(const QStringList& ordered, int number);

} // namespace zarnet
