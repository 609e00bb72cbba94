#pragma once

#include "config.h"
#include "plantclock.h"
#include "powerschedule.h"
#include "unitages.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <array>
#include <optional>

namespace zarnet::gateway {

class Sign;

// Watches over one sign: figures that stopped coming (each unit's newest value
// against its maximum age, and the sign's action when they are stale), and the
// power schedule with the commands that override it until its next change.
class SignGuard : public QObject {
    Q_OBJECT
public:
    struct Power {
        bool on = false;
        bool byCommand = false;         // a power/set command, not the schedule
        std::optional<QDateTime> until; // the next scheduled change
    };

    // `staleFrame` is the built stale image, when the action is to show one.
    SignGuard(const SignConfig& config, Sign& sign, const PlantClock& clock,
              const QByteArray& staleFrame = {}, QObject* parent = nullptr);

    // Puts the scheduled power state in force and starts watching.
    void start();
    void stop();
    // A power/set command: in force until the schedule's next change.
    void commandPower(bool on);

    // The power in force; none before any schedule or command.
    std::optional<Power> power() const;
    bool hasSchedule() const { return config_.power.has_value(); }
    bool watched(uint8_t unit) const { return ages_.watched(unit); }
    bool known(uint8_t unit) const { return ages_.known(unit); }
    bool stale(uint8_t unit) const { return ages_.stale(unit); }
    // The last value a plant system gave the unit (not one put in place of it).
    std::optional<uint32_t> plantValue(uint8_t unit) const { return plantValues_[unit]; }

signals:
    void staleChanged(uint8_t unit, bool stale);
    void powerChanged();

private:
    void unitArrived(uint8_t unit, uint32_t value);
    void checkAges();
    void armAges();
    void checkSchedule();
    std::optional<PowerSwitch> upcoming(const QDateTime& now) const;

    SignConfig config_;
    Sign& sign_;
    const PlantClock& clock_;
    QByteArray staleFrame_;
    UnitAges ages_;
    bool staleShown_ = false;
    QTimer ageTimer_;
    QTimer scheduleTimer_;
    std::array<std::optional<uint32_t>, UnitAges::Units> plantValues_{};
    std::optional<PowerSwitch> applied_; // the latest scheduled change put in force
    std::optional<bool> powerOn_;
    bool byCommand_ = false;
};

} // namespace zarnet::gateway
