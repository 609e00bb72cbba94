#include "plantclock.h"

#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace zarnet::gateway {

PlantClock::PlantClock(const QDateTime& start, double speed) : start_(start), speed_(speed) {
    started_.start();
}

QDateTime PlantClock::now() const {
    if (!isTestClock())
        return QDateTime::currentDateTime();
    return start_.addMSecs(elapsedMs());
}

qint64 PlantClock::elapsedMs() const {
    return qint64(double(started_.elapsed()) * speed_);
}

int PlantClock::realMs(qint64 clockMs) const {
    const double real = std::ceil(double(clockMs) / speed_);
    if (real < 1)
        return 1;
    return real > double(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max()
                                                          : int(real);
}

QString PlantClock::describe() const {
    if (!isTestClock())
        return u"the system clock"_s;
    return u"a test clock from %1 at %2 times real time"_s.arg(start_.toString(Qt::ISODate))
        .arg(speed_);
}

std::unique_ptr<PlantClock> clockFromEnvironment() {
    const QString value = qEnvironmentVariable("ZARNETD_TEST_CLOCK");
    if (value.isEmpty())
        return std::make_unique<PlantClock>();
    const QDateTime start = QDateTime::fromString(value.section(u',', 0, 0), Qt::ISODate);
    bool ok = true;
    const double speed = value.contains(u',') ? value.section(u',', 1).toDouble(&ok) : 1.0;
    // Faster, the clock would step over the daily clock setting's one-minute window.
    if (!start.isValid() || !ok || !(speed >= 1 && speed <= 10000))
        return nullptr;
    return std::make_unique<PlantClock>(start, speed);
}

} // namespace zarnet::gateway
