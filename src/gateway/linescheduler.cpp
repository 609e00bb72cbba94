#include "linescheduler.h"

namespace zarnet::gateway {

namespace {

template <typename Wanted>
std::optional<qsizetype> firstFrom(const QList<LineWant>& wants, qsizetype from, Wanted wanted) {
    const qsizetype n = wants.size();
    for (qsizetype k = 0; k < n; ++k) {
        const qsizetype i = (from + k) % n;
        if (wanted(wants[i]))
            return i;
    }
    return std::nullopt;
}

} // namespace

std::optional<LineTurn> nextTurn(const QList<LineWant>& wants, qsizetype from) {
    if (wants.isEmpty())
        return std::nullopt;
    from = ((from % wants.size()) + wants.size()) % wants.size();
    if (auto i = firstFrom(wants, from, [](const LineWant& w) {
            return w.test && w.testWaitingMs >= TestPatienceMs;
        }))
        return LineTurn{*i, true};
    if (auto i = firstFrom(wants, from, [](const LineWant& w) { return w.command; }))
        return LineTurn{*i, false};
    if (auto i = firstFrom(wants, from, [](const LineWant& w) { return w.test; }))
        return LineTurn{*i, true};
    return std::nullopt;
}

} // namespace zarnet::gateway
