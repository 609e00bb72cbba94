#pragma once

#include "config.h"
#include "plantclock.h"
#include "powerschedule.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <optional>

namespace zarnet::gateway {

class Sign;

// A sign's power: its schedule, and the commands that override it until the
// schedule's next change.
class PowerTimetable : public QObject {
    Q_OBJECT
public:
    struct Power {
        bool on = false;
        bool byCommand = false;         // a power/set command, not the schedule
        std::optional<QDateTime> until; // the next scheduled change
    };

    PowerTimetable(const SignConfig& config, Sign& sign, const PlantClock& clock,
                   QObject* parent = nullptr);

    // Puts the scheduled power state in force and follows the schedule.
    void start();
    void stop();
    // A power/set command: in force until the schedule's next change.
    void command(bool on);
    // The power in force; none before any schedule or command.
    std::optional<Power> power() const;
    bool hasSchedule() const { return config_.power.has_value(); }

signals:
    void powerChanged();

private:
    void check();
    std::optional<PowerSwitch> upcoming(const QDateTime& now) const;

    const SignConfig& config_;
    Sign& sign_;
    const PlantClock& clock_;
    QTimer timer_;
    std::optional<PowerSwitch> applied_; // the latest scheduled change put in force
    std::optional<bool> powerOn_;
    bool byCommand_ = false;
};

} // namespace zarnet::gateway
