#pragma once

#include "signhealth.h"

#include <QtGlobal>
#include <cstdint>
#include <optional>

namespace zarnet::gateway {

// What a register client may see of a sign and do to it.
class UnitAccess {
public:
    virtual ~UnitAccess() = default;
    // The value the unit holds or is about to get.
    virtual std::optional<uint32_t> unitWanted(uint8_t unit) const = 0;
    virtual SignHealth::State state() const = 0;
    // Milliseconds since the sign last answered the connection test; none before the first.
    virtual std::optional<qint64> sinceLastAnswerMs() const = 0;
    virtual void setUnit(uint8_t unit, uint32_t value) = 0;
};

} // namespace zarnet::gateway
