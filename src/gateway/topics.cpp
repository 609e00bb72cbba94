#include "topics.h"

#include "config.h"
#include "payloads.h"

using namespace Qt::StringLiterals;

namespace zarnet::gateway {

namespace {

std::optional<Command> fixedCommand(QStringView what) {
    static constexpr std::pair<QStringView, Command> fixed[] = {{u"units", Command::UnitBatch},
                                                                {u"power", Command::Power},
                                                                {u"clock", Command::Clock},
                                                                {u"clear", Command::Clear},
                                                                {u"image", Command::Image}};
    for (const auto& [name, command] : fixed)
        if (what == name)
            return command;
    return std::nullopt;
}

} // namespace

// Read on every message: views into the topic, no copies but the sign's name.
std::variant<CommandTopic, CommandRefusal> readCommandTopic(const QString& prefix,
                                                            const QString& topic) {
    const QStringView view(topic);
    if (view.size() <= prefix.size() || !view.startsWith(prefix) || view[prefix.size()] != u'/')
        return CommandRefusal{CommandRefusal::Fault::NotUnderPrefix, prefix};
    const QStringView rest = view.sliced(prefix.size() + 1);
    // SIGN/WHAT/set, where WHAT has one level or more.
    const qsizetype signEnd = rest.indexOf(u'/');
    const qsizetype setStart = rest.lastIndexOf(u'/');
    if (signEnd < 0 || setStart == signEnd || rest.sliced(setStart + 1) != u"set")
        return CommandRefusal{CommandRefusal::Fault::NotCommandTopic};
    CommandTopic command;
    command.sign = rest.first(signEnd).toString();
    const QStringView what = rest.sliced(signEnd + 1, setStart - signEnd - 1);
    if (const auto fixed = fixedCommand(what)) {
        command.command = *fixed;
        return command;
    }
    const QStringView units = u"units/";
    if (what.startsWith(units) && !what.sliced(units.size()).contains(u'/')) {
        const QStringView number = what.sliced(units.size());
        if (const auto unit = readUnitNumber(number, true)) {
            command.unit = *unit;
            return command;
        }
        if (isUnitName(number)) {
            command.unitName = number.toString();
            return command;
        }
        return CommandRefusal{CommandRefusal::Fault::UnitForm, number.left(40).toString()};
    }
    return CommandRefusal{CommandRefusal::Fault::UnknownCommand, what.left(80).toString()};
}

std::optional<StaleTopic> readStaleTopic(const QString& prefix, const QString& topic) {
    if (!topic.startsWith(prefix + u'/'))
        return std::nullopt;
    const QStringList parts = topic.mid(prefix.size() + 1).split(u'/');
    if (parts.size() != 4 || parts[1] != u"units" || parts[3] != u"stale")
        return std::nullopt;
    const auto unit = readUnitNumber(parts[2], true);
    if (!unit)
        return std::nullopt;
    return StaleTopic{parts[0], *unit};
}

QString Topics::of(const QString& sign, const QString& rest) const {
    return prefix_ + u'/' + sign + u'/' + rest;
}

QString Topics::unit(const QString& sign, int unit) const {
    return of(sign, u"units/%1"_s.arg(unit));
}

QString Topics::stale(const QString& sign, int unit) const {
    return of(sign, u"units/%1/stale"_s.arg(unit));
}

QStringList Topics::commands(const QString& sign, const QStringList& unitNames) const {
    QStringList topics;
    for (const char* command : {"units", "power", "clock", "clear", "image"})
        topics.append(of(sign, QString::fromLatin1(command) + u"/set"_s));
    for (int unit = 0; unit < 256; ++unit)
        topics.append(of(sign, u"units/%1/set"_s.arg(unit)));
    // After the numbers: a name's topic keeps a command only until it has been passed
    // on to its number's, so one kept there now came later.
    for (const QString& name : unitNames)
        topics.append(of(sign, u"units/%1/set"_s.arg(name)));
    return topics;
}

QStringList Topics::live(const QString& sign) const {
    return {of(sign, u"+/set"_s), of(sign, u"units/+/set"_s)};
}

QStringList Topics::groupLive(const QString& group) const {
    return {groups() + u'/' + group + u"/+/set"_s, groups() + u'/' + group + u"/units/+/set"_s};
}

QString Topics::groupError(const QString& group) const {
    return groups() + u'/' + group + u"/error"_s;
}

QString Topics::gatewayStatus() const {
    return gatewayStatus(clientId_);
}

QString Topics::gatewayStatus(const QString& clientId) const {
    return prefix_ + u"/gateway/"_s + clientId + u"/status"_s;
}

QString Topics::lease(const QString& group) const {
    return prefix_ + u"/lease/"_s + group;
}

QString Topics::sync() const {
    return prefix_ + u"/gateway/"_s + clientId_ + u"/sync"_s;
}

QString Topics::signOf(const QString& topic) const {
    return topic.mid(prefix_.size() + 1).section(u'/', 0, 0);
}

} // namespace zarnet::gateway
