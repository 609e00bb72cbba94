#pragma once

#include <core/refusal.h>

#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <variant>

// When the controller shows the image: the four schedule modes and the four
// schedule bytes of the image frame.
namespace zarnet {

enum class ScheduleMode { Always = 0, DailyPeriod = 1, WeekdayRange = 2, MonthDates = 3 };

using ScheduleBytes = std::array<uint8_t, 4>;

// Bytes 6–9 of the image frame. Daily: hhmm in each field, hours × 60 + minutes
// in 0..4095, the mode in the top four bits of the first byte. Weekdays and
// dates: whole numbers 0..255. Always: the fields are not read.
std::variant<ScheduleBytes, fields::Refusal> encodeSchedule(ScheduleMode mode, const QString& start,
                                                            const QString& end);

// The leaving rules of the width and X-start fields: the whole number truncated
// toward zero to a multiple of `step`, as plain decimal text; nullopt when the text
// is not a whole number in −32768..32767.
std::optional<QString> alignDown(const QString& text, int step);

} // namespace zarnet
