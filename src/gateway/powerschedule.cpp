#include "powerschedule.h"

#include <QStringList>
#include <array>

using namespace Qt::StringLiterals;

namespace zarnet::gateway {

namespace {

const std::array<QString, 7> dayNames = {u"mon"_s, u"tue"_s, u"wed"_s, u"thu"_s,
                                         u"fri"_s, u"sat"_s, u"sun"_s};

int dayIndex(const QString& name) {
    for (int i = 0; i < 7; ++i)
        if (dayNames[size_t(i)] == name)
            return i;
    return -1;
}

// The changes of the on-period that starts on `date`, if the schedule has one then.
std::array<std::optional<PowerSwitch>, 2> switchesStarting(const PowerSchedule& schedule,
                                                           QDate date) {
    if (!schedule.days.test(size_t(date.dayOfWeek() - 1)))
        return {};
    const QDate offDate = schedule.off > schedule.on ? date : date.addDays(1);
    return {PowerSwitch{date, schedule.on, true}, PowerSwitch{offDate, schedule.off, false}};
}

bool atOrBefore(const PowerSwitch& s, QDate date, QTime time) {
    return s <= PowerSwitch{date, time, false};
}

} // namespace

std::optional<std::bitset<7>> readDays(const QString& text) {
    const QString trimmed = text.trimmed().toLower();
    if (trimmed == u"daily")
        return std::bitset<7>(0x7F);
    std::bitset<7> days;
    for (const QString& part : trimmed.split(u',')) {
        const QStringList ends = part.trimmed().split(u'-');
        if (ends.size() > 2)
            return std::nullopt;
        const int first = dayIndex(ends.first().trimmed());
        const int last = dayIndex(ends.last().trimmed());
        if (first < 0 || last < 0)
            return std::nullopt;
        // A range may wrap over the week's end: sat-mon is Saturday, Sunday, Monday.
        for (int day = first;; day = (day + 1) % 7) {
            days.set(size_t(day));
            if (day == last)
                break;
        }
    }
    return days;
}

// An on-period lasts less than a day, so its changes lie at most a day after its
// start; a week back and forward always holds the nearest change of any schedule.
std::optional<PowerSwitch> lastSwitch(const PowerSchedule& schedule, QDate date, QTime time) {
    std::optional<PowerSwitch> latest;
    for (int back = 8; back >= -1; --back)
        for (const auto& s : switchesStarting(schedule, date.addDays(-back)))
            if (s && atOrBefore(*s, date, time) && (!latest || *latest < *s))
                latest = s;
    return latest;
}

std::optional<PowerSwitch> dueSwitch(const PowerSchedule& schedule,
                                     const std::optional<PowerSwitch>& applied, QDate date,
                                     QTime time) {
    const auto last = lastSwitch(schedule, date, time);
    if (last && (!applied || *applied < *last))
        return last;
    return std::nullopt;
}

std::optional<PowerSwitch> clockSetFarBack(const PowerSchedule& schedule,
                                           const std::optional<PowerSwitch>& applied, QDate date,
                                           QTime time) {
    if (!applied || !(PowerSwitch{date.addDays(1), time, false} < *applied))
        return std::nullopt;
    return lastSwitch(schedule, date, time);
}

std::optional<PowerSwitch> nextSwitch(const PowerSchedule& schedule, QDate date, QTime time) {
    for (int ahead = -1; ahead <= 8; ++ahead) {
        std::optional<PowerSwitch> first;
        for (const auto& s : switchesStarting(schedule, date.addDays(ahead)))
            if (s && !atOrBefore(*s, date, time) && (!first || *s < *first))
                first = s;
        if (first)
            return first;
    }
    return std::nullopt;
}

} // namespace zarnet::gateway
