#pragma once

#include <core/unitframes.h>

#include <array>
#include <bitset>
#include <cstdint>
#include <optional>

namespace zarnet::gateway {

// The values one sign's units should hold, and which of them still have to go
// out. The latest value of a unit wins; memory is the same whatever the rate.
class UnitTable {
public:
    static constexpr int Units = 256;

    // A value equal to the one on the sign, with nothing pending, is not sent again.
    void set(uint8_t unit, uint32_t value);
    bool hasPending() const { return pending_.any(); }
    // The next run of consecutive pending units, up to 9, no longer pending. Runs
    // are taken in turn around the table, so a busy unit cannot hold up the rest.
    std::optional<UnitWrite> takeRun();
    // The run is on the sign.
    void written(const UnitWrite& run);
    // The run did not go out: its units are pending again, unless set since.
    void failed(const UnitWrite& run);
    // Every unit with a known value goes out again (a controller that restarted).
    void resendAll();
    std::optional<uint32_t> value(uint8_t unit) const { return wanted_[unit]; }
    std::optional<uint32_t> onSign(uint8_t unit) const { return onSign_[unit]; }

private:
    std::array<std::optional<uint32_t>, Units> wanted_{};
    std::array<std::optional<uint32_t>, Units> onSign_{};
    std::bitset<Units> pending_;
    int cursor_ = 0; // where the search for the next run starts
};

} // namespace zarnet::gateway
