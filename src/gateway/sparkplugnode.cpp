#include "sparkplugnode.h"

#include "gateway.h"
#include "payloads.h"
#include "plantclock.h"
#include "powertimetable.h"
#include "sign.h"
#include "signreport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>

Q_LOGGING_CATEGORY(lcSparkplug, "zarnet.sparkplug", QtInfoMsg)

using namespace Qt::StringLiterals;

namespace zarnet::gateway {

namespace {

using sparkplug::CommandFault;
using sparkplug::DataType;
using sparkplug::Metric;
using sparkplug::Naming;

const QString Namespace = u"spBv1.0"_s;
const QString Rebirth = u"Node Control/Rebirth"_s;
const QString Text = u"picture/text"_s;
constexpr uint64_t RebirthAlias = 2;
// A sign's aliases: its slot << SlotBits, plus the unit's number, or one of these.
constexpr uint64_t SlotBits = 16;
enum Offset : uint64_t { PowerOffset = 256, StateOffset, OnlineOffset, TextOffset };
// Rebirths come at most this often, however many are asked for.
constexpr int RebirthGapMs = 1000;

SparkplugConfig withNodeId(SparkplugConfig config, const QString& clientId) {
    if (config.edgeNodeId.isEmpty())
        config.edgeNodeId = clientId;
    return config;
}

// A unit's metric: its name, else units/N.
QString unitMetric(const Sign& sign, uint8_t unit) {
    const auto& names = sign.config().unitNames;
    const auto name = names.find(unit);
    return name != names.end() ? name->second : u"units/%1"_s.arg(unit);
}

QString valueText(const sparkplug::CommandValue& value) {
    return std::visit(
        [](const auto& v) -> QString {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                return u"null"_s;
            else if constexpr (std::is_same_v<T, bool>)
                return v ? u"true"_s : u"false"_s;
            else if constexpr (std::is_same_v<T, QString>)
                return u'"' + v.left(100) + u'"';
            else
                return QString::number(v);
        },
        value);
}

// A command topic's last levels and payload.
using PlainCommand = QPair<QString, QByteArray>;

// The command the plain topics would take for a write to the metric, checked by
// their readers; or why there is none.
std::variant<PlainCommand, CommandRefusal> plainCommand(const Sign& sign, const QString& metric,
                                                        const sparkplug::CommandValue& value) {
    const auto unit = metric.startsWith(u"units/"_s)
                          ? readUnitNumber(QStringView(metric).mid(6), true)
                          : sign.config().unitNamed(metric);
    PlainCommand command;
    if (metric == u"power"_s) {
        const auto* on = std::get_if<bool>(&value);
        if (!on)
            return CommandRefusal{CommandRefusal::Fault::PowerNotBoolean};
        command = {u"power/set"_s, *on ? "on" : "off"};
    } else if (metric == Text) {
        const auto* text = std::get_if<QString>(&value);
        if (!text)
            return CommandRefusal{CommandRefusal::Fault::TextNotString};
        QJsonObject image =
            sign.config().image ? imageSettings(sign.config().image->payload) : QJsonObject();
        image.insert(u"text"_s, *text);
        command = {u"image/set"_s, QJsonDocument(image).toJson(QJsonDocument::Compact)};
        if (const auto checked = checkedImageRequest(command.second);
            const auto* why = std::get_if<PayloadRefusal>(&checked))
            return refusedPayload(*why);
    } else if (unit) {
        if (const auto* number = std::get_if<uint64_t>(&value))
            command.second = QByteArray::number(*number);
        else if (const auto* negative = std::get_if<int64_t>(&value))
            command.second = QByteArray::number(*negative);
        else
            return CommandRefusal{CommandRefusal::Fault::UnitNotWholeNumber, metric};
        command.first = u"units/%1/set"_s.arg(*unit);
        if (const auto checked = readUnitValue(command.second);
            const auto* why = std::get_if<PayloadRefusal>(&checked))
            return refusedPayload(*why);
    } else if (metric == u"state"_s || metric == u"online"_s) {
        return CommandRefusal{CommandRefusal::Fault::ReadOnlyMetric, metric};
    } else {
        return CommandRefusal{CommandRefusal::Fault::UnknownMetric, metric};
    }
    return command;
}

std::optional<uint8_t> readCounter(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    bool ok = false;
    const uint value = file.read(16).trimmed().toUInt(&ok);
    if (!ok || value > 255)
        return std::nullopt;
    return uint8_t(value);
}

bool keepCounter(const QString& path, uint8_t value) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(QByteArray::number(value) + '\n') > 0 &&
           file.commit();
}

} // namespace

