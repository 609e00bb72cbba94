#include "schedule.h"

#include <core/fieldnumber.h>

using namespace Qt::StringLiterals;

namespace zarnet {

namespace {

// Minutes after midnight: characters 1–2 (hours) and 3–4 (minutes), each read
// as a whole number with the field rules, so " 845" is 8:45 like "0845". Any
// hours and minutes are taken as they stand while the total fits 12 bits.
std::optional<int> dailyMinutes(const QString& text) {
    if (text.size() < 4)
        return std::nullopt;
    const auto hours = fields::readInt16(text.mid(0, 2));
    const auto minutes = fields::readInt16(text.mid(2, 2));
    if (!hours || !minutes)
        return std::nullopt;
    const int total = *hours * 60 + *minutes;
    if (total < 0 || total > 4095)
        return std::nullopt;
    return total;
}

} // namespace

std::variant<ScheduleBytes, fields::Refusal> encodeSchedule(ScheduleMode mode, const QString& start,
                                                            const QString& end) {
    switch (mode) {
    case ScheduleMode::Always:
        return ScheduleBytes{0, 0, 0, 0};
    case ScheduleMode::DailyPeriod: {
        const auto from = dailyMinutes(start);
        if (!from)
            return fields::Refusal{fields::Field::DailyStart};
        const auto to = dailyMinutes(end);
        if (!to)
            return fields::Refusal{fields::Field::DailyEnd};
        return ScheduleBytes{uint8_t(0x10 + *from / 256), uint8_t(*from % 256), uint8_t(*to / 256),
                             uint8_t(*to % 256)};
    }
    case ScheduleMode::WeekdayRange:
    case ScheduleMode::MonthDates: {
        const auto from = fields::readByte(start);
        if (!from)
            return fields::Refusal{fields::Field::RangeStart};
        const auto to = fields::readByte(end);
        if (!to)
            return fields::Refusal{fields::Field::RangeEnd};
        return ScheduleBytes{uint8_t(int(mode) << 4), *from, 0, *to};
    }
    }
    return ScheduleBytes{0, 0, 0, 0};
}

std::optional<QString> alignDown(const QString& text, int step) {
    const auto value = fields::readInt16(text);
    if (!value)
        return std::nullopt;
    return QString::number(*value / step * step); // C++ division truncates toward zero
}

} // namespace zarnet
