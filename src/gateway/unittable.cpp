#include "unittable.h"

namespace zarnet::gateway {

void UnitTable::set(uint8_t unit, uint32_t value) {
    wanted_[unit] = value;
    pending_[unit] = onSign_[unit] != value;
}

std::optional<UnitWrite> UnitTable::takeRun() {
    if (pending_.none())
        return std::nullopt;
    int first = cursor_;
    while (!pending_[size_t(first)])
        first = (first + 1) % Units;
    UnitWrite run;
    run.start = uint8_t(first);
    for (int unit = first;
         unit < Units && pending_[size_t(unit)] && run.values.size() < UnitValueFields; ++unit) {
        run.values.append(*wanted_[size_t(unit)]);
        pending_[size_t(unit)] = false;
    }
    cursor_ = (first + int(run.values.size())) % Units;
    return run;
}

void UnitTable::written(const UnitWrite& run) {
    for (qsizetype i = 0; i < run.values.size(); ++i) {
        const size_t unit = size_t(run.start + i);
        onSign_[unit] = run.values[i];
        // Set back to the old value while the run was on its way: that goes out too.
        if (wanted_[unit] != run.values[i])
            pending_[unit] = true;
    }
}

void UnitTable::failed(const UnitWrite& run) {
    for (qsizetype i = 0; i < run.values.size(); ++i) {
        const size_t unit = size_t(run.start + i);
        if (!pending_[unit] && wanted_[unit] == run.values[i])
            pending_[unit] = true;
    }
}

void UnitTable::resendAll() {
    for (size_t unit = 0; unit < Units; ++unit) {
        onSign_[unit].reset();
        pending_[unit] = wanted_[unit].has_value();
    }
}

} // namespace zarnet::gateway
