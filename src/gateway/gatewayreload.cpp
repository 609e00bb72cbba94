// How the running service takes a new configuration.
#include "gateway.h"

#include "gatewaylog.h"
#include "homeassistant.h"
#include "line.h"
#include "modbusservice.h"
#include "reloadplan.h"
#include "sign.h"

using namespace Qt::StringLiterals;

namespace zarnet::gateway {

void Gateway::reload(const Config& nextConfig) {
    if (stopping_)
        return;
    Config next = withOwnLines(nextConfig);
    if (next.standby != config_.standby) {
        qCWarning(lcGateway) << "the [standby] settings take effect at the next start";
        next.standby = config_.standby;
    }
    const ReloadPlan plan = planReload(config_, next);
    if (plan.changesNothing()) {
        const QStringList groupsBefore = groupFilters();
        const auto homeAssistantBefore = config_.homeAssistant;
        const bool groupsChanged = next.groups != config_.groups ||
                                   next.homeAssistant != config_.homeAssistant ||
                                   next.sparkplug != config_.sparkplug || next.http != config_.http;
        config_ = next; // groups, and the web server's settings, take effect as they are
        resubscribeGroups(groupsBefore);
        if (homeAssistantBefore != config_.homeAssistant)
            followHomeAssistant();
        announce();
        followSparkplug();
        qCInfo(lcGateway) << (groupsChanged
                                  ? "configuration read again: the groups, discovery, Sparkplug "
                                    "or the web server changed"
                                  : "configuration read again: nothing changed");
        return;
    }
    qCInfo(lcGateway).noquote() << "configuration read again:" << plan.added.size() << "signs new,"
                                << plan.restarted.size() << "changed," << plan.removed.size()
                                << "removed";
    // The new connection brings in the signs as they are after this reload; what
    // the old prefix or broker keeps stays as it was. With a lease, its topic and
    // its holder's name come from the prefix and the client id.
    const bool leaseNamesChange = config_.broker.prefix != next.broker.prefix ||
                                  config_.broker.clientId != next.broker.clientId;
    if (plan.broker && keeper_ && leaseNamesChange)
        qCWarning(lcGateway) << "with [standby], a new prefix or client_id takes effect at the "
                                "next start; the broker settings stay as they are";
    else if (plan.broker)
        reloadBroker(next.broker);
    // Signs that go leave their lines now, and are destroyed once nothing refers to them.
    std::vector<std::unique_ptr<Sign>> gone;
    for (const QString& name : plan.removed) {
        gone.push_back(takeSign(name));
        recentRefusals_.remove(name);
        mqtt_.unsubscribe({topics_.live(name)});
        qCInfo(lcGateway).noquote() << name << "removed from the configuration";
        clearTopics(name, unitNameList(gone.back()->config()));
    }
    for (const QString& name : plan.restarted) {
        gone.push_back(takeSign(name));
        forgetUnitNames(gone.back()->config(), next);
    }
    for (const LineConfig& line : plan.linesClosed)
        retireLine(line.port);

    const BrokerConfig broker = config_.broker;
    const std::optional<ModbusConfig> modbus = config_.modbus;
    const QStringList groupsBefore = groupFilters();
    const auto homeAssistantBefore = config_.homeAssistant;
    config_ = next;
    config_.broker = broker; // each changes once its new settings are in force
    config_.modbus = modbus;
    for (const LineConfig& line : plan.linesOpened)
        addLine(line);
    // Signs kept through a change of their line's settings move to the new line.
    for (const LineConfig& lineConfig : config_.lines) {
        Line* line = lineOnPort(lineConfig.port);
        for (const QString& name : lineConfig.signs) {
            if (const auto sign = signs_.find(name); sign != signs_.end())
                moveToLine(*sign->second, line);
            else
                lineOf_[name] = line; // a new sign joins it as it is added
        }
    }
    for (const SignConfig& sign : config_.signs)
        if (!signs_.contains(sign.name)) {
            toClear_.remove(sign.name); // back before its old topics were cleared
            startSign(addSign(sign));
        }
    reloadModbus(next.modbus);
    resubscribeGroups(groupsBefore);
    if (homeAssistantBefore != config_.homeAssistant)
        followHomeAssistant();
    announce();
    gone.clear();
    startClosedLines();
    if (mqtt_.isConnected() && !(plan.added.isEmpty() && plan.restarted.isEmpty())) {
        if (take_.running())
            rereadOwed_ = true;
        else
            takeRetained(true);
    }
    followSparkplug();
    emit summaryChanged();
    emit signsChanged();
}

// The sign leaves its line and this service; what it shows stays on the controller.
std::unique_ptr<Sign> Gateway::takeSign(const QString& name) {
    auto node = signs_.extract(name);
    std::unique_ptr<Sign> sign = std::move(node.mapped());
    disconnect(sign.get(), nullptr, this, nullptr);
    disconnect(&sign->timetable(), nullptr, this, nullptr);
    disconnect(&sign->staleWatch(), nullptr, this, nullptr);
    lineOf_.at(name)->remove(*sign);
    lineOf_.erase(name);
    loadSaid_.erase(name);
    sign->stop();
    // Its retained commands are carried out anew if it comes back.
    const auto ofSign = [&](const QString& topic) { return topics_.signOf(topic) == name; };
    retainedSaid_.removeIf([&](const auto& said) { return ofSign(said.key()); });
    liveDuringTake_.removeIf(ofSign);
    return sign;
}

// Subscribers hear the sign go; then nothing of it stays on the broker. Without a
// connection now, once there is one.
// Groups that came or went, or gained or lost this gateway's last member.
void Gateway::resubscribeGroups(const QStringList& before) {
    const QStringList now = groupFilters();
    if (now == before || !mqtt_.isConnected())
        return; // the connection subscribes anew
    QStringList gone;
    for (const QString& filter : before)
        if (!now.contains(filter))
            gone.append(filter);
    QStringList added;
    for (const QString& filter : now)
        if (!before.contains(filter))
            added.append(filter);
    if (!gone.isEmpty())
        mqtt_.unsubscribe(gone);
    subscribeGroups(added);
}

// The state topics of unit names a restarted sign no longer gives are cleared.
void Gateway::forgetUnitNames(const SignConfig& old, const Config& next) {
    const auto now = std::find_if(next.signs.begin(), next.signs.end(),
                                  [&](const SignConfig& s) { return s.name == old.name; });
    if (now == next.signs.end() || !owner())
        return;
    for (const auto& [unit, name] : old.unitNames)
        if (!now->unitNamed(name) && mqtt_.isConnected())
            mqtt_.publish(topics_.unit(old.name, name), {}, true);
}

void Gateway::clearTopics(const QString& name, const QStringList& unitNames) {
    if (!owner() || signs_.contains(name))
        return; // the owner's to clear; or configured again meanwhile
    if (!mqtt_.isConnected()) {
        toClear_.insert(name, unitNames);
        return;
    }
    for (const QString& unitName : unitNames)
        mqtt_.publish(topics_.unit(name, unitName), {}, true);
    mqtt_.publish(answeredTopic(config_, name), {}, true);
    mqtt_.publish(topics_.status(name), offlineStatus(name, u"removed from the configuration"_s),
                  false);
    mqtt_.publish(topics_.status(name), {}, true);
    for (int unit = 0; unit < UnitTable::Units; ++unit) {
        mqtt_.publish(topics_.unit(name, unit), {}, true);
        mqtt_.publish(topics_.stale(name, unit), {}, true);
    }
}

void Gateway::startSign(Sign& sign) {
    sign.start();
    if (!mqtt_.isConnected())
        return; // the connection brings it in
    mqtt_.subscribe({topics_.live(sign.name())}, LiveId,
                    mqtt_.hasSubscriptionIds() ? MqttClient::Retained::NeverAsPublished
                                               : MqttClient::Retained::Never);
    publishStatus(sign);
}

void Gateway::moveToLine(Sign& sign, Line* line) {
    Line*& on = lineOf_[sign.name()];
    if (on == line)
        return;
    on->remove(sign);
    line->add(sign);
    on = line;
}

Line* Gateway::lineOnPort(const QString& port) const {
    const auto found = std::find_if(lines_.begin(), lines_.end(),
                                    [&](const auto& line) { return line->port() == port; });
    return found == lines_.end() ? nullptr : found->get();
}

// Lines not open yet, whose port no line of an earlier configuration still holds.
void Gateway::startClosedLines() {
    if (stopping_ || !owner())
        return;
    for (const auto& line : lines_)
        if (line->state() == Line::State::Closed &&
            std::none_of(retiring_.begin(), retiring_.end(),
                         [&](const auto& old) { return old->port() == line->port(); }))
            line->start();
}

// The line finishes its frame and closes; a new line on its port opens then.
void Gateway::retireLine(const QString& port) {
    const auto found = std::find_if(lines_.begin(), lines_.end(),
                                    [&](const auto& line) { return line->port() == port; });
    if (found == lines_.end())
        return;
    Line* line = found->get();
    retiring_.push_back(std::move(*found));
    lines_.erase(found);
    linesTried_.remove(line);
    disconnect(line, nullptr, this, nullptr);
    connect(line, &Line::stopped, this, [this, line] {
        const auto old = std::find_if(retiring_.begin(), retiring_.end(),
                                      [&](const auto& l) { return l.get() == line; });
        old->release()->deleteLater();
        retiring_.erase(old);
        startClosedLines();
    });
    line->stop();
}

// The Modbus units follow the signs; a listener that cannot take its new address
// leaves the old one listening.
void Gateway::reloadModbus(const std::optional<ModbusConfig>& next) {
    auto units = modbusUnits();
    if (modbus_ && next && modbus_->config() == *next) {
        modbus_->setSigns(std::move(units));
        return;
    }
    if (!modbus_ && !next)
        return;
    if (modbus_)
        modbus_->stop();
    if (!next) {
        modbus_.reset();
        config_.modbus.reset();
        qCInfo(lcGateway) << "Modbus TCP off";
        return;
    }
    auto fresh = std::make_unique<ModbusService>(*next, units);
    QString error;
    if (fresh->start(&error)) {
        modbus_ = std::move(fresh);
        config_.modbus = next;
        return;
    }
    qCWarning(lcGateway).noquote() << error << "- Modbus TCP stays as it was";
    if (modbus_) {
        modbus_->setSigns(std::move(units));
        if (!modbus_->start(&error))
            qCWarning(lcGateway).noquote() << error;
    }
}

// The old connection ends with its will, so that the broker says this gateway
// left; the new one publishes every sign's state, as after any connect.
void Gateway::reloadBroker(const BrokerConfig& next) {
    Config probe = config_;
    probe.broker = next;
    QString error;
    if (!mqtt_.reconfigure(mqttSettings(probe), &error)) {
        qCWarning(lcGateway).noquote()
            << "the new broker settings cannot be used:" << error << "- the old ones stay";
        return;
    }
    qCInfo(lcGateway) << "the broker settings changed: connecting anew";
    config_.broker = next;
    topics_ = Topics(next.prefix, next.clientId);
    take_.cancel();
    take_.setSyncTopic(topics_.sync());
    retainedSaid_.clear();
    liveDuringTake_.clear();
}

} // namespace zarnet::gateway
