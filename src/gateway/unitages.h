#pragma once

#include <QList>
#include <array>
#include <cstdint>
#include <optional>

namespace zarnet::gateway {

// How old each unit's newest value is, against the most age it may have. A unit
// is stale when its newest value is older than that; only a new value makes it
// fresh again, so its state changes once each way, whatever the message rate.
// Times are milliseconds on a monotonic clock.
class UnitAges {
public:
    static constexpr int Units = 256;

    // nullopt: the unit is not watched.
    void setMaxAge(uint8_t unit, std::optional<int64_t> ms) { maxAge_[unit] = ms; }
    bool watched(uint8_t unit) const { return maxAge_[unit].has_value(); }
    std::optional<int64_t> maxAge(uint8_t unit) const { return maxAge_[unit]; }

    // A new value came; true when the unit was stale and is fresh now, or is
    // watched and had no value before (its state is then news too).
    bool fresh(uint8_t unit, int64_t now);
    // The watched units whose newest value passed its maximum age by `now`, each once.
    QList<uint8_t> check(int64_t now);
    // When the next fresh unit goes stale; none when no watched unit is fresh.
    std::optional<int64_t> nextDeadline() const;

    bool stale(uint8_t unit) const { return stale_[unit]; }
    bool known(uint8_t unit) const { return newest_[unit].has_value(); }
    // Every watched unit with a value is stale (and there is at least one): even
    // the sign's newest value is too old.
    bool allStale() const;

private:
    std::array<std::optional<int64_t>, Units> maxAge_{};
    std::array<std::optional<int64_t>, Units> newest_{};
    std::array<bool, Units> stale_{};
};

} // namespace zarnet::gateway
