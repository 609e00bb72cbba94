#include "lineload.h"

#include <algorithm>

namespace zarnet::gateway {

void LineLoad::busy(qint64 fromUs, qint64 toUs) {
    while (fromUs < toUs) {
        const qint64 index = fromUs / 1'000'000;
        const qint64 end = std::min(toUs, (index + 1) * 1'000'000);
        Second& second = seconds_[size_t(index % Seconds)];
        if (second.index != index)
            second = {index, 0};
        second.busyUs += end - fromUs;
        fromUs = end;
    }
}

double LineLoad::share(qint64 nowUs) const {
    const qint64 nowIndex = nowUs / 1'000'000;
    const qint64 windowStart = std::max(startUs_, (nowIndex - Seconds + 1) * 1'000'000);
    if (nowUs <= windowStart)
        return 0.0;
    qint64 busy = 0;
    for (const Second& second : seconds_)
        if (second.index > nowIndex - Seconds && second.index <= nowIndex)
            busy += second.busyUs;
    return std::clamp(double(busy) / double(nowUs - windowStart), 0.0, 1.0);
}

} // namespace zarnet::gateway