SparkplugNode::SparkplugNode(const SparkplugConfig& config, MqttClient::Settings broker,
                             Gateway& gateway, const PlantClock& clock, QString counterFile)
    : config_(withNodeId(config, broker.clientId)), gateway_(gateway), clock_(clock),
      counterFile_(std::move(counterFile)), mqtt_([&] {
          // A connection of its own: its will is the node's death, never kept.
          broker.willTopic = Namespace + u'/' + config.groupId + u"/NDEATH/"_s +
                             withNodeId(config, broker.clientId).edgeNodeId;
          broker.willRetained = false;
          broker.clientId += u"-sparkplug"_s;
          return broker;
      }()),
      dropped_(lcSparkplug) {
    flush_.setSingleShot(true);
    flush_.setInterval(0);
    connect(&flush_, &QTimer::timeout, this, &SparkplugNode::flush);
    rebirth_.setSingleShot(true);
    connect(&rebirth_, &QTimer::timeout, this, [this] {
        if (born_)
            birth();
    });
    reconnect_.setSingleShot(true);
    connect(&reconnect_, &QTimer::timeout, this, [this] {
        if (QString why; !mqtt_.reconfigure(mqtt_.settings(), &why))
            qCWarning(lcSparkplug).noquote() << "cannot connect anew:" << why;
    });
    sinceBirth_.start();
    connect(&mqtt_, &MqttClient::aboutToConnect, this, &SparkplugNode::connecting);
    connect(&mqtt_, &MqttClient::connected, this, &SparkplugNode::connected);
    connect(&mqtt_, &MqttClient::disconnected, this, [this] {
        born_ = false;
        devices_.clear();
    });
    connect(&mqtt_, &MqttClient::message, this,
            [this](const QString& topic, const QByteArray& payload) { received(topic, payload); });
    connect(&gateway_, &Gateway::signChanged, this, &SparkplugNode::signChanged);
    connect(&gateway_, &Gateway::ownerChanged, this, [this] {
        for (const auto& [name, sign] : gateway_.signs())
            signChanged(name);
    });
    connect(&gateway_, &Gateway::signsChanged, this, [this] {
        for (const auto& [name, sign] : gateway_.signs())
            signChanged(name);
        for (const auto& [name, metrics] : devices_)
            signChanged(name);
    });
    if (const auto kept = readCounter(counterFile_))
        bdSeq_ = *kept; // the last one used: each connection takes the next
    else
        bdSeq_ = 255;
}

QString SparkplugNode::defaultCounterFile() {
    QString folder = qEnvironmentVariable("STATE_DIRECTORY").section(u':', 0, 0);
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    return folder + u"/sparkplug-bdseq"_s;
}

bool SparkplugNode::start(QString* error) {
    if (!mqtt_.start()) {
        *error = mqtt_.setupError();
        return false;
    }
    return true;
}

void SparkplugNode::stop() {
    flush_.stop();
    rebirth_.stop();
    reconnect_.stop();
    mqtt_.stop(0, true);
}

// Every connection carries a death certificate with a sequence number of its own,
// kept first, so that a restart never gives an old number again.
void SparkplugNode::connecting() {
    bdSeq_ = uint8_t(bdSeq_ + 1);
    if (!keepCounter(counterFile_, bdSeq_))
        dropped_.warn(
            u"counter"_s,
            u"the birth/death sequence number cannot be kept in %1: "
            "after a restart hosts may take the new node for the old one"_s.arg(counterFile_));
    mqtt_.setWill(deathCertificate());
}

