#include "boardschedule.h"

namespace zarnet {

namespace {

bool inRange(int value, int start, int end) {
    if (start <= end)
        return value >= start && value <= end;
    return value >= start || value <= end;
}

} // namespace

bool scheduleActive(const std::array<uint8_t, 4>& schedule, const QDateTime& at) {
    const int mode = schedule[0] >> 4;
    const int start = (schedule[0] & 0x0F) * 256 + schedule[1];
    const int end = schedule[2] * 256 + schedule[3];
    switch (mode) {
    case 0:
        return true;
    case 1:
        return inRange(at.time().hour() * 60 + at.time().minute(), start, end);
    case 2:
        return inRange(at.date().dayOfWeek() % 7, start, end); // Sunday is 0
    case 3:
        return inRange(at.date().day(), start, end);
    default:
        return false;
    }
}

} // namespace zarnet
