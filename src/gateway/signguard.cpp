#include "signguard.h"

#include "sign.h"

#include <core/logging.h>

namespace zarnet::gateway {

namespace {

// However far the next change is, the schedule is looked at again this often
// (real time), so a clock that was set is noticed.
constexpr int ScheduleLookMs = 1000;

// When a change happens: at its time, or, in an hour skipped when daylight saving
// begins, as soon as that hour is over.
QDateTime wallClock(const PowerSwitch& s) {
    const QDateTime exact(s.date, s.at);
    if (exact.isValid())
        return exact;
    for (int minutes = 15; minutes <= 180; minutes += 15) {
        const QTime quarter = QTime(s.at.hour(), s.at.minute() / 15 * 15).addSecs(60 * minutes);
        if (quarter < s.at)
            break; // past midnight
        const QDateTime later(s.date, quarter);
        if (later.isValid())
            return later;
    }
    return exact;
}

} // namespace

SignGuard::SignGuard(const SignConfig& config, Sign& sign, const PlantClock& clock,
                     const QByteArray& staleFrame, QObject* parent)
    : QObject(parent), config_(config), sign_(sign), clock_(clock), staleFrame_(staleFrame) {
    for (int unit = 0; unit < UnitAges::Units; ++unit) {
        const auto own = config_.unitMaxAgeMs.find(uint8_t(unit));
        ages_.setMaxAge(uint8_t(unit),
                        own != config_.unitMaxAgeMs.end() ? own->second : config_.maxAgeMs);
    }
    ageTimer_.setSingleShot(true);
    connect(&ageTimer_, &QTimer::timeout, this, &SignGuard::checkAges);
    scheduleTimer_.setSingleShot(true);
    connect(&scheduleTimer_, &QTimer::timeout, this, &SignGuard::checkSchedule);
    connect(&sign_, &Sign::unitArrived, this, &SignGuard::unitArrived);
}

void SignGuard::start() {
    if (config_.power)
        checkSchedule();
}

void SignGuard::stop() {
    ageTimer_.stop();
    scheduleTimer_.stop();
}

void SignGuard::unitArrived(uint8_t unit, uint32_t value) {
    plantValues_[unit] = value;
    if (!ages_.watched(unit))
        return;
    const bool news = ages_.fresh(unit, clock_.elapsedMs());
    // A timer that fires before the unit's new deadline finds nothing and is set
    // again; one due after it is brought forward.
    if (!ageTimer_.isActive() || clock_.realMs(*ages_.maxAge(unit)) < ageTimer_.remainingTime())
        armAges();
    if (!news)
        return;
    emit staleChanged(unit, false);
    if (staleShown_ && !ages_.allStale()) {
        staleShown_ = false;
        qCInfo(lcGateway).noquote() << config_.name << "has fresh figures: its own image again";
        sign_.showOwn();
    }
}

void SignGuard::checkAges() {
    for (const uint8_t unit : ages_.check(clock_.elapsedMs())) {
        qCInfo(lcGateway).noquote()
            << config_.name << "unit" << unit << "is stale: no new value for its maximum age";
        emit staleChanged(unit, true);
        if (config_.staleAction == StaleAction::Value)
            sign_.substitute(unit, config_.staleValue);
    }
    if (config_.staleAction == StaleAction::Image && !staleShown_ && !staleFrame_.isEmpty() &&
        ages_.allStale()) {
        staleShown_ = true;
        qCInfo(lcGateway).noquote() << config_.name << "shows its stale image";
        sign_.showInstead(staleFrame_);
    }
    armAges();
}

void SignGuard::armAges() {
    const auto next = ages_.nextDeadline();
    if (!next) {
        ageTimer_.stop();
        return;
    }
    ageTimer_.start(clock_.realMs(*next - clock_.elapsedMs()));
}

void SignGuard::checkSchedule() {
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
    scheduleTimer_.start(std::max(wait, 10));
}

// The next change that will be made: after now, and after the one made last (in
// the hour repeated when daylight saving ends, that one is not made again).
std::optional<PowerSwitch> SignGuard::upcoming(const QDateTime& now) const {
    PowerSwitch from{now.date(), now.time(), false};
    if (applied_ && from < *applied_)
        from = *applied_;
    return nextSwitch(*config_.power, from.date, from.at);
}

void SignGuard::commandPower(bool on) {
    powerOn_ = on;
    byCommand_ = config_.power.has_value();
    sign_.setPower(on);
    emit powerChanged();
}

std::optional<SignGuard::Power> SignGuard::power() const {
    if (!powerOn_)
        return std::nullopt;
    Power power{*powerOn_, byCommand_, std::nullopt};
    if (config_.power)
        if (const auto next = upcoming(clock_.now()))
            power.until = wallClock(*next);
    return power;
}

} // namespace zarnet::gateway