QByteArray SparkplugNode::deathCertificate() const {
    return encodePayload({{u"bdSeq"_s, 1, int64_t(bdSeq_)}}, Naming::Birth, nowMs(), std::nullopt);
}

// Commands are heard before anything is born; with a primary host, the births
// wait for it to be online.
void SparkplugNode::connected() {
    born_ = false;
    dying_ = false;
    devices_.clear();
    hostSeenAt_.reset();
    mqtt_.subscribe({topic(u"NCMD"_s), topic(u"DCMD"_s, u"+"_s)}, 0, MqttClient::Retained::Never);
    if (config_.primaryHost.isEmpty()) {
        birth();
        return;
    }
    mqtt_.subscribe({Namespace + u"/STATE/"_s + config_.primaryHost}, 0,
                    MqttClient::Retained::Send);
    qCInfo(lcSparkplug).noquote() << "waiting for primary host" << config_.primaryHost;
}

void SparkplugNode::received(const QString& topicName, const QByteArray& payload) {
    if (topicName == Namespace + u"/STATE/"_s + config_.primaryHost)
        hostState(payload);
    else if (topicName == topic(u"NCMD"_s))
        nodeCommand(payload);
    else if (topicName.startsWith(topic(u"DCMD"_s) + u'/'))
        deviceCommand(topicName.section(u'/', 4), payload);
}

// {"online": true|false, "timestamp": ms}. An older one than the last is a late
// copy and passed over. Offline, the node dies (the broker publishes the death of
// this connection) and connects anew, to be born when the host is back.
void SparkplugNode::hostState(const QByteArray& payload) {
    const QJsonObject state = QJsonDocument::fromJson(payload).object();
    const QJsonValue online = state.value(u"online"_s);
    const qint64 at = state.value(u"timestamp"_s).toInteger(-1);
    if (!online.isBool() || at < 0) {
        dropped_.warn(u"state"_s, u"the primary host's state is not {\"online\", \"timestamp\"}: "
                                  "passed over"_s);
        return;
    }
    if (hostSeenAt_ && at < *hostSeenAt_)
        return;
    hostSeenAt_ = at;
    if (online.toBool() && !born_ && !dying_) {
        birth();
    } else if (!online.toBool() && born_) {
        qCInfo(lcSparkplug).noquote() << "primary host" << config_.primaryHost
                                      << "went offline: the node dies and waits for it";
        born_ = false;
        dying_ = true;
        // Not from inside the client's own reading of the message, and not faster
        // than once a second however the host's state flaps.
        reconnect_.start(int(std::max<qint64>(0, RebirthGapMs - sinceBirth_.elapsed())));
    }
}

// The node's birth, then each device's; seq starts again at 0.
void SparkplugNode::birth() {
    rebirth_.stop();
    sinceBirth_.start();
    seq_ = 0;
    devices_.clear();
    nodeSaid_ = nodeMetrics();
    if (!publish(u"NBIRTH"_s, {}, nodeSaid_, Naming::Birth))
        return;
    born_ = true;
    qCInfo(lcSparkplug).noquote() << "born as" << topic(u"NBIRTH"_s) << "with bdSeq" << bdSeq_;
    for (const auto& [name, sign] : gateway_.signs())
        flushSign(name);
}

void SparkplugNode::signChanged(const QString& sign) {
    dirty_.insert(sign);
    flush_.start();
}

// Changes gathered in one turn of the event loop go out together.
void SparkplugNode::flush() {
    if (!born_)
        return;
    const QSet<QString> dirty = std::exchange(dirty_, {});
    for (const QString& name : dirty)
        flushSign(name);
    flushNode();
}

