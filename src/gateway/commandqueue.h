#pragma once

#include <QByteArray>
#include <QList>
#include <optional>

namespace zarnet::gateway {

// The control commands waiting for one sign, in the order they came. A command
// replaces a waiting one of its kind: only the latest power, clock, clear or image
// matters, so the queue never holds more than four.
class CommandQueue {
public:
    enum class Kind { Clear, Image, Power, Clock };
    struct Command {
        Kind kind;
        QByteArray frame; // empty for a clock set to the time the frame goes out
    };

    void put(Kind kind, const QByteArray& frame);
    std::optional<Command> take();
    // A command that did not reach the sign goes first again, unless a newer one
    // of its kind is waiting.
    void putBack(const Command& command);
    bool contains(Kind kind) const;
    bool isEmpty() const { return waiting_.isEmpty(); }

private:
    QList<Command> waiting_;
};

} // namespace zarnet::gateway
