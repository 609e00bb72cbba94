#pragma once

#include <QByteArray>
#include <QDateTime>
#include <cstdint>

// The control requests: fixed frames that carry no field of the window.
namespace zarnet {

QByteArray powerFrame(uint8_t device, bool on);
QByteArray clearFrame(uint8_t device);
// The connection test repeats the device number as its payload.
QByteArray findFrame(uint8_t device);
// Year within the century, month, day, hour (0–23), minute, second as plain bytes.
QByteArray clockFrame(uint8_t device, const QDateTime& localTime);

constexpr int FindReplyLength = 9;

} // namespace zarnet