// A device lives while this gateway owns its sign and the sign answers. A death,
// a birth when its metrics are new or changed in kind, else the values that changed.
void SparkplugNode::flushSign(const QString& name) {
    const auto& signs = gateway_.signs();
    const auto sign = signs.find(name);
    const bool alive =
        sign != signs.end() && gateway_.owner() && sign->second->state() == Sign::State::Online;
    const auto born = devices_.find(name);
    if (!alive) {
        if (born != devices_.end()) {
            devices_.erase(born);
            publish(u"DDEATH"_s, name, {}, Naming::Data);
        }
        return;
    }
    Metrics now = deviceMetrics(*sign->second);
    const auto sameKinds = [&](const Metrics& said) {
        return std::equal(
            said.begin(), said.end(), now.begin(), now.end(),
            [](const Metric& a, const Metric& b) { return a.name == b.name && a.type == b.type; });
    };
    if (born == devices_.end() || !sameKinds(born->second)) {
        if (publish(u"DBIRTH"_s, name, now, Naming::Birth))
            devices_[name] = std::move(now);
        return;
    }
    Metrics changed;
    for (size_t i = 0; i < now.size(); ++i)
        if (now[i].value != born->second[i].value)
            changed.push_back(now[i]);
    if (!changed.empty() && publish(u"DDATA"_s, name, changed, Naming::Data))
        born->second = std::move(now);
}

void SparkplugNode::flushNode() {
    Metrics now = nodeMetrics();
    Metrics changed;
    for (size_t i = 0; i < now.size(); ++i)
        if (now[i].value != nodeSaid_[i].value)
            changed.push_back(now[i]);
    if (!changed.empty() && publish(u"NDATA"_s, {}, changed, Naming::Data))
        nodeSaid_ = std::move(now);
}

// The units it has a name or a value for, each with the value on the sign (null
// until it is written there), then what is known of the sign.
SparkplugNode::Metrics SparkplugNode::deviceMetrics(const Sign& sign) {
    const uint64_t base = aliasBase(sign.name());
    Metrics metrics;
    for (int n = 0; n < UnitTable::Units; ++n) {
        const auto unit = uint8_t(n);
        const auto value = sign.unitOnSign(unit);
        if (!value && !sign.unitWanted(unit) && !sign.config().unitNames.contains(unit))
            continue;
        if (value)
            metrics.emplace_back(unitMetric(sign, unit), base + unit, *value);
        else
            metrics.emplace_back(unitMetric(sign, unit), base + unit, DataType::UInt32);
    }
    if (const auto power = sign.timetable().power()) // unknown before any command or schedule
        metrics.emplace_back(u"power"_s, base + PowerOffset, power->on);
    else
        metrics.emplace_back(u"power"_s, base + PowerOffset, DataType::Boolean);
    metrics.emplace_back(u"state"_s, base + StateOffset, stateWord(sign.state()));
    metrics.emplace_back(u"online"_s, base + OnlineOffset, sign.state() == Sign::State::Online);
    metrics.emplace_back(Text, base + TextOffset, sign.shownText());
    return metrics;
}

uint64_t SparkplugNode::aliasBase(const QString& sign) {
    const auto slot = slots_.try_emplace(sign, slots_.size() + 1).first;
    return slot->second << SlotBits;
}

// The metric an alias stands for, whether the sign's last birth had it or not.
QString SparkplugNode::metricOf(const Sign& sign, uint64_t alias) {
    const uint64_t base = aliasBase(sign.name());
    if (alias < base || alias > base + TextOffset)
        return {};
    switch (alias - base) {
    case PowerOffset:
        return u"power"_s;
    case StateOffset:
        return u"state"_s;
    case OnlineOffset:
        return u"online"_s;
    case TextOffset:
        return Text;
    default:
        return unitMetric(sign, uint8_t(alias - base));
    }
}

SparkplugNode::Metrics SparkplugNode::nodeMetrics() const {
    const auto& signs = gateway_.signs();
    const auto online = std::count_if(signs.begin(), signs.end(), [](const auto& s) {
        return s.second->state() == Sign::State::Online;
    });
    return {{u"bdSeq"_s, 1, int64_t(bdSeq_)},
            {Rebirth, RebirthAlias, false},
            {u"gateway/owner"_s, 3, gateway_.owner()},
            {u"gateway/signs online"_s, 4, uint32_t(online)}};
}

