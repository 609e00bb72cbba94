#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QString>
#include <memory>

namespace zarnet::gateway {

// The time the service's schedules and ages run on: the wall clock for times of
// day, a monotonic count for ages. Tests run it faster, so hours pass in
// milliseconds.
class PlantClock {
public:
    // Runs from the system's clock; `speed` > 1 and a start time make a test clock.
    PlantClock() { started_.start(); }
    PlantClock(const QDateTime& start, double speed);

    // Local wall-clock time.
    QDateTime now() const;
    // Milliseconds since the clock started; never goes back.
    qint64 elapsedMs() const;
    // Real milliseconds until `clockMs` have passed on this clock, at least 1.
    int realMs(qint64 clockMs) const;
    bool isTestClock() const { return start_.isValid(); }
    QString describe() const;

private:
    QElapsedTimer started_;
    QDateTime start_; // valid for a test clock
    double speed_ = 1;
};

// ZARNETD_TEST_CLOCK="YYYY-MM-DDThh:mm:ss[,SPEED]" makes a test clock; unset, the
// system's. None when the variable cannot be read.
std::unique_ptr<PlantClock> clockFromEnvironment();

} // namespace zarnet::gateway
