#pragma once

#include <QDateTime>
#include <array>
#include <cstdint>

namespace zarnet {

// Whether an image with these schedule bytes (bytes 6–9 of its frame) is shown
// at the given time. Start and end are inclusive; an end before its start runs
// across the wrap (overnight, or Friday to Monday, or the 25th to the 5th).
bool scheduleActive(const std::array<uint8_t, 4>& schedule, const QDateTime& at);

} // namespace zarnet
