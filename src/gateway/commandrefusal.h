#pragma once

#include "payloads.h"
#include "sparkplugpayload.h"

#include <QString>

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

// Why the service drops a command, from a topic, a group's topic or a Sparkplug
// write: the fault, and what its words need.
struct CommandRefusal {
    enum class Fault {
        NotUnderPrefix, // detail: the prefix
        NotCommandTopic,
        UnitForm,              // detail: the unit as the topic names it
        UnknownCommand,        // detail: the command as the topic names it
        UnknownSign,           // detail: the sign
        UnknownUnitName,       // detail: the name
        MemberUnknownUnitName, // detail: the name; member: the group's sign without it
        TooLarge,              // number: the payload's bytes
        ReplayedClockOrClear,
        ReplayedScheduledPower,
        ReplayedTimedImage,
        GroupScheduledPower, // retained for a group with a power schedule
        GroupTimedImage,     // retained for a group
        ClearNotEmpty,
        Payload,            // payload: why
        MemberPayload,      // member: the group's sign; payload: why
        SparkplugCommand,   // sparkplug: why the payload is no command
        PowerNotBoolean,    // a Sparkplug write
        TextNotString,      // a Sparkplug write
        UnitNotWholeNumber, // detail: the metric
        ReadOnlyMetric,     // detail: the metric
        UnknownMetric,      // detail: the metric; empty: one named by an alias
    };
    Fault fault = Fault::NotCommandTopic;
    QString detail{};
    QString member{};
    qint64 number = 0;
    PayloadRefusal payload{};
    sparkplug::CommandFault sparkplug = sparkplug::CommandFault::Unreadable;
};
inline constexpr CommandRefusal::Fault LastRefusalFault = CommandRefusal::Fault::UnknownMetric;

inline CommandRefusal refusedPayload(const PayloadRefusal& why) {
    return {CommandRefusal::Fault::Payload, {}, {}, 0, why, {}};
}
// A payload over MaxPayload, of `bytes`.
inline CommandRefusal tooLarge(qint64 bytes) {
    return {CommandRefusal::Fault::TooLarge, {}, {}, bytes, {}, {}};
}

// The kind it is counted under.
RefusalKind refusalKind(CommandRefusal::Fault fault);

// The refusal in English, for the log, the error topic and the page.
QString describe(const CommandRefusal& refusal);
QString describe(sparkplug::CommandFault fault);

} // namespace zarnet::gateway