void SparkplugNode::nodeCommand(const QByteArray& payload) {
    const auto read = sparkplug::readCommand(payload);
    if (const auto* fault = std::get_if<CommandFault>(&read)) {
        dropped_.warn(u"ncmd"_s, u"dropped a node command: %1"_s.arg(describe(*fault)));
        return;
    }
    for (const sparkplug::Write& write : std::get<std::vector<sparkplug::Write>>(read)) {
        const QString name =
            write.name.isEmpty() && write.alias == RebirthAlias ? Rebirth : write.name;
        if (name == Rebirth && write.value == sparkplug::CommandValue(true)) {
            // However often asked, one rebirth, and not more than one a second.
            if (born_ && !rebirth_.isActive())
                rebirth_.start(int(std::max<qint64>(0, RebirthGapMs - sinceBirth_.elapsed())));
        } else {
            dropped_.warn(u"ncmd"_s,
                          u"dropped a node command: %1 = %2 cannot be written"_s.arg(
                              write.name.isEmpty() ? u"alias %1"_s.arg(write.alias.value_or(0))
                                                   : write.name.left(100),
                              valueText(write.value)));
        }
    }
}

// Each write becomes the command the plain topics take, checked and carried out
// there; one that cannot be one refuses the whole command, as a batch would be.
void SparkplugNode::deviceCommand(const QString& name, const QByteArray& payload) {
    const auto& signs = gateway_.signs();
    const auto found = signs.find(name);
    const QString where = topic(u"DCMD"_s, name);
    if (found == signs.end()) {
        dropped_.warn(u"device"_s, u"dropped a command on %1: no such sign"_s.arg(where.left(200)));
        return;
    }
    const Sign& sign = *found->second;
    if (payload.size() > MaxPayload) {
        gateway_.refuseWrite(name, where, {}, tooLarge(payload.size()));
        return;
    }
    const auto read = sparkplug::readCommand(payload);
    if (const auto* fault = std::get_if<CommandFault>(&read)) {
        CommandRefusal why{CommandRefusal::Fault::SparkplugCommand};
        why.sparkplug = *fault;
        gateway_.refuseWrite(name, where, {}, why);
        return;
    }
    const QString prefix = gateway_.commandPrefix() + u'/' + name + u'/';
    QList<QPair<QString, QByteArray>> commands;
    for (const sparkplug::Write& write : std::get<std::vector<sparkplug::Write>>(read)) {
        const QString metric =
            write.name.isEmpty() ? metricOf(sign, write.alias.value_or(0)) : write.name.left(100);
        const QString what =
            (metric.isEmpty() ? u"alias %1"_s.arg(write.alias.value_or(0)) : metric) + u" = "_s +
            valueText(write.value);
        const auto plain = plainCommand(sign, metric, write.value);
        if (const auto* why = std::get_if<CommandRefusal>(&plain))
            return gateway_.refuseWrite(name, where, what, *why);
        const auto& [command, body] = std::get<PlainCommand>(plain);
        commands.append({prefix + command, body});
    }
    for (const auto& [command, body] : commands)
        gateway_.command(command, body);
}

bool SparkplugNode::publish(const QString& type, const QString& device, const Metrics& metrics,
                            Naming naming) {
    const QByteArray payload = encodePayload(metrics, naming, nowMs(), seq_);
    if (!mqtt_.publish(topic(type, device), payload, false, 0))
        return false;
    seq_ = uint8_t(seq_ + 1);
    return true;
}

QString SparkplugNode::topic(const QString& type, const QString& device) const {
    QString t = Namespace + u'/' + config_.groupId + u'/' + type + u'/' + config_.edgeNodeId;
    if (!device.isEmpty())
        t += u'/' + device;
    return t;
}

uint64_t SparkplugNode::nowMs() const {
    return uint64_t(clock_.now().toMSecsSinceEpoch());
}

} // namespace zarnet::gateway
