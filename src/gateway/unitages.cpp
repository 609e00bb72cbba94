#include "unitages.h"

namespace zarnet::gateway {

bool UnitAges::fresh(uint8_t unit, int64_t now) {
    const bool news = stale_[unit] || (watched(unit) && !newest_[unit]);
    newest_[unit] = now;
    stale_[unit] = false;
    return news;
}

QList<uint8_t> UnitAges::check(int64_t now) {
    QList<uint8_t> went;
    for (int unit = 0; unit < Units; ++unit) {
        if (!maxAge_[unit] || !newest_[unit] || stale_[unit])
            continue;
        if (now - *newest_[unit] >= *maxAge_[unit]) {
            stale_[unit] = true;
            went.append(uint8_t(unit));
        }
    }
    return went;
}

std::optional<int64_t> UnitAges::nextDeadline() const {
    std::optional<int64_t> next;
    for (int unit = 0; unit < Units; ++unit)
        if (maxAge_[unit] && newest_[unit] && !stale_[unit]) {
            const int64_t deadline = *newest_[unit] + *maxAge_[unit];
            if (!next || deadline < *next)
                next = deadline;
        }
    return next;
}

bool UnitAges::allStale() const {
    bool any = false;
    for (int unit = 0; unit < Units; ++unit)
        if (maxAge_[unit] && newest_[unit]) {
            if (!stale_[unit])
                return false;
            any = true;
        }
    return any;
}

} // namespace zarnet::gateway
