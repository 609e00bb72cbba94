#pragma once

#include "topics.h"

#include <QDateTime>
#include <QString>
#include <array>

namespace zarnet::gateway {

// Why a command was dropped, in kinds few enough to count each.
enum class RefusalKind {
    Topic,       // not a command topic
    UnknownSign, // no such sign
    TooLarge,    // the payload is over the limit
    Replay,      // a retained command that must not be carried out again
    Payload,     // the payload does not say what its command needs
};
inline constexpr int RefusalKinds = 5;

// A command dropped, as the sign's error topic gave it.
struct Refusal {
    QDateTime at;
    QString topic;
    QString reason;
};

// What the service has counted since it started.
struct PlantCounters {
    // By Command, and one more for topics that name no command.
    std::array<quint64, 7> received{};
    std::array<quint64, RefusalKinds> refused{};
    quint64 brokerReconnects = 0;
};

} // namespace zarnet::gateway
