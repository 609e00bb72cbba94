#include "requests.h"

#include "frame.h"

namespace zarnet {

QByteArray powerFrame(uint8_t device, bool on) {
    return buildFrame(device, PowerCode, QByteArray(1, on ? 1 : 0));
}

QByteArray clearFrame(uint8_t device) {
    return buildFrame(device, ClearDotsCode, QByteArray(1, 0));
}

QByteArray findFrame(uint8_t device) {
    return buildFrame(device, FindCode, QByteArray(1, char(device)));
}

QByteArray clockFrame(uint8_t device, const QDateTime& localTime) {
    const QDate date = localTime.date();
    const QTime time = localTime.time();
    QByteArray payload;
    payload.append(char(date.year() % 100));
    payload.append(char(date.month()));
    payload.append(char(date.day()));
    payload.append(char(time.hour()));
    payload.append(char(time.minute()));
    payload.append(char(time.second()));
    return buildFrame(device, SetClockCode, payload);
}

} // namespace zarnet
