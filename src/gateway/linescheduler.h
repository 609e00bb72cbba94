#pragma once

#include <QList>
#include <optional>

namespace zarnet::gateway {

// What one sign has for its line.
struct LineWant {
    bool command = false;     // units or a control command wait
    bool test = false;        // a connection test is due
    qint64 testWaitingMs = 0; // since it fell due
};

struct LineTurn {
    qsizetype sign = 0;
    bool test = false;
};

// A test due for longer than this goes ahead of commands, so that a busy line
// still notices a controller that stopped answering.
inline constexpr qint64 TestPatienceMs = 2000;

// The next turn on a line, in round robin from sign `from`: commands go before
// connection tests, and each sign that has something gets its turn before any
// gets a second.
std::optional<LineTurn> nextTurn(const QList<LineWant>& wants, qsizetype from);

} // namespace zarnet::gateway
