#include "signguard.h"

#include "signline.h"

#include <core/logging.h>

namespace zarnet::gateway {

namespace {

// However far the next change is, the schedule is looked at again this often
// (real time), so a clock that was set is noticed.
constexpr int ScheduleLookMs = 1000;

QDateTime wallClock(const PowerSwitch& s) {
    return QDateTime(s.date, s.at);
}

} // namespace

SignGuard::SignGuard(const SignConfig& config, SignLine& sign, const PlantClock& clock,
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
    connect(&sign_, &SignLine::unitArrived, this, &SignGuard::unitArrived);
}

void SignGuard::start() {
    if (config_.power)
        checkSchedule();
}

void SignGuard::stop() {
    ageTimer_.stop();
    scheduleTimer_.stop();
}

void SignGuard::unitArrived(uint8_t unit) {
    if (!ages_.watched(unit))
        return;
    const bool news = ages_.fresh(unit, clock_.elapsedMs());
    // A timer that fires before the unit's new deadline finds nothing and is set again.
    if (!ageTimer_.isActive())
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
    if (const auto last = dueSwitch(*config_.power, applied_, now.date(), now.time())) {
        applied_ = last;
        byCommand_ = false;
        powerOn_ = last->on;
        qCInfo(lcGateway).noquote()
            << config_.name << "switched" << (last->on ? "on" : "off") << "by its schedule";
        sign_.setPower(last->on);
        emit powerChanged();
    }
    int wait = ScheduleLookMs;
    if (const auto next = nextSwitch(*config_.power, now.date(), now.time()))
        wait = std::min(wait, clock_.realMs(now.msecsTo(wallClock(*next))));
    scheduleTimer_.start(std::max(wait, 10));
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
    if (config_.power) {
        const QDateTime now = clock_.now();
        if (const auto next = nextSwitch(*config_.power, now.date(), now.time()))
            power.until = wallClock(*next);
    }
    return power;
}

} // namespace zarnet::gateway
