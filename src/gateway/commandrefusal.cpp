#include "commandrefusal.h"

using namespace Qt::StringLiterals;

namespace zarnet::gateway {

RefusalKind refusalKind(CommandRefusal::Fault fault) {
    using Fault = CommandRefusal::Fault;
    switch (fault) {
    case Fault::NotUnderPrefix:
    case Fault::NotCommandTopic:
    case Fault::UnitForm:
    case Fault::UnknownCommand:
    case Fault::UnknownUnitName:
        return RefusalKind::Topic;
    case Fault::UnknownSign:
        return RefusalKind::UnknownSign;
    case Fault::TooLarge:
        return RefusalKind::TooLarge;
    case Fault::ReplayedClockOrClear:
    case Fault::ReplayedScheduledPower:
    case Fault::ReplayedTimedImage:
        return RefusalKind::Replay;
    case Fault::MemberUnknownUnitName:
    case Fault::GroupScheduledPower:
    case Fault::GroupTimedImage:
    case Fault::ClearNotEmpty:
    case Fault::Payload:
    case Fault::MemberPayload:
    case Fault::SparkplugCommand:
    case Fault::PowerNotBoolean:
    case Fault::TextNotString:
    case Fault::UnitNotWholeNumber:
    case Fault::ReadOnlyMetric:
    case Fault::UnknownMetric:
        return RefusalKind::Payload;
    }
    return RefusalKind::Payload;
}

QString describe(const CommandRefusal& refusal) {
    using Fault = CommandRefusal::Fault;
    switch (refusal.fault) {
    case Fault::NotUnderPrefix:
        return u"not under %1/"_s.arg(refusal.detail);
    case Fault::NotCommandTopic:
        return u"not a command topic"_s;
    case Fault::UnitForm:
        return u"unknown unit \"%1\": units are 0..255, without leading zeros, or a unit's name"_s
            .arg(refusal.detail.left(40));
    case Fault::UnknownCommand:
        return u"unknown command \"%1\""_s.arg(refusal.detail.left(80));
    case Fault::UnknownSign:
        return u"unknown sign \"%1\""_s.arg(refusal.detail.left(64));
    case Fault::UnknownUnitName:
        return u"unknown unit \"%1\": the sign gives no unit that name"_s.arg(refusal.detail);
    case Fault::MemberUnknownUnitName:
        return u"unknown unit \"%1\": sign %2 gives no unit that name"_s.arg(refusal.detail,
                                                                             refusal.member);
    case Fault::TooLarge:
        return u"the payload has %1 bytes, more than 1 MiB"_s.arg(refusal.number);
    case Fault::ReplayedClockOrClear:
        return u"a retained clock or clear command is a replay and is not carried out again; "
               "publish these without retain"_s;
    case Fault::ReplayedScheduledPower:
        return u"a retained power command on a sign with a power schedule is a replay and is "
               "not carried out again; publish it without retain"_s;
    case Fault::ReplayedTimedImage:
        return u"a retained timed image is a replay and is not shown again; publish it "
               "without retain"_s;
    case Fault::GroupScheduledPower:
        return u"a retained power command for signs with a power schedule would override "
               "it on every reconnect; publish it without retain"_s;
    case Fault::GroupTimedImage:
        return u"a retained timed image may have ended long ago and is not shown; "
               "publish it without retain"_s;
    case Fault::ClearNotEmpty:
        return u"clear takes an empty payload"_s;
    case Fault::Payload:
        return describe(refusal.payload);
    case Fault::MemberPayload:
        return u"sign %1: %2"_s.arg(refusal.member, describe(refusal.payload));
    case Fault::SparkplugCommand:
        return describe(refusal.sparkplug);
    case Fault::PowerNotBoolean:
        return u"power takes a Boolean"_s;
    case Fault::TextNotString:
        return u"picture/text takes a String"_s;
    case Fault::UnitNotWholeNumber:
        return u"%1 takes a whole number"_s.arg(refusal.detail);
    case Fault::ReadOnlyMetric:
        return u"%1 is read-only"_s.arg(refusal.detail);
    case Fault::UnknownMetric:
        return u"the sign has no metric %1"_s.arg(
            refusal.detail.isEmpty() ? u"with that alias"_s : refusal.detail.left(100));
    }
    return {};
}

QString describe(sparkplug::CommandFault fault) {
    using sparkplug::CommandFault;
    switch (fault) {
    case CommandFault::Unreadable:
        return u"the payload is not a Sparkplug B payload"_s;
    case CommandFault::NoMetrics:
        return u"the command has no metrics"_s;
    case CommandFault::TooManyMetrics:
        return u"the command has more than %1 metrics"_s.arg(sparkplug::MaxCommandMetrics);
    case CommandFault::Unnamed:
        return u"a metric has neither a name nor an alias"_s;
    }
    return {};
}

} // namespace zarnet::gateway
