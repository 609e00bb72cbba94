#include "commandqueue.h"

#include <algorithm>

namespace zarnet::gateway {

void CommandQueue::put(Kind kind, const QByteArray& frame) {
    waiting_.removeIf([kind](const Command& c) { return c.kind == kind; });
    waiting_.append({kind, frame});
}

std::optional<CommandQueue::Command> CommandQueue::take() {
    if (waiting_.isEmpty())
        return std::nullopt;
    return waiting_.takeFirst();
}

void CommandQueue::putBack(const Command& command) {
    if (!contains(command.kind))
        waiting_.prepend(command);
}

bool CommandQueue::contains(Kind kind) const {
    return std::any_of(waiting_.begin(), waiting_.end(),
                       [kind](const Command& c) { return c.kind == kind; });
}

} // namespace zarnet::gateway
