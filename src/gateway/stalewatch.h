#pragma once

#include "config.h"
#include "plantclock.h"
#include "unitages.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <array>
#include <optional>

namespace zarnet::gateway {

class Sign;

// Watches a sign's figures: each unit's newest value against its maximum age, and
// the sign's action when they are stale (a value in their place, or a picture in
// place of the sign's own while even the newest is too old).
class StaleWatch : public QObject {
    Q_OBJECT
public:
    // `staleFrame` is the built stale image, when the action is to show one.
    StaleWatch(const SignConfig& config, Sign& sign, const PlantClock& clock,
               const QByteArray& staleFrame = {}, QObject* parent = nullptr);

    void stop();
    bool watched(uint8_t unit) const { return ages_.watched(unit); }
    bool known(uint8_t unit) const { return ages_.known(unit); }
    bool stale(uint8_t unit) const { return ages_.stale(unit); }
    // The last value a plant system gave the unit (not one put in place of it).
    std::optional<uint32_t> plantValue(uint8_t unit) const { return plantValues_[unit]; }
    // How long ago a plant system gave the unit its value, in plant milliseconds.
    std::optional<int64_t> ageMs(uint8_t unit) const;

signals:
    void staleChanged(uint8_t unit, bool stale);

private:
    void unitArrived(uint8_t unit, uint32_t value);
    void checkAges();
    void armAges();

    const SignConfig& config_;
    Sign& sign_;
    const PlantClock& clock_;
    QByteArray staleFrame_;
    UnitAges ages_;
    bool staleShown_ = false;
    QTimer ageTimer_;
    std::array<std::optional<uint32_t>, UnitAges::Units> plantValues_{};
    std::array<std::optional<int64_t>, UnitAges::Units> arrivedMs_{};
};

} // namespace zarnet::gateway
