#include "gateway.h"

#include "gatewaylog.h"
#include "homeassistant.h"
#include "leasekeeper.h"
#include "line.h"
#include "modbusservice.h"
#include "payloads.h"
#include "reloadplan.h"
#include "sign.h"
#include "signreport.h"
#include "sparkplugnode.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

using namespace Qt::StringLiterals;

namespace zarnet::gateway {

MqttClient::Settings mqttSettings(const Config& config) {
    const BrokerConfig& b = config.broker;
    MqttClient::Settings s;
    s.host = b.host;
    s.port = b.port;
    s.tls = b.tls;
    s.caFile = b.caFile;
    s.certFile = b.certFile;
    s.keyFile = b.keyFile;
    s.keyPassword = b.keyPassword;
    s.clientId = b.clientId;
    s.username = b.username;
    s.password = b.password;
    s.willTopic = Topics(b.prefix, b.clientId).gatewayStatus();
    s.willPayload = "offline";
    // Room for the largest payload taken and a long topic: the broker drops larger
    // messages instead of handing them over, so none is ever held here.
    s.maxPacketSize = quint32(MaxPayload + qsizetype{70} * 1024);
    return s;
}

namespace {

// A time with its offset from UTC, so that readers elsewhere know which time it is.
QString isoTime(const QDateTime& at, Qt::DateFormat format = Qt::ISODateWithMs) {
    return at.toOffsetFromUtc(at.offsetFromUtc()).toString(format);
}

QByteArray digest(const QByteArray& payload) {
    if (payload.size() <= 64)
        return 'r' + payload;
    return 'h' + QCryptographicHash::hash(payload, QCryptographicHash::Sha256);
}

QJsonObject lineStatus(const Line& line) {
    return {{u"link"_s, line.link()}, {u"load"_s, std::round(line.load() * 1000) / 1000}};
}

// How often the signs' status is published again when their line's load changed.
constexpr int LoadEveryMs = 10000;

// At most the first 200 bytes, cut where a character begins, as text.
QString excerpt(const QByteArray& payload) {
    qsizetype end = std::min<qsizetype>(payload.size(), 200);
    while (end > 0 && end < payload.size() && (uchar(payload[end]) & 0xC0) == 0x80)
        --end;
    return QString::fromUtf8(payload.left(end));
}

using Fault = CommandRefusal::Fault;

std::optional<CommandRefusal> clearFault(const QByteArray& payload) {
    if (payload.trimmed().isEmpty())
        return std::nullopt;
    return CommandRefusal{Fault::ClearNotEmpty};
}

// Why a reader refused the payload; nullopt when it took it.
template <typename T>
std::optional<CommandRefusal> fault(const std::variant<T, PayloadRefusal>& read) {
    if (const auto* why = std::get_if<PayloadRefusal>(&read))
        return refusedPayload(*why);
    return std::nullopt;
}

// A configured image as this sign's frame; empty, with a warning, when it cannot be sent.
QByteArray configuredFrame(const SignConfig& sign, const std::optional<ConfiguredImage>& image,
                           const char* what) {
    if (!image)
        return {};
    const auto frame = drawImageFrame(sign.device, image->request);
    if (const auto* bytes = std::get_if<QByteArray>(&frame))
        return *bytes;
    qCWarning(lcGateway).noquote()
        << sign.name << ": the configured" << what
        << "cannot be sent:" << describe(std::get<PayloadRefusal>(frame));
    return {};
}

} // namespace

Gateway::Gateway(const Config& config, const PortCatalog& ports, const PlantClock& clock,
                 QObject* parent)
    : QObject(parent), config_(config), topics_(config.broker.prefix, config.broker.clientId),
      mqtt_(mqttSettings(config)), ports_(ports), clock_(clock), take_(mqtt_, topics_.sync()),
      refusals_(lcGateway) {
    connect(&mqtt_, &MqttClient::connected, this, &Gateway::onConnected);
    connect(&mqtt_, &MqttClient::connected, this,
            [this] { counters_.brokerReconnects += std::exchange(everConnected_, true) ? 1 : 0; });
    connect(&mqtt_, &MqttClient::tried, this, [this] {
        brokerTried_ = true;
        checkReady();
    });
    connect(&mqtt_, &MqttClient::disconnected, this, &Gateway::summaryChanged);
    connect(&mqtt_, &MqttClient::disconnected, &take_, &RetainedTake::cancel);
    connect(&mqtt_, &MqttClient::message, this, &Gateway::received);
    connect(&mqtt_, &MqttClient::stopped, this, &Gateway::finished);
    connect(&take_, &RetainedTake::finished, this, &Gateway::takeFinished);
    quiet_.setSingleShot(true);
    connect(&quiet_, &QTimer::timeout, this, [this] {
        const qint64 left = QuietMs - lastLive_.elapsed();
        if (left > 0)
            quiet_.start(int(left));
        else if (take_.running()) // the take under way owes it
            rereadOwed_ = true;
        else
            takeRetained(false);
    });
    config_ = withOwnLines(config_);
    if (config_.standby) {
        keeper_ = std::make_unique<LeaseKeeper>(*config_.standby, config_.broker.clientId, topics_,
                                                mqtt_);
        connect(keeper_.get(), &LeaseKeeper::roleChanged, this, &Gateway::roleChanged);
        connect(keeper_.get(), &LeaseKeeper::confirmed, this, [this] {
            for (const auto& line : lines_)
                line->resume();
        });
        connect(&mqtt_, &MqttClient::disconnected, keeper_.get(), &LeaseKeeper::disconnected);
    }
    for (const LineConfig& lineConfig : config_.lines) {
        Line* line = addLine(lineConfig);
        for (const QString& name : lineConfig.signs)
            lineOf_[name] = line;
    }
    loads_.setInterval(LoadEveryMs);
    connect(&loads_, &QTimer::timeout, this, &Gateway::publishLoads);
    for (const SignConfig& sign : config_.signs)
        addSign(sign);
    if (config_.modbus)
        modbus_ = std::make_unique<ModbusService>(*config_.modbus, modbusUnits());
}

Line* Gateway::addLine(const LineConfig& config) {
    lines_.push_back(std::make_unique<Line>(config, ports_));
    Line* line = lines_.back().get();
    if (keeper_)
        line->setWriteGate([this] { return keeper_->mayWrite(); });
    connect(line, &Line::stopped, this, &Gateway::lineStopped);
    connect(line, &Line::tried, this, [this, line] {
        linesTried_.insert(line);
        checkReady();
    });
    return line;
}

Sign& Gateway::addSign(const SignConfig& sign) {
    auto owned =
        std::make_unique<Sign>(sign, clock_, configuredFrame(sign, sign.staleImage, "stale image"));
    Sign* raw = owned.get();
    lineOf_.at(sign.name)->add(*raw);
    connect(raw, &Sign::stateChanged, this, [this, raw] { publishStatus(*raw); });
    const auto changed = [this, name = sign.name] { emit signChanged(name); };
    connect(raw, &Sign::stateChanged, this, changed);
    connect(raw, &Sign::panelChanged, this, changed);
    connect(raw, &Sign::showingChanged, this, [this, raw] { publishStatus(*raw); });
    connect(raw, &Sign::showingChanged, this, changed);
    connect(raw, &Sign::answered, this, [this, raw] {
        if (config_.homeAssistant && owner())
            mqtt_.publish(answeredTopic(config_, raw->name()),
                          isoTime(clock_.now(), Qt::ISODate).toUtf8(), true);
    });
    connect(raw, &Sign::unitArrived, this, changed);
    connect(raw, &Sign::unitsWritten, this, changed);
    connect(&raw->timetable(), &PowerTimetable::powerChanged, this, changed);
    connect(&raw->staleWatch(), &StaleWatch::staleChanged, this, changed);
    connect(raw, &Sign::unitsWritten, this,
            [this, raw](const UnitWrite& run) { publishUnits(*raw, run); });
    if (const QByteArray frame = configuredFrame(sign, sign.image, "image"); !frame.isEmpty())
        raw->setImage(frame, sign.image->request.text.value_or(QString()));
    connect(&raw->timetable(), &PowerTimetable::powerChanged, this,
            [this, raw] { publishStatus(*raw); });
    connect(
        &raw->staleWatch(), &StaleWatch::staleChanged, this,
        [this, name = sign.name](uint8_t unit, bool stale) { publishStale(name, unit, stale); });
    signs_[sign.name] = std::move(owned);
    return *raw;
}

std::map<uint8_t, UnitAccess*> Gateway::modbusUnits() const {
    std::map<uint8_t, UnitAccess*> units;
    for (const SignConfig& sign : config_.signs)
        if (sign.modbusUnit)
            units[*sign.modbusUnit] = signs_.at(sign.name).get();
    return units;
}

Gateway::~Gateway() = default;

bool Gateway::start(QString* error) {
    if (modbus_ && !modbus_->start(error))
        return false;
    if (!mqtt_.start()) {
        *error = mqtt_.setupError();
        return false;
    }
    for (auto& [name, sign] : signs_)
        sign->start();
    startClosedLines();
    loads_.start();
    followSparkplug();
    // A broker whose address swallows the connection attempt (a dead host) would
    // keep the service from ever being ready: it is ready by then in any case.
    QTimer::singleShot(ReadyWithinMs, this, [this] {
        brokerTried_ = true;
        for (const auto& line : lines_)
            linesTried_.insert(line.get());
        checkReady();
    });
    return true;
}

// Each gateway listens only to its own signs, so that several can share a broker.
// Live commands come through wildcards, so that a wrong topic is answered on the
// error topic; what the broker keeps is taken sign by sign (takeRetained).
void Gateway::onConnected() {
    subscribeGroups(groupFilters());
    QStringList live;
    for (const auto& [name, sign] : signs_)
        live << topics_.live(name);
    // Without subscription identifiers a message marked retained must be a replay.
    mqtt_.subscribe(live, LiveId,
                    mqtt_.hasSubscriptionIds() ? MqttClient::Retained::NeverAsPublished
                                               : MqttClient::Retained::Never);
    retriedGivenUp_ = false;
    take_.connected();
    if (keeper_)
        keeper_->connected();
    if (owner()) // a standby says nothing of the signs
        for (auto& [name, sign] : signs_)
            publishSign(*sign, true);
    for (const auto& [name, unitNames] : std::exchange(toClear_, {}).asKeyValueRange())
        clearTopics(name, unitNames);
    mqtt_.publish(topics_.gatewayStatus(), gatewayState(), true);
    takeRetained(true);
    followHomeAssistant();
    announce();
    emit summaryChanged();
}

void Gateway::followHomeAssistant() {
    if (config_.homeAssistant && mqtt_.isConnected())
        mqtt_.subscribe({config_.homeAssistant->prefix + u"/status"_s, announcedFilter(config_)},
                        HomeAssistantId, MqttClient::Retained::Send);
}

bool Gateway::isHomeAssistantTopic(const QString& topicName) const {
    if (!config_.homeAssistant)
        return false;
    const QString& prefix = config_.homeAssistant->prefix;
    return topicName.startsWith(prefix + u'/') && !topicName.startsWith(topics_.prefix() + u'/');
}

// Home Assistant says it (re)started: it needs the announcements again. A retained
// announcement this gateway does not make any more is cleared.
void Gateway::homeAssistantSeen(const QString& topicName, const QByteArray& payload) {
    if (!config_.homeAssistant || !owner())
        return;
    if (topicName == config_.homeAssistant->prefix + u"/status"_s) {
        if (payload == "online")
            announce();
        return;
    }
    // The other gateway of a standby pair announces itself under the same node.
    if (payload.isEmpty() || announced_.contains(topicName) || !topicName.endsWith(u"/config"_s) ||
        topicName.contains(u"/gateway_"_s))
        return;
    qCInfo(lcGateway).noquote() << "cleared" << topicName << ": no longer announced";
    mqtt_.publish(topicName, {}, true);
}

void Gateway::announce() {
    if (!owner() || !mqtt_.isConnected())
        return;
    QSet<QString> now;
    if (config_.homeAssistant)
        for (const auto& [topicName, payload] : announcements(config_)) {
            now.insert(topicName);
            mqtt_.publish(topicName, payload, true);
        }
    for (const QString& gone : std::exchange(announced_, now))
        if (!now.contains(gone))
            mqtt_.publish(gone, {}, true);
}

// The sign's state, its stale flags and, with `units`, the values on it.
void Gateway::publishSign(const Sign& sign, bool units) {
    publishStatus(sign);
    const StaleWatch& watch = sign.staleWatch();
    for (int unit = 0; unit < UnitTable::Units; ++unit) {
        const auto value = units ? sign.unitOnSign(uint8_t(unit)) : std::nullopt;
        if (value)
            publishUnit(sign, uint8_t(unit), *value);
        if (watch.watched(uint8_t(unit)) && watch.known(uint8_t(unit)))
            publishStale(sign.name(), uint8_t(unit), watch.stale(uint8_t(unit)));
    }
}

bool Gateway::owner() const {
    return !keeper_ || keeper_->role() == LeaseKeeper::Role::Owner;
}

QByteArray Gateway::gatewayState() const {
    if (!keeper_)
        return "online";
    return owner() ? "owner" : "standby";
}

// The owner opens the links; a gateway that stops owning closes them at once and
// keeps the signs' values for when it owns them again.
void Gateway::roleChanged() {
    if (stopping_)
        return;
    if (owner()) {
        startClosedLines();
        // What the other owner said of the signs is this one's to say now; their
        // states follow their first tests, their values what this one writes.
        for (auto& [name, sign] : signs_)
            publishSign(*sign, false);
        announce();
        subscribeGroups(groupFilters()); // brings the group commands kept meanwhile
    } else {
        for (const LineConfig& lineConfig : config_.lines) {
            retireLine(lineConfig.port);
            Line* line = addLine(lineConfig);
            for (const QString& name : lineConfig.signs)
                moveToLine(*signs_.at(name), line);
        }
        for (auto& [name, sign] : signs_)
            sign->standBy();
    }
    mqtt_.publish(topics_.gatewayStatus(), gatewayState(), true);
    emit summaryChanged();
    emit ownerChanged();
}

void Gateway::checkReady() {
    // A standby opens no links: the broker is all it waits for.
    if (readySaid_ || !brokerTried_ ||
        (!keeper_ && std::size_t(linesTried_.size()) < lines_.size()))
        return;
    readySaid_ = true;
    emit ready();
}

QString Gateway::summary() const {
    int online = 0;
    int stale = 0;
    for (const auto& [name, sign] : signs_) {
        online += sign->state() == Sign::State::Online ? 1 : 0;
        for (int unit = 0; unit < UnitTable::Units; ++unit)
            stale += sign->staleWatch().stale(uint8_t(unit)) ? 1 : 0;
    }
    return u"broker %1; %2%3 of %4 signs online; %5 stale"_s
        .arg(mqtt_.isConnected() ? u"connected"_s : u"not connected"_s)
        .arg(keeper_ ? QString::fromLatin1(gatewayState()) + u"; "_s : QString())
        .arg(online)
        .arg(signs_.size())
        .arg(stale);
}

// Each sign's command topics in a portion of its own; on a new connection also the
// stale reports of units not watched, which are cleared.
void Gateway::takeRetained(bool withStaleReports) {
    QList<RetainedTake::Portion> portions;
    for (const auto& [name, sign] : signs_) {
        QStringList filters = topics_.commands(name, unitNameList(sign->config()));
        const StaleWatch& watch = sign->staleWatch();
        for (int unit = 0; withStaleReports && unit < UnitTable::Units; ++unit)
            if (!watch.watched(uint8_t(unit)))
                filters.append(topics_.stale(name, unit));
        portions.append({name, filters});
    }
    corrected_ = 0;
    rereadOwed_ = false;
    liveDuringTake_.clear();
    take_.start(portions);
}

// A take that gave up a portion (the broker may have dropped its retained
// messages) is tried once more; a burst that ended during the take is read again.
void Gateway::takeFinished() {
    if (corrected_ > 0)
        qCInfo(lcGateway).noquote()
            << "carried out" << corrected_
            << "retained commands this service had missed (dropped by the broker in a burst, "
               "or sent while it was away)";
    corrected_ = 0;
    const bool retry = take_.gaveUp() && !std::exchange(retriedGivenUp_, true);
    if (std::exchange(rereadOwed_, false) || retry)
        takeRetained(false);
}

// Which subscription brought a message tells a replay from a live command: the
// live ones never bring what is retained, and mark each as published; the take's
// bring what is retained on subscribing, and live copies, which the live
// subscriptions already brought.
void Gateway::received(const QString& topicName, const QByteArray& payload, bool retained,
                       quint32 subscriptions) {
    if (take_.isSyncTopic(topicName)) {
        take_.syncSeen(payload);
        return;
    }
    if ((subscriptions & (1u << HomeAssistantId)) || isHomeAssistantTopic(topicName)) {
        homeAssistantSeen(topicName, payload);
        return;
    }
    if ((subscriptions & (1u << GroupId)) || isGroupTopic(topicName)) {
        if (!stopping_)
            groupCommand(topicName, payload, retained);
        return;
    }
    // By topic too: a broker without subscription identifiers marks none.
    if (keeper_ &&
        (keeper_->seen(topicName, payload) || (subscriptions & (1u << LeaseKeeper::LeaseId))))
        return;
    if (subscriptions & (1u << LiveId)) {
        live(topicName, payload, retained);
        return;
    }
    if ((subscriptions & (1u << RetainedTake::TakeId)) && !retained)
        return;
    if (subscriptions == 0 && !retained) // a broker without subscription identifiers
        live(topicName, payload, false);
    else
        command(topicName, payload, retained);
}

void Gateway::live(const QString& topicName, const QByteArray& payload, bool publishedRetained) {
    if (lastLive_.isValid() && lastLive_.elapsed() >= QuietMs)
        burst_ = 0;
    lastLive_.start();
    if (++burst_ >= BurstCommands && !quiet_.isActive())
        quiet_.start(QuietMs);
    if (stopping_)
        return;
    bool own = false;
    carryOut(topicName, payload, false, &own, publishedRetained);
    if (!own)
        return;
    if (take_.running())
        liveDuringTake_.insert(topicName);
    // What the broker now keeps for the topic, and will hand over again.
    if (publishedRetained)
        retainedSaid_[topicName] = digest(payload);
}

// The number's command topic keeps another value than `payload`, as far as this
// service saw it kept.
bool Gateway::keptUnderNumber(const QString& sign, uint8_t unit, const QByteArray& payload) const {
    const auto said = retainedSaid_.find(topics_.unitCommand(sign, unit));
    return said != retainedSaid_.end() && *said != digest({}) && *said != digest(payload);
}

// Only a command topic of one of these signs is remembered: junk topics under a
// sign's name must not grow the service.
bool Gateway::isOwnCommandTopic(const QString& topicName) const {
    const auto parsed = readCommandTopic(config_.broker.prefix, topicName);
    const auto* command = std::get_if<CommandTopic>(&parsed);
    const auto sign = command ? signs_.find(command->sign) : signs_.end();
    return sign != signs_.end() &&
           (command->unitName.isEmpty() || sign->second->config().unitNamed(command->unitName));
}

// A replay is news when the broker keeps another value than the one this service
// saw retained last, and no live command came on its topic while it was taken.
// Either way the value is what the broker keeps now, and what its next replay says.
bool Gateway::replayIsNews(const QString& topicName, const QByteArray& payload) {
    QByteArray& last = retainedSaid_[topicName];
    const QByteArray now = digest(payload);
    const bool news = last != now && !liveDuringTake_.contains(topicName);
    last = now;
    return news;
}

void Gateway::command(const QString& topicName, const QByteArray& payload, bool retained) {
    if (stopping_)
        return;
    if (topicName.endsWith(u"/stale"_s)) {
        staleReportSeen(topicName, payload, retained);
        return;
    }
    if (!retained) {
        carryOut(topicName, payload, false);
        return;
    }
    const bool known = retainedSaid_.contains(topicName);
    if (isOwnCommandTopic(topicName) && !replayIsNews(topicName, payload))
        return;
    if (carryOut(topicName, payload, true) && known)
        ++corrected_;
}

bool Gateway::carryOut(const QString& topicName, const QByteArray& payload, bool retained,
                       bool* own, bool publishedRetained) {
    const auto parsed = readCommandTopic(config_.broker.prefix, topicName);
    if (const auto* why = std::get_if<CommandRefusal>(&parsed)) {
        ++counters_.received.back();
        refuse(topics_.signOf(topicName), topicName, payload, *why);
        return false;
    }
    const CommandTopic& c = std::get<CommandTopic>(parsed);
    ++counters_.received[std::size_t(c.command)];
    const auto found = signs_.find(c.sign);
    if (found == signs_.end()) {
        refuse(c.sign, topicName, payload, {Fault::UnknownSign, c.sign});
        return false;
    }
    Sign& sign = *found->second;
    // Only a name the sign gives makes the topic one of its own: junk names must
    // not grow the service.
    const auto named = c.unitName.isEmpty() ? std::nullopt : sign.config().unitNamed(c.unitName);
    if (!c.unitName.isEmpty() && !named) {
        refuse(c.sign, topicName, payload, {Fault::UnknownUnitName, c.unitName});
        return false;
    }
    if (own)
        *own = true;
    if (payload.size() > MaxPayload) {
        refuse(c.sign, topicName, payload, tooLarge(payload.size()));
        return false;
    }
    if (retained && (c.command == Command::Clock || c.command == Command::Clear)) {
        refuse(c.sign, topicName, payload, {Fault::ReplayedClockOrClear});
        return false;
    }
    PowerTimetable& timetable = sign.timetable();
    const StaleWatch& watch = sign.staleWatch();
    // A retained power command comes again on every reconnect; on a scheduled sign
    // it would override the schedule each time, at any hour.
    if (retained && c.command == Command::Power && timetable.hasSchedule()) {
        refuse(c.sign, topicName, payload, {Fault::ReplayedScheduledPower});
        return false;
    }
    // A retained value the sign already had from the plant is the broker's replay,
    // not news: it must not make a stale unit fresh, nor undo its stale value.
    auto setUnit = [&](uint8_t unit, uint32_t value) {
        if (retained && watch.plantValue(unit) == value)
            return;
        sign.setUnit(unit, value);
    };
    auto refused = [&](const auto& result) {
        if (const auto why = fault(result)) {
            refuse(c.sign, topicName, payload, *why);
            return true;
        }
        return false;
    };
    // Carried out by the owner; a standby that kept them would carry them out
    // again, late, when it takes over.
    if (!owner() && (c.command == Command::Clock || c.command == Command::Clear))
        return true;
    switch (c.command) {
    case Command::UnitValue: {
        const bool kept = retained || publishedRetained;
        if (named && kept && payload.isEmpty())
            return false; // taken off the name's topic, below
        const auto value = readUnitValue(payload);
        if (refused(value))
            return false;
        const uint8_t unit = named.value_or(c.unit);
        if (named && retained && keptUnderNumber(c.sign, unit, payload)) {
            qCWarning(lcGateway).noquote()
                << topicName << "and the unit's number both kept a value when this service "
                << "came; which came later is unknown, so the number's stays";
            if (owner())
                mqtt_.publish(topicName, {}, true);
            return false;
        }
        setUnit(unit, std::get<uint32_t>(value));
        // What the broker keeps for a unit is kept under its number only: a kept
        // command on a name moves there, so that a restart cannot bring back an older one.
        if (named && kept && owner()) {
            mqtt_.publish(topics_.unitCommand(c.sign, unit), payload, true);
            mqtt_.publish(topicName, {}, true);
        }
        return true;
    }
    case Command::UnitBatch: {
        const auto values = readUnitBatch(
            payload, [&sign](QStringView name) { return sign.config().unitNamed(name); });
        if (refused(values))
            return false;
        for (const auto& [unit, value] : std::get<std::map<uint8_t, uint32_t>>(values))
            setUnit(unit, value);
        return true;
    }
    case Command::Power: {
        const auto on = readPower(payload);
        if (refused(on))
            return false;
        timetable.command(std::get<bool>(on));
        return true;
    }
    case Command::Clock: {
        const auto at = readClock(payload);
        if (refused(at))
            return false;
        sign.setClock(std::get<std::optional<QDateTime>>(at));
        return true;
    }
    case Command::Clear:
        if (const auto why = clearFault(payload)) {
            refuse(c.sign, topicName, payload, *why);
            return false;
        }
        sign.clear();
        return true;
    case Command::Image: {
        // Drawn when the line takes it, so a burst of images costs one drawing.
        const auto request = checkedImageRequest(payload);
        const auto showFor = readShowFor(payload);
        if (refused(request) || refused(showFor))
            return false;
        const auto ms = std::get<std::optional<int64_t>>(showFor);
        // It may well have ended long ago.
        if (retained && ms) {
            refuse(c.sign, topicName, payload, {Fault::ReplayedTimedImage});
            return false;
        }
        Sign::ImageDrawing drawing = [this, device = sign.device(),
                                      request = std::get<ImageRequest>(request), name = c.sign,
                                      topicName, excerpt = payload.left(200)]() {
            auto frame = drawImageFrame(device, request);
            if (const auto why = fault(frame)) {
                refuse(name, topicName, excerpt, *why);
                return std::optional<QByteArray>();
            }
            return std::optional<QByteArray>(std::get<QByteArray>(frame));
        };
        const QString text = std::get<ImageRequest>(request).text.value_or(QString());
        if (ms)
            sign.showFor(std::move(drawing), *ms, text);
        else
            sign.drawImage(std::move(drawing), text);
        return true;
    }
    }
    return false;
}

void Gateway::refuseWrite(const QString& sign, const QString& topicName, const QString& what,
                          const CommandRefusal& why) {
    refuse(sign, topicName, what.toUtf8(), why);
}

void Gateway::followSparkplug() {
    const auto& wanted = config_.sparkplug;
    if (sparkplug_ && wanted && sparkplugConfig_ == *wanted && sparkplugBroker_ == config_.broker)
        return;
    sparkplug_.reset(); // its connection ends, and the broker publishes its death
    if (!wanted)
        return;
    sparkplugConfig_ = *wanted;
    sparkplugBroker_ = config_.broker;
    sparkplug_ = std::make_unique<SparkplugNode>(*wanted, mqttSettings(config_), *this, clock_,
                                                 SparkplugNode::defaultCounterFile());
    if (QString why; !sparkplug_->start(&why)) {
        qCWarning(lcGateway).noquote() << "the Sparkplug node cannot start:" << why;
        sparkplug_.reset();
    }
}

void Gateway::refuse(const QString& sign, const QString& topicName, const QByteArray& payload,
                     const CommandRefusal& why) {
    ++counters_.refused[std::size_t(refusalKind(why.fault))];
    const QString reason = describe(why);
    refusals_.warn(reason, u"dropped a command on %1 : %2"_s.arg(topicName.left(200), reason));
    if (!signs_.contains(sign) || !owner())
        return; // not one of ours: another gateway's sign may carry the name
    QList<Refusal>& recent = recentRefusals_[sign];
    recent.append({clock_.now(), topicName.left(200), reason.left(300)});
    if (recent.size() > RecentRefusals)
        recent.removeFirst();
    emit signChanged(sign);
    const QJsonObject error{
        {u"topic"_s, topicName}, {u"payload"_s, excerpt(payload)}, {u"reason"_s, reason}};
    mqtt_.publish(topics_.error(sign), QJsonDocument(error).toJson(QJsonDocument::Compact), false);
}

// The configured group whose topic, or filter, this is: PREFIX/group/GROUP/….
const GroupConfig* Gateway::groupOf(const QString& topicName) const {
    for (const GroupConfig& group : config_.groups)
        if (topicName.startsWith(topics_.groups() + u'/' + group.name + u'/'))
            return &group;
    return nullptr;
}

// Only a configured group's: without one, a sign may be named "group".
bool Gateway::isGroupTopic(const QString& topicName) const {
    return groupOf(topicName) != nullptr;
}

bool Gateway::servesWholeGroup(const GroupConfig& group) const {
    return std::all_of(group.signs.begin(), group.signs.end(),
                       [this](const QString& s) { return signs_.contains(s); });
}

// A group whose members are all this gateway's takes what its topics keep too: one
// is kept only until this gateway has passed it on (groupCommand), so one there now
// was published while none did. A group shared with other gateways takes live
// commands only: which of them passed a kept one on is not known here.
void Gateway::subscribeGroups(const QStringList& filters) {
    if (filters.isEmpty() || !mqtt_.isConnected())
        return;
    QStringList whole;
    QStringList shared;
    for (const QString& filter : filters) {
        const GroupConfig* group = groupOf(filter);
        (group && servesWholeGroup(*group) ? whole : shared).append(filter);
    }
    if (!whole.isEmpty())
        mqtt_.subscribe(whole, GroupId, MqttClient::Retained::SendAsPublished);
    if (!shared.isEmpty())
        mqtt_.subscribe(shared, GroupId, MqttClient::Retained::NeverAsPublished);
}

QStringList Gateway::groupFilters() const {
    QStringList filters;
    for (const GroupConfig& group : config_.groups)
        if (std::any_of(group.signs.begin(), group.signs.end(),
                        [this](const QString& s) { return signs_.contains(s); }))
            filters << topics_.groupLive(group.name);
    return filters;
}

// A group's command goes on to the command topics of its members this gateway
// owns, retained as it was published, once every one of them can take it: what
// the broker keeps for each sign stays its latest command, whichever way it came.
// When this gateway serves the whole group, a retained one is then taken off the
// group's topic, so that the broker never keeps a group command that contradicts
// its members' own. Clock and clear commands happen once and go on without retain.
void Gateway::groupCommand(const QString& topicName, const QByteArray& payload, bool retained) {
    const GroupConfig* group = groupOf(topicName);
    if (!group || !owner() || (retained && payload.isEmpty()))
        return; // another gateway's, this one stands by, or a retained one taken off
    QList<const Sign*> members;
    for (const QString& name : group->signs)
        if (const auto found = signs_.find(name); found != signs_.end())
            members.append(found->second.get());
    if (members.isEmpty())
        return;
    const auto parsed = readCommandTopic(topics_.groups(), topicName);
    const auto* c = std::get_if<CommandTopic>(&parsed);
    const auto why =
        c ? groupFault(*c, payload, members, retained) : std::get<CommandRefusal>(parsed);
    const bool takeOff = retained && servesWholeGroup(*group);
    if (takeOff && (why || c->command == Command::Clock || c->command == Command::Clear))
        mqtt_.publish(topicName, {}, true);
    if (why) {
        ++counters_.refused[std::size_t(refusalKind(why->fault))];
        const QString reason = describe(*why);
        refusals_.warn(reason, u"dropped a command on %1 : %2"_s.arg(topicName.left(200), reason));
        const QJsonObject error{
            {u"topic"_s, topicName}, {u"payload"_s, excerpt(payload)}, {u"reason"_s, reason}};
        mqtt_.publish(topics_.groupError(group->name),
                      QJsonDocument(error).toJson(QJsonDocument::Compact), false);
        return;
    }
    // PREFIX/group/GROUP/WHAT/set becomes PREFIX/SIGN/WHAT/set.
    const QString what = topicName.mid(topics_.groups().size() + group->name.size() + 2);
    const bool once = c->command == Command::Clock || c->command == Command::Clear;
    for (const Sign* member : members)
        mqtt_.publish(topics_.prefix() + u'/' + member->name() + u'/' + what, payload,
                      retained && !once);
    if (takeOff && !once)
        mqtt_.publish(topicName, {}, true);
}

std::optional<CommandRefusal> Gateway::groupFault(const CommandTopic& c, const QByteArray& payload,
                                                  const QList<const Sign*>& members,
                                                  bool retained) const {
    if (payload.size() > MaxPayload)
        return tooLarge(payload.size());
    // Kept, it would be a member's replay too: refused as the member would refuse it.
    const auto scheduled = [](const Sign* member) { return member->timetable().hasSchedule(); };
    if (retained && c.command == Command::Power &&
        std::any_of(members.begin(), members.end(), scheduled))
        return CommandRefusal{Fault::GroupScheduledPower};
    if (retained && c.command == Command::Image) {
        const auto showFor = readShowFor(payload);
        if (const auto* ms = std::get_if<std::optional<int64_t>>(&showFor); ms && *ms)
            return CommandRefusal{Fault::GroupTimedImage};
    }
    switch (c.command) {
    case Command::UnitValue:
        for (const Sign* member : members)
            if (!c.unitName.isEmpty() && !member->config().unitNamed(c.unitName))
                return CommandRefusal{Fault::MemberUnknownUnitName, c.unitName, member->name()};
        return fault(readUnitValue(payload));
    case Command::UnitBatch:
        for (const Sign* member : members)
            if (auto why = fault(readUnitBatch(payload, [member](QStringView name) {
                    return member->config().unitNamed(name);
                }))) {
                why->fault = Fault::MemberPayload;
                why->member = member->name();
                return why;
            }
        return std::nullopt;
    case Command::Power:
        return fault(readPower(payload));
    case Command::Clock:
        return fault(readClock(payload));
    case Command::Clear:
        return clearFault(payload);
    case Command::Image:
        if (auto why = fault(checkedImageRequest(payload)))
            return why;
        return fault(readShowFor(payload));
    }
    return std::nullopt;
}

void Gateway::publishStatus(const Sign& sign) {
    if (!owner()) {
        emit summaryChanged();
        return;
    }
    const Line& line = *lineOf_.at(sign.name());
    const QJsonObject lineNow = lineStatus(line);
    loadSaid_[sign.name()] = lineNow.value(u"load"_s).toDouble();
    QJsonObject status{{u"state"_s, stateWord(sign.state())},
                       {u"since"_s, isoTime(sign.since())},
                       {u"reason"_s, sign.reason()},
                       {u"gateway"_s, config_.broker.clientId},
                       {u"line"_s, lineNow}};
    status.insert(u"showing"_s, showingReport(sign));
    if (const QJsonValue power = powerReport(sign); !power.isNull())
        status.insert(u"power"_s, power);
    mqtt_.publish(topics_.status(sign.name()), QJsonDocument(status).toJson(QJsonDocument::Compact),
                  true);
    emit summaryChanged();
}

void Gateway::publishStale(const QString& sign, uint8_t unit, bool stale) {
    if (!owner())
        return;
    mqtt_.publish(topics_.stale(sign, unit), stale ? "true" : "false", true);
    emit summaryChanged();
}

// A retained stale report left from an earlier configuration, for a unit no longer
// watched, would say "stale" for ever: it is cleared. Reports of watched units are
// this service's own and are kept current by it.
void Gateway::staleReportSeen(const QString& topicName, const QByteArray& payload, bool retained) {
    if (!retained || payload.isEmpty())
        return;
    if (!owner())
        return; // the owner's to clear
    const auto stale = readStaleTopic(config_.broker.prefix, topicName);
    const auto sign = stale ? signs_.find(stale->sign) : signs_.end();
    if (sign == signs_.end() || sign->second->staleWatch().watched(stale->unit))
        return;
    qCInfo(lcGateway).noquote() << "cleared" << topicName << ": the unit is not watched";
    mqtt_.publish(topicName, QByteArray(), true);
}

// The load changes all the time: the status follows it when it moved by a percent.
void Gateway::publishLoads() {
    for (const auto& [name, sign] : signs_) {
        const Line* line = lineOf_.at(name);
        const auto said = loadSaid_.find(name);
        if (said == loadSaid_.end() || std::abs(line->load() - said->second) >= 0.01)
            publishStatus(*sign);
    }
}

void Gateway::publishUnits(const Sign& sign, const UnitWrite& run) {
    if (!owner())
        return;
    for (qsizetype i = 0; i < run.values.size(); ++i)
        publishUnit(sign, uint8_t(run.start + int(i)), run.values[i]);
}

// Under its number, and under its name when it has one.
void Gateway::publishUnit(const Sign& sign, uint8_t unit, uint32_t value) {
    const QByteArray payload = QByteArray::number(value);
    mqtt_.publish(topics_.unit(sign.name(), unit), payload, true);
    const auto& names = sign.config().unitNames;
    if (const auto name = names.find(unit); name != names.end())
        mqtt_.publish(topics_.unit(sign.name(), name->second), payload, true);
}

void Gateway::stop() {
    if (stopping_)
        return;
    stopping_ = true;
    quiet_.stop();
    loads_.stop();
    take_.cancel();
    if (keeper_)
        keeper_->stop();
    qCInfo(lcGateway) << "stopping";
    linesRunning_ = int(lines_.size());
    if (modbus_)
        modbus_->stop();
    for (auto& [name, sign] : signs_)
        sign->stop();
    if (linesRunning_ == 0)
        lineStopped();
    for (auto& line : lines_)
        line->stop();
}

// A sign nobody keeps now; with its line, while it has one.
QByteArray Gateway::offlineStatus(const QString& sign, const QString& reason) const {
    QJsonObject status{{u"state"_s, u"offline"_s},
                       {u"since"_s, isoTime(clock_.now())},
                       {u"reason"_s, reason},
                       {u"gateway"_s, config_.broker.clientId}};
    if (const auto line = lineOf_.find(sign); line != lineOf_.end())
        status.insert(u"line"_s, lineStatus(*line->second));
    return QJsonDocument(status).toJson(QJsonDocument::Compact);
}

// Once every line is closed, the broker hears that nobody keeps the signs now.
void Gateway::lineStopped() {
    if (--linesRunning_ > 0)
        return;
    if (owner())
        for (auto& [name, sign] : signs_)
            mqtt_.publish(topics_.status(name), offlineStatus(name, u"zarnetd stopped"_s), true);
    if (keeper_)
        keeper_->release();
    if (sparkplug_)
        sparkplug_->stop();
    mqtt_.publish(topics_.gatewayStatus(), "offline", true);
    mqtt_.stop(StopTimeoutMs);
}

} // namespace zarnet::gateway
