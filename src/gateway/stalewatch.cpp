#include "stalewatch.h"

#include "gatewaylog.h"
#include "sign.h"

namespace zarnet::gateway {

StaleWatch::StaleWatch(const SignConfig& config, Sign& sign, const PlantClock& clock,
                       const QByteArray& staleFrame, QObject* parent)
    : QObject(parent), config_(config), sign_(sign), clock_(clock), staleFrame_(staleFrame) {
    for (int unit = 0; unit < UnitAges::Units; ++unit) {
        const auto own = config_.unitMaxAgeMs.find(uint8_t(unit));
        ages_.setMaxAge(uint8_t(unit),
                        own != config_.unitMaxAgeMs.end() ? own->second : config_.maxAgeMs);
    }
    ageTimer_.setSingleShot(true);
    connect(&ageTimer_, &QTimer::timeout, this, &StaleWatch::checkAges);
    connect(&sign_, &Sign::unitArrived, this, &StaleWatch::unitArrived);
}

void StaleWatch::stop() {
    ageTimer_.stop();
}

std::optional<int64_t> StaleWatch::ageMs(uint8_t unit) const {
    if (!arrivedMs_[unit])
        return std::nullopt;
    return clock_.elapsedMs() - *arrivedMs_[unit];
}

void StaleWatch::unitArrived(uint8_t unit, uint32_t value) {
    plantValues_[unit] = value;
    arrivedMs_[unit] = clock_.elapsedMs();
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

void StaleWatch::checkAges() {
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

void StaleWatch::armAges() {
    const auto next = ages_.nextDeadline();
    if (!next) {
        ageTimer_.stop();
        return;
    }
    ageTimer_.start(clock_.realMs(*next - clock_.elapsedMs()));
}

} // namespace zarnet::gateway
