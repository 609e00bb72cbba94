#include "powertimetable.h"

#include "gatewaylog.h"
#include "sign.h"

namespace zarnet::gateway {

namespace {

// However far the next change is, the schedule is looked at again this often
// (real time), so a clock that was set is noticed.
constexpr int ScheduleLookMs = 1000;

// When a change happens: at its time, or, in an hour skipped when daylight saving
// begins, as soon as that hour is over.
QDateTime wallClock(const PowerSwitch& s) {
    QDateTime exact(s.date, s.at);
    if (exact.isValid())
        return exact;
    for (int minutes = 15; minutes <= 180; minutes += 15) {
        const QTime quarter = QTime(s.at.hour(), s.at.minute() / 15 * 15).addSecs(60 * minutes);
        if (quarter < s.at)
            break; // past midnight
        QDateTime later(s.date, quarter);
        if (later.isValid())
            return later;
    }
    return exact;
}

} // namespace

PowerTimetable::PowerTimetable(const SignConfig& config, Sign& sign, const PlantClock& clock,
                               QObject* parent)
    : QObject(parent), config_(config), sign_(sign), clock_(clock) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &PowerTimetable::check);
}

void PowerTimetable::start() {
    if (config_.power)
        check();
}

void PowerTimetable::stop() {
    timer_.stop();
}

void PowerTimetable::check() {
    const QDateTime now = clock_.now();
    if (const auto due = dueSwitch(*config_.power, applied_, now.date(), now.time())) {
        applied_ = due;
        byCommand_ = false;
        powerOn_ = due->on;
        qCInfo(lcGateway).noquote()
            << config_.name << "switched" << (due->on ? "on" : "off") << "by its schedule";
        sign_.setPower(due->on);
        emit powerChanged();
    } else if (const auto back =
                   clockSetFarBack(*config_.power, applied_, now.date(), now.time())) {
        // The change in force at the clock's new time takes the place of the last
        // one made; the sign is switched only if it is not in that state already.
        qCWarning(lcGateway).noquote()
            << config_.name << ": the clock was set back by more than a day; the schedule"
            << "goes on from" << now.toString(Qt::ISODate);
        applied_ = back;
        byCommand_ = false;
        if (powerOn_ != back->on) {
            powerOn_ = back->on;
            sign_.setPower(back->on);
        }
        emit powerChanged();
    }
    int wait = ScheduleLookMs;
    if (const auto next = upcoming(now)) {
        const qint64 ms = now.msecsTo(wallClock(*next));
        if (ms > 0)
            wait = std::min(wait, clock_.realMs(ms));
    }
    timer_.start(std::max(wait, 10));
}

// The next change that will be made: after now, and after the one made last (in
// the hour repeated when daylight saving ends, that one is not made again).
std::optional<PowerSwitch> PowerTimetable::upcoming(const QDateTime& now) const {
    PowerSwitch from{now.date(), now.time(), false};
    if (applied_ && from < *applied_)
        from = *applied_;
    return nextSwitch(*config_.power, from.date, from.at);
}

void PowerTimetable::command(bool on) {
    powerOn_ = on;
    byCommand_ = config_.power.has_value();
    sign_.setPower(on);
    emit powerChanged();
}

std::optional<PowerTimetable::Power> PowerTimetable::power() const {
    if (!powerOn_)
        return std::nullopt;
    Power power{*powerOn_, byCommand_, std::nullopt};
    if (config_.power)
        if (const auto next = upcoming(clock_.now()))
            power.until = wallClock(*next);
    return power;
}

} // namespace zarnet::gateway
