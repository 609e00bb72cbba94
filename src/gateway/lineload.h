#pragma once

#include <QtGlobal>
#include <array>

namespace zarnet::gateway {

// The share of the last minute a line was busy, from the spans it was busy.
// Kept per second, so it takes the same room however busy the line is.
class LineLoad {
public:
    static constexpr qint64 WindowUs = 60'000'000;

    explicit LineLoad(qint64 startUs = 0) : startUs_(startUs) {}

    void busy(qint64 fromUs, qint64 toUs);
    // 0.0..1.0 over the last minute, or since the start when that is shorter.
    double share(qint64 nowUs) const;

private:
    static constexpr int Seconds = int(WindowUs / 1'000'000);
    struct Second {
        qint64 index = -1;
        qint64 busyUs = 0;
    };
    std::array<Second, Seconds> seconds_{};
    qint64 startUs_;
};

} // namespace zarnet::gateway
