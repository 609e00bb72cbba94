#pragma once

#include <QDate>
#include <QString>
#include <QTime>
#include <bitset>
#include <optional>
#include <variant>

// When a sign is switched on and off by the clock. Everything here is pure and
// works on local wall-clock dates and times, so a clock set back or an hour
// repeated by a daylight-saving change is told apart from a new switch by order,
// not by the instant.
namespace zarnet::gateway {

struct PowerSchedule {
    QTime on;
    QTime off;                 // before `on`: the sign is switched off the next day
    std::bitset<7> days{0x7F}; // Monday is bit 0; the day an on-period starts
    bool operator==(const PowerSchedule&) const = default;
};

// One scheduled change, on the day and at the time it happens.
struct PowerSwitch {
    QDate date;
    QTime at;
    bool on = false;

    auto operator<=>(const PowerSwitch& other) const {
        if (date != other.date)
            return date.toJulianDay() <=> other.date.toJulianDay();
        return at.msecsSinceStartOfDay() <=> other.at.msecsSinceStartOfDay();
    }
    bool operator==(const PowerSwitch&) const = default;
};

// "mon-sat", "mon,wed,fri", "sat-mon", "daily": the days; nullopt for any other text.
std::optional<std::bitset<7>> readDays(const QString& text);

// The latest change at or before the wall-clock date and time: the one in force.
std::optional<PowerSwitch> lastSwitch(const PowerSchedule& schedule, QDate date, QTime time);
// The change to put in force at the wall-clock date and time, given the last one
// put in force: the latest change by then, if it is newer. A clock set back (or
// the hour repeated when daylight saving ends) finds none, so nothing repeats; a
// clock that jumps forward over a change (or into daylight saving) still finds it.
std::optional<PowerSwitch> dueSwitch(const PowerSchedule& schedule,
                                     const std::optional<PowerSwitch>& applied, QDate date,
                                     QTime time);
// After a clock set back by more than a day the last change made lies far ahead,
// and none would be made until the clock caught up: then the change in force at
// the new time takes its place. None otherwise.
std::optional<PowerSwitch> clockSetFarBack(const PowerSchedule& schedule,
                                           const std::optional<PowerSwitch>& applied, QDate date,
                                           QTime time);
// The first change after the wall-clock date and time.
std::optional<PowerSwitch> nextSwitch(const PowerSchedule& schedule, QDate date, QTime time);

} // namespace zarnet::gateway
