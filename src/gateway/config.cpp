#include "config.h"

#include "clientcertificate.h"

#include "payloads.h"

#include <core/linkaddress.h>

#include <QCryptographicHash>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QSysInfo>
#include <QUrl>

#include <toml++/toml.h>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace zarnet::gateway {

namespace {

using Cause = decltype(ConfigFinding::cause);

// Collects faults with the line they were found on.
class Faults {
public:
    void add(const toml::source_region& where, ConfigFault fault, const QStringList& detail = {},
             const Cause& cause = {}) {
        list_.append({fault, int(where.begin.line), detail, cause});
    }
    void add(const toml::node& node, ConfigFault fault, const QStringList& detail = {},
             const Cause& cause = {}) {
        add(node.source(), fault, detail, cause);
    }
    void warn(const toml::node& node, ConfigFault fault, const QStringList& detail = {},
              const Cause& cause = {}) {
        warnings_.append({fault, int(node.source().begin.line), detail, cause});
    }
    const QList<ConfigFinding>& list() const { return list_; }
    const QList<ConfigFinding>& warnings() const { return warnings_; }
    const ImageCheck* checkImage = nullptr;

private:
    QList<ConfigFinding> list_;
    QList<ConfigFinding> warnings_;
};

// Where a key is, or else its table: a missing key's fault is the table's.
const toml::source_region& at(const toml::table& table, std::string_view key) {
    return table.get(key) ? table.get(key)->source() : table.source();
}

QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// Flags keys the program does not know: a misspelt one would be ignored silently.
// `where` names the table as the file does; empty: the file's top level.
void checkKeys(const toml::table& table, const QSet<QString>& known, const QString& where,
               Faults& faults) {
    for (auto&& [key, node] : table)
        if (!known.contains(qs(key.str())))
            faults.add(node, where.isEmpty() ? ConfigFault::UnknownTopKey : ConfigFault::UnknownKey,
                       {qs(key.str()), where});
}

std::optional<QString> text(const toml::table& table, std::string_view key, Faults& faults) {
    const toml::node* node = table.get(key);
    if (!node)
        return std::nullopt;
    if (!node->is_string()) {
        faults.add(*node, ConfigFault::NotText, {qs(key)});
        return std::nullopt;
    }
    return qs(node->as_string()->get());
}

std::optional<int64_t> number(const toml::table& table, std::string_view key, int64_t min,
                              int64_t max, Faults& faults) {
    const toml::node* node = table.get(key);
    if (!node)
        return std::nullopt;
    if (!node->is_integer() || node->as_integer()->get() < min || node->as_integer()->get() > max) {
        faults.add(*node, ConfigFault::NotWholeNumber,
                   {qs(key), QString::number(min), QString::number(max)});
        return std::nullopt;
    }
    return node->as_integer()->get();
}

// A name the broker takes as it is: no control characters (a NUL would cut it),
// and short enough for every topic built from it.
bool brokerName(const QString& name) {
    return !name.isEmpty() && name.toUtf8().size() <= MaxNameBytes &&
           std::none_of(name.begin(), name.end(),
                        [](QChar c) { return c.category() == QChar::Other_Control || c.isNull(); });
}

// A secret from a file of its own (`key` names it in faults), without its line end.
std::optional<QByteArray> readSecret(const toml::node& node, const QString& path,
                                     const QString& key, Faults& faults) {
    const auto secret = readRegularFile(path, MaxSecretBytes);
    if (const auto* why = std::get_if<FileProblem>(&secret)) {
        const bool forbidden = QFileInfo(path).isFile() && !QFileInfo(path).isReadable();
        faults.add(node, forbidden ? ConfigFault::SecretUnreadable : ConfigFault::FileUnreadable,
                   {key}, *why);
        return std::nullopt;
    }
    QByteArray bytes = std::get<QByteArray>(secret);
    while (bytes.endsWith('\n') || bytes.endsWith('\r'))
        bytes.chop(1);
    if (QFileInfo(path).permissions() & QFileDevice::ReadOther)
        faults.warn(node, ConfigFault::ReadableByAll, {key, path});
    return bytes;
}

// A client certificate for brokers that require one, checked against its key and the clock.
void readClientCertificate(const toml::table& table, BrokerConfig& broker, Faults& faults) {
    const auto cert = text(table, "cert_file", faults);
    const auto key = text(table, "key_file", faults);
    const auto password = text(table, "key_password_file", faults);
    if (!cert && !key) {
        if (password)
            faults.add(*table.get("key_password_file"), ConfigFault::KeyPasswordAlone);
        return;
    }
    const toml::node& node = *table.get(cert ? "cert_file" : "key_file");
    if (!cert || !key) {
        faults.add(node, ConfigFault::CertificateHalf);
        return;
    }
    if (!broker.tls) {
        faults.add(node, ConfigFault::CertificateWithoutTls);
        return;
    }
    if (password) {
        const auto secret =
            readSecret(*table.get("key_password_file"), *password, u"key_password_file"_s, faults);
        if (!secret)
            return;
        broker.keyPassword = *secret;
    }
    const auto certBytes = readRegularFile(*cert, MaxCertificateBytes);
    const auto keyBytes = readRegularFile(*key, MaxCertificateBytes);
    for (const auto& [name, bytes] : {std::pair{"cert_file", &certBytes}, {"key_file", &keyBytes}})
        if (const auto* why = std::get_if<FileProblem>(bytes)) {
            faults.add(*table.get(name), ConfigFault::FileUnreadable, {QString::fromLatin1(name)},
                       *why);
            return;
        }
    if (QFileInfo(*key).permissions() & QFileDevice::ReadOther)
        faults.warn(*table.get("key_file"), ConfigFault::ReadableByAll, {u"key_file"_s, *key});
    const auto problem =
        checkClientCertificate(std::get<QByteArray>(certBytes), std::get<QByteArray>(keyBytes),
                               broker.keyPassword, QDateTime::currentDateTimeUtc());
    // Not valid yet is most likely a clock not set yet (no clock chip, before the
    // network time): the broker decides when it is asked.
    if (problem && problem->fault == CertificateFault::NotYetValid)
        faults.warn(node, ConfigFault::Certificate, {*cert, *key}, *problem);
    else if (problem)
        faults.add(node, ConfigFault::Certificate, {*cert, *key}, *problem);
    broker.certificateDigest =
        QCryptographicHash::hash(std::get<QByteArray>(certBytes) + std::get<QByteArray>(keyBytes),
                                 QCryptographicHash::Sha256);
    broker.certFile = *cert;
    broker.keyFile = *key;
}

void readBroker(const toml::table& table, BrokerConfig& broker, Faults& faults) {
    checkKeys(table,
              {u"url"_s, u"client_id"_s, u"username"_s, u"password_file"_s, u"ca_file"_s,
               u"cert_file"_s, u"key_file"_s, u"key_password_file"_s, u"prefix"_s},
              u"[broker]"_s, faults);
    const QString url = text(table, "url", faults).value_or(u"mqtt://127.0.0.1:1883"_s);
    const QUrl parsed(url, QUrl::StrictMode);
    const QString scheme = parsed.scheme();
    if (!parsed.isValid() || (scheme != u"mqtt" && scheme != u"mqtts") || parsed.host().isEmpty() ||
        !(parsed.path().isEmpty() || parsed.path() == u"/") || parsed.hasQuery()) {
        faults.add(at(table, "url"), ConfigFault::UrlForm);
    } else if (!parsed.userInfo().isEmpty()) {
        faults.add(table.get("url")->source(), ConfigFault::UrlWithUser);
    } else {
        broker.tls = scheme == u"mqtts";
        broker.host = parsed.host();
        broker.port = uint16_t(parsed.port(broker.tls ? 8883 : 1883));
    }
    broker.clientId =
        text(table, "client_id", faults).value_or(u"zarnetd-"_s + QSysInfo::machineHostName());
    if (!brokerName(broker.clientId) || broker.clientId.contains(u'/') ||
        broker.clientId.contains(u'+') || broker.clientId.contains(u'#'))
        faults.add(at(table, "client_id"), ConfigFault::ClientIdForm);
    broker.username = text(table, "username", faults).value_or(QString());
    if (const auto file = text(table, "password_file", faults))
        if (const auto secret =
                readSecret(*table.get("password_file"), *file, u"password_file"_s, faults))
            broker.password = QString::fromUtf8(*secret);
    if (table.get("password_file") && broker.username.isEmpty())
        faults.add(*table.get("password_file"), ConfigFault::PasswordWithoutUser);
    if (const auto ca = text(table, "ca_file", faults)) {
        if (!broker.tls)
            faults.add(*table.get("ca_file"), ConfigFault::CaWithoutTls);
        else if (!QFileInfo(*ca).isReadable())
            faults.add(*table.get("ca_file"), ConfigFault::CaUnreadable, {*ca});
        broker.caFile = *ca;
    }
    readClientCertificate(table, broker, faults);
    broker.prefix = text(table, "prefix", faults).value_or(broker.prefix);
    static const QRegularExpression prefixForm(u"^[^/+#]+(/[^/+#]+)*$"_s);
    if (!prefixForm.match(broker.prefix).hasMatch() || !brokerName(broker.prefix))
        faults.add(at(table, "prefix"), ConfigFault::PrefixForm);
}

// listen = "ADDRESS:PORT", as a listener of either kind takes it; `port` is the
// example's port.
std::optional<TcpAddress> readListen(const toml::table& table, int port, Faults& faults) {
    if (table.get("listen") && !table.get("listen")->is_string()) {
        faults.add(*table.get("listen"), ConfigFault::ListenNotText, {QString::number(port)});
        return std::nullopt;
    }
    const QString listen = text(table, "listen", faults).value_or(QString());
    const auto address = parseTcpAddress(u"tcp://"_s + listen);
    const auto* parsed = std::get_if<TcpAddress>(&address);
    if (!parsed || QHostAddress(parsed->host).isNull()) {
        faults.add(at(table, "listen"), ConfigFault::ListenForm, {QString::number(port)});
        return std::nullopt;
    }
    return *parsed;
}

void readModbus(const toml::table& table, ModbusConfig& modbus, Faults& faults) {
    checkKeys(table, {u"listen"_s}, u"[modbus]"_s, faults);
    if (const auto address = readListen(table, 1502, faults)) {
        modbus.host = address->host;
        modbus.port = address->port;
    }
}

// Anyone who reaches a web server on another address than loopback sees the
// plant: such a server needs a token.
void readHttp(const toml::table& table, HttpConfig& http, Faults& faults) {
    checkKeys(table, {u"listen"_s, u"token_file"_s}, u"[http]"_s, faults);
    const auto address = readListen(table, 8080, faults);
    if (!address)
        return;
    http.host = address->host;
    http.port = address->port;
    if (const auto file = text(table, "token_file", faults)) {
        if (const auto token =
                readSecret(*table.get("token_file"), *file, u"token_file"_s, faults)) {
            http.token = *token;
            static const QRegularExpression tokenForm(u"^[A-Za-z0-9._~+/=-]*$"_s);
            if (!tokenForm.match(QString::fromLatin1(http.token)).hasMatch())
                faults.add(*table.get("token_file"), ConfigFault::TokenCharacters);
            else if (http.token.size() < 16)
                faults.add(*table.get("token_file"), ConfigFault::TokenShort,
                           {QString::number(http.token.size())});
        }
    } else if (!QHostAddress(http.host).isLoopback()) {
        faults.add(*table.get("listen"), ConfigFault::ListenNeedsToken, {http.host});
    }
}

// [homeassistant] discovery = true, prefix = "homeassistant".
void readHomeAssistant(const toml::table& table, Config& config, Faults& faults) {
    checkKeys(table, {u"discovery"_s, u"prefix"_s}, u"[homeassistant]"_s, faults);
    const toml::node* discovery = table.get("discovery");
    if (discovery && !discovery->is_boolean()) {
        faults.add(*discovery, ConfigFault::DiscoveryNotBoolean);
        return;
    }
    if (!discovery || !discovery->as_boolean()->get())
        return;
    HomeAssistantConfig& ha = config.homeAssistant.emplace();
    ha.prefix = text(table, "prefix", faults).value_or(ha.prefix);
    static const QRegularExpression prefixForm(u"^[^/+#]+(/[^/+#]+)*$"_s);
    if (!prefixForm.match(ha.prefix).hasMatch() || !brokerName(ha.prefix))
        faults.add(at(table, "prefix"), ConfigFault::DiscoveryPrefixForm);
}

// [sparkplug] group_id = "hall2", edge_node_id = "…", primary_host = "scada1": each a
// single topic level.
void readSparkplug(const toml::table& table, bool standby, SparkplugConfig& sparkplug,
                   Faults& faults) {
    checkKeys(table, {u"group_id"_s, u"edge_node_id"_s, u"primary_host"_s}, u"[sparkplug]"_s,
              faults);
    const auto id = [&](const char* key, const QString& otherwise) {
        QString value = text(table, key, faults).value_or(otherwise);
        if (!brokerName(value) || value.contains(u'/') || value.contains(u'+') ||
            value.contains(u'#'))
            faults.add(at(table, key), ConfigFault::TopicNameForm, {QString::fromLatin1(key)});
        return value;
    };
    sparkplug.groupId = id("group_id", {});
    if (const toml::node* node = table.get("edge_node_id")) {
        sparkplug.edgeNodeId = id("edge_node_id", {});
        // Each of the pair is a node of its own: one name would make each one's
        // birth and death the other's.
        if (standby)
            faults.add(*node, ConfigFault::NodeWithStandby);
    }
    if (table.get("primary_host"))
        sparkplug.primaryHost = id("primary_host", {});
}

// [[group]] name = "hall2", signs = ["press1", "press2"].
void readGroup(const toml::table& table, const Config& config, GroupConfig& group, Faults& faults) {
    checkKeys(table, {u"name"_s, u"signs"_s}, u"[[group]]"_s, faults);
    group.name = text(table, "name", faults).value_or(QString());
    static const QRegularExpression nameForm(u"^[A-Za-z0-9_-]{1,64}$"_s);
    if (!nameForm.match(group.name).hasMatch())
        faults.add(at(table, "name"), ConfigFault::NameForm);
    if (std::any_of(config.signs.begin(), config.signs.end(),
                    [&](const SignConfig& s) { return s.name == group.name; }))
        faults.add(*table.get("name"), ConfigFault::GroupNamedLikeSign, {group.name});
    const toml::array* signs = table.get_as<toml::array>("signs");
    if (!signs || signs->empty()) {
        faults.add(at(table, "signs"), ConfigFault::GroupSignsMissing);
        return;
    }
    for (const toml::node& member : *signs) {
        const auto* name = member.as_string();
        if (!name || !nameForm.match(qs(name->get())).hasMatch()) {
            faults.add(member, ConfigFault::GroupMemberForm);
            continue;
        }
        if (group.signs.contains(qs(name->get())))
            faults.add(member, ConfigFault::GroupMemberTwice, {qs(name->get())});
        group.signs.append(qs(name->get()));
    }
}

void readGroups(Config& config, const toml::node* groups, Faults& faults) {
    if (!groups)
        return;
    if (!groups->is_array_of_tables()) {
        faults.add(*groups, ConfigFault::NotTables, {u"group"_s});
        return;
    }
    for (const toml::node& node : *groups->as_array()) {
        GroupConfig group;
        readGroup(*node.as_table(), config, group, faults);
        if (std::any_of(config.groups.begin(), config.groups.end(),
                        [&](const GroupConfig& g) { return g.name == group.name; }))
            faults.add(node, ConfigFault::GroupTwice, {group.name});
        // A misspelt member would never get the group's commands: each is named.
        for (const QString& member : group.signs)
            if (std::none_of(config.signs.begin(), config.signs.end(),
                             [&](const SignConfig& s) { return s.name == member; }))
                faults.warn(node, ConfigFault::GroupMemberElsewhere, {group.name, member});
        config.groups.append(group);
    }
    // PREFIX/group/… are the groups' topics.
    if (!config.groups.isEmpty() &&
        std::any_of(config.signs.begin(), config.signs.end(),
                    [](const SignConfig& s) { return s.name == u"group"; }))
        faults.add(*groups, ConfigFault::SignNamedGroup);
}

void readStandby(const toml::table& table, StandbyConfig& standby, Faults& faults) {
    checkKeys(table, {u"group"_s, u"priority"_s, u"lease_seconds"_s}, u"[standby]"_s, faults);
    standby.group = text(table, "group", faults).value_or(QString());
    if (!brokerName(standby.group) || standby.group.contains(u'/') ||
        standby.group.contains(u'+') || standby.group.contains(u'#'))
        faults.add(at(table, "group"), ConfigFault::TopicNameForm, {u"group"_s});
    standby.priority = int(number(table, "priority", 0, 1000, faults).value_or(1));
    // At most 40: the broker publishes a lost owner's will after one and a half
    // keep-alive intervals (45 s), and the owner must have stopped writing by then.
    standby.leaseSeconds = int(number(table, "lease_seconds", 3, 40, faults).value_or(10));
}

// A TOML value as the JSON the image/set topic takes; none when it nests deeper
// than `depth` levels.
std::optional<QJsonValue> toJson(const toml::node& node, int depth) {
    if ((node.is_array() || node.is_table()) && depth <= 0)
        return std::nullopt;
    if (const auto* string = node.as_string())
        return qs(string->get());
    if (const auto* integer = node.as_integer())
        return double(integer->get());
    if (const auto* floating = node.as_floating_point())
        return floating->get();
    if (const auto* boolean = node.as_boolean())
        return boolean->get();
    if (const auto* array = node.as_array()) {
        QJsonArray out;
        for (const toml::node& item : *array) {
            const auto value = toJson(item, depth - 1);
            if (!value)
                return std::nullopt;
            out.append(*value);
        }
        return out;
    }
    if (const auto* table = node.as_table()) {
        QJsonObject out;
        for (auto&& [key, value] : *table) {
            const auto json = toJson(value, depth - 1);
            if (!json)
                return std::nullopt;
            out.insert(qs(key.str()), *json);
        }
        return out;
    }
    return QJsonValue();
}

// An image table, read as the payload image/set takes; nullopt when it has a fault.
std::optional<ConfiguredImage> readImage(const toml::node& node, const QString& key,
                                         Faults& faults) {
    if (!node.is_table()) {
        faults.add(node, ConfigFault::ImageNotTable, {key});
        return std::nullopt;
    }
    const auto json = toJson(node, MaxImageDepth);
    if (!json) {
        faults.add(node, ConfigFault::ImageTooDeep, {key});
        return std::nullopt;
    }
    QJsonObject image = json->toObject();
    if (image.contains(u"for"_s)) {
        faults.add(node, ConfigFault::ImageFor, {key});
        return std::nullopt;
    }
    // A picture file is named in the configuration and carried in base64, as on the topic.
    if (image.contains(u"bmp_file"_s)) {
        const QString path = image.take(u"bmp_file"_s).toString();
        if (image.contains(u"bmp"_s) || image.contains(u"text"_s)) {
            faults.add(node, ConfigFault::ImageSources, {key});
            return std::nullopt;
        }
        const auto bytes = readRegularFile(path, MaxPayload);
        if (const auto* why = std::get_if<FileProblem>(&bytes)) {
            faults.add(node, ConfigFault::ImageFile, {key}, *why);
            return std::nullopt;
        }
        image.insert(u"bmp"_s, QString::fromLatin1(std::get<QByteArray>(bytes).toBase64()));
    }
    QByteArray payload = QJsonDocument(image).toJson(QJsonDocument::Compact);
    auto request = readImageRequest(payload);
    if (const auto* why = std::get_if<PayloadRefusal>(&request)) {
        faults.add(node, ConfigFault::ImageRefused, {key}, *why);
        return std::nullopt;
    }
    return ConfiguredImage{std::move(std::get<ImageRequest>(request)), std::move(payload)};
}

// Draws a configured image as the service will, where the caller can draw.
void checkDrawing(const toml::node& node, const QString& key, uint8_t device,
                  const std::optional<ConfiguredImage>& image, Faults& faults) {
    if (!image || !faults.checkImage || !*faults.checkImage)
        return;
    if (const auto why = (*faults.checkImage)(device, image->request))
        faults.add(node, ConfigFault::ImageRefused, {key}, *why);
}

std::optional<int64_t> duration(const toml::table& table, std::string_view key, Faults& faults) {
    const auto value = text(table, key, faults);
    if (!value)
        return std::nullopt;
    const auto ms = readDuration(*value);
    if (!ms)
        faults.add(*table.get(key), ConfigFault::DurationForm, {qs(key)});
    return ms;
}

std::optional<QTime> timeOfDay(const toml::table& table, std::string_view key, Faults& faults) {
    const auto at = text(table, key, faults);
    if (!at)
        return std::nullopt;
    const QTime time = QTime::fromString(*at, u"HH:mm"_s);
    if (!time.isValid())
        faults.add(*table.get(key), ConfigFault::TimeOfDayForm, {qs(key)});
    return time.isValid() ? std::optional(time) : std::nullopt;
}

// units.N.name: what plant systems call the unit; each name once in a sign.
void readUnitName(const toml::table& settings, uint8_t unit, SignConfig& sign,
                  QHash<QString, const toml::node*>& named, Faults& faults) {
    const auto name = text(settings, "name", faults);
    if (!name)
        return;
    const toml::node& node = *settings.get("name");
    if (!isUnitName(*name)) {
        faults.add(node, ConfigFault::UnitNameForm, {QString::number(unit)});
        return;
    }
    if (const toml::node* first = named.value(*name)) {
        faults.add(node, ConfigFault::UnitNameTaken,
                   {QString::number(unit), *name, QString::number(first->source().begin.line)});
        faults.add(*first, ConfigFault::UnitNameUsedAgain,
                   {QString::number(node.source().begin.line)});
        return;
    }
    named.insert(*name, &node);
    sign.unitNames[unit] = *name;
}

// units.N.max_age: a unit's own maximum age, or "off" to leave it unwatched.
void readUnits(const toml::node& node, SignConfig& sign, Faults& faults) {
    const toml::table* units = node.as_table();
    if (!units) {
        faults.add(node, ConfigFault::UnitsNotTable);
        return;
    }
    QHash<QString, const toml::node*> named;
    for (auto&& [key, value] : *units) {
        bool ok = false;
        const uint unit = qs(key.str()).toUInt(&ok);
        const toml::table* settings = value.as_table();
        if (!ok || unit > 255 || !settings) {
            faults.add(value, ConfigFault::UnitKeyForm, {qs(key.str())});
            continue;
        }
        checkKeys(*settings, {u"max_age"_s, u"name"_s}, u"units.%1"_s.arg(unit), faults);
        readUnitName(*settings, uint8_t(unit), sign, named, faults);
        const auto maxAge = text(*settings, "max_age", faults);
        if (!maxAge)
            continue;
        const auto ms = readDuration(*maxAge);
        if (*maxAge == u"off")
            sign.unitMaxAgeMs[uint8_t(unit)] = std::nullopt;
        else if (!ms)
            faults.add(*settings->get("max_age"), ConfigFault::UnitMaxAgeForm,
                       {QString::number(unit)});
        else
            sign.unitMaxAgeMs[uint8_t(unit)] = *ms;
    }
}

void readStale(const toml::node& node, SignConfig& sign, Faults& faults) {
    if (const auto* keep = node.as_string()) {
        if (keep->get() != "keep")
            faults.add(node, ConfigFault::StaleForm);
        return;
    }
    const toml::table* table = node.as_table();
    if (!table || table->size() != 1 || !(table->contains("value") || table->contains("image"))) {
        faults.add(node, ConfigFault::StaleForm);
        return;
    }
    if (table->contains("value")) {
        if (const auto value = number(*table, "value", 0, MaxUnitValue, faults)) {
            sign.staleAction = StaleAction::Value;
            sign.staleValue = uint32_t(*value);
        }
        return;
    }
    sign.staleImageLine = int(table->get("image")->source().begin.line);
    sign.staleImage = readImage(*table->get("image"), u"stale image"_s, faults);
    checkDrawing(*table->get("image"), u"stale image"_s, sign.device, sign.staleImage, faults);
    if (sign.staleImage)
        sign.staleAction = StaleAction::Image;
}

void readPower(const toml::node& node, SignConfig& sign, Faults& faults) {
    const toml::table* table = node.as_table();
    if (!table) {
        faults.add(node, ConfigFault::PowerForm);
        return;
    }
    checkKeys(*table, {u"on"_s, u"off"_s, u"days"_s}, u"power"_s, faults);
    const auto on = timeOfDay(*table, "on", faults);
    const auto off = timeOfDay(*table, "off", faults);
    if (!table->contains("on") || !table->contains("off")) {
        faults.add(node, ConfigFault::PowerHalf);
        return;
    }
    if (!on || !off)
        return;
    if (*on == *off) {
        faults.add(node, ConfigFault::PowerSameTime);
        return;
    }
    PowerSchedule schedule{*on, *off};
    if (const auto days = text(*table, "days", faults)) {
        const auto read = readDays(*days);
        if (!read) {
            faults.add(*table->get("days"), ConfigFault::DaysForm);
            return;
        }
        schedule.days = *read;
    }
    sign.power = schedule;
}

void readSign(const toml::table& table, SignConfig& sign, Faults& faults) {
    checkKeys(table,
              {u"name"_s, u"link"_s, u"device"_s, u"health_seconds"_s, u"clock_sync"_s, u"image"_s,
               u"modbus_unit"_s, u"max_age"_s, u"units"_s, u"stale"_s, u"power"_s},
              u"[[sign]]"_s, faults);
    sign.line = int(table.source().begin.line);
    sign.name = text(table, "name", faults).value_or(QString());
    static const QRegularExpression nameForm(u"^[A-Za-z0-9_-]{1,64}$"_s);
    if (!nameForm.match(sign.name).hasMatch())
        faults.add(at(table, "name"), ConfigFault::NameForm);
    sign.link = text(table, "link", faults).value_or(QString());
    if (sign.link.trimmed().isEmpty())
        faults.add(at(table, "link"), ConfigFault::LinkForm);
    else if (isNetworkAddress(sign.link)) {
        const auto address = parseTcpAddress(sign.link);
        if (const auto* fault = std::get_if<AddressFault>(&address))
            faults.add(*table.get("link"), ConfigFault::LinkAddress, {}, *fault);
    }
    sign.device = uint8_t(number(table, "device", 0, 255, faults).value_or(255));
    sign.healthSeconds = int(number(table, "health_seconds", 1, 86400, faults).value_or(30));
    if (const auto at = text(table, "clock_sync", faults)) {
        const QTime time = QTime::fromString(*at, u"HH:mm"_s);
        if (!time.isValid())
            faults.add(*table.get("clock_sync"), ConfigFault::TimeOfDayForm, {u"clock_sync"_s});
        else
            sign.clockSync = time;
    }
    if (const toml::node* image = table.get("image")) {
        sign.imageLine = int(image->source().begin.line);
        sign.image = readImage(*image, u"image"_s, faults);
        checkDrawing(*image, u"image"_s, sign.device, sign.image, faults);
    }
    sign.maxAgeMs = duration(table, "max_age", faults);
    if (const toml::node* units = table.get("units"))
        readUnits(*units, sign, faults);
    if (const toml::node* stale = table.get("stale")) {
        readStale(*stale, sign, faults);
        const bool watched =
            sign.maxAgeMs || std::any_of(sign.unitMaxAgeMs.begin(), sign.unitMaxAgeMs.end(),
                                         [](const auto& unit) { return unit.second.has_value(); });
        if (!watched)
            faults.add(*stale, ConfigFault::StaleUnwatched);
    }
    if (const toml::node* power = table.get("power"))
        readPower(*power, sign, faults);
    if (const auto unit = number(table, "modbus_unit", 1, 247, faults))
        sign.modbusUnit = uint8_t(*unit);
}

// Each Modbus unit identifier names one sign, and there is a listener to reach them.
void checkModbusUnits(const Config& config, const toml::node& signs, const toml::node* modbus,
                      Faults& faults) {
    QMap<uint8_t, QString> units; // unit identifier to the sign that has it
    int i = 0;
    for (const toml::node& node : *signs.as_array()) {
        const SignConfig& sign = config.signs[i++];
        if (!sign.modbusUnit)
            continue;
        if (!modbus)
            faults.add(*node.as_table()->get("modbus_unit"),
                       ConfigFault::ModbusUnitWithoutListener);
        else if (units.contains(*sign.modbusUnit))
            faults.add(*node.as_table()->get("modbus_unit"), ConfigFault::ModbusUnitTaken,
                       {QString::number(*sign.modbusUnit), units[*sign.modbusUnit]});
        if (!units.contains(*sign.modbusUnit))
            units.insert(*sign.modbusUnit, sign.name);
    }
    if (modbus && units.isEmpty())
        faults.add(*modbus, ConfigFault::ModbusServesNone);
}

void readLine(const toml::table& table, LineConfig& line, Faults& faults) {
    checkKeys(table, {u"link"_s, u"response_ms"_s, u"gap_ms"_s}, u"[[line]]"_s, faults);
    line.line = int(table.source().begin.line);
    line.link = text(table, "link", faults).value_or(QString());
    if (line.link.trimmed().isEmpty())
        faults.add(at(table, "link"), ConfigFault::LineLinkForm);
    line.responseMs = int(number(table, "response_ms", 1, 10000, faults).value_or(150));
    line.gapMs = int(number(table, "gap_ms", 0, 1000, faults).value_or(1));
}

struct OnLine {
    QString sign;
    int line;
    uint8_t device;
};

// Two signs on one line must not be one controller, and a broadcast number would
// reach every controller on it.
bool checkNeighbours(const SignConfig& sign, const QList<OnLine>& neighbours,
                     const toml::node& node, Faults& faults) {
    for (const OnLine& other : neighbours) {
        if (other.device == sign.device) {
            faults.add(
                node, ConfigFault::DeviceTwiceOnLine,
                {sign.name, QString::number(sign.device), other.sign, QString::number(other.line)});
            return false;
        }
        if (other.device == 255 || sign.device == 255) {
            faults.add(node, ConfigFault::BroadcastOnSharedLine,
                       {sign.name, other.sign, QString::number(other.line)});
            return false;
        }
    }
    return true;
}

// Puts every sign on a line: the [[line]] naming its link, else a line of its own
// link with the default settings.
void groupLines(Config& config, const toml::node* lineNodes, const toml::node& signNodes,
                const LinkIdentity& identity, Faults& faults) {
    QHash<QString, qsizetype> byLink;
    QList<const toml::node*> tables;
    if (lineNodes && !lineNodes->is_array_of_tables())
        faults.add(*lineNodes, ConfigFault::NotTables, {u"line"_s});
    else if (lineNodes)
        for (const toml::node& node : *lineNodes->as_array()) {
            LineConfig line;
            readLine(*node.as_table(), line, faults);
            if (line.link.trimmed().isEmpty())
                continue;
            const QString key = identity(line.link);
            if (const auto known = byLink.find(key); known != byLink.end()) {
                faults.add(node, ConfigFault::LineTwice,
                           {line.link, QString::number(config.lines[*known].line)});
                continue;
            }
            byLink.insert(key, config.lines.size());
            line.port = key;
            config.lines.append(line);
            tables.append(&node);
        }
    QHash<qsizetype, QList<OnLine>> neighbours;
    qsizetype i = 0;
    for (const toml::node& node : *signNodes.as_array()) {
        const SignConfig& sign = config.signs[i++];
        if (sign.link.trimmed().isEmpty())
            continue;
        const QString key = identity(sign.link);
        auto found = byLink.find(key);
        if (found == byLink.end()) {
            found = byLink.insert(key, config.lines.size());
            config.lines.append(LineConfig{sign.link, 150, 1, {}, 0, key});
        }
        if (!checkNeighbours(sign, neighbours[*found], node, faults))
            continue;
        config.lines[*found].signs.append(sign.name);
        neighbours[*found].append({sign.name, sign.line, sign.device});
    }
    // A device that is not there now cannot be followed through its links: a
    // [[line]] naming it by another path is kept for a word, not refused.
    for (qsizetype l = tables.size() - 1; l >= 0; --l) {
        if (!config.lines[l].signs.isEmpty())
            continue;
        const QString link = config.lines[l].link.trimmed();
        if (isNetworkAddress(link) || QFileInfo::exists(link))
            faults.add(*tables[l], ConfigFault::LineServesNone, {link});
        else
            faults.warn(*tables[l], ConfigFault::LineServesNoneAbsent, {link});
        config.lines.removeAt(l);
    }
    // A sign alone on its link, with no [[line]], waits as long as it always has.
    for (LineConfig& line : config.lines)
        if (line.line == 0 && line.signs.size() == 1)
            for (const SignConfig& sign : config.signs)
                if (sign.name == line.signs.first())
                    line.responseMs = soloResponseMs(sign);
}

} // namespace

bool isUnitName(QStringView name) {
    return !name.isEmpty() && name.size() <= 64 &&
           std::all_of(name.begin(), name.end(),
                       [](QChar c) {
                           return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                                  (c >= u'0' && c <= u'9') || c == u'-' || c == u'_';
                       }) &&
           !std::all_of(name.begin(), name.end(), [](QChar c) { return c.isDigit(); }) &&
           name != u"set"; // PREFIX/SIGN/units/set is the batch's topic
}

QStringList unitNameList(const SignConfig& sign) {
    QStringList names;
    for (const auto& [unit, name] : sign.unitNames)
        names.append(name);
    return names;
}

std::optional<uint8_t> SignConfig::unitNamed(QStringView wanted) const {
    for (const auto& [unit, unitName] : unitNames)
        if (unitName == wanted)
            return unit;
    return std::nullopt;
}

int soloResponseMs(const SignConfig& sign) {
    return std::min(2000, sign.healthSeconds * 1000);
}

QString linkText(const QString& link) {
    QString trimmed = link.trimmed();
    const auto address = parseTcpAddress(trimmed);
    if (const auto* tcp = std::get_if<TcpAddress>(&address))
        return u"tcp://[%1]:%2"_s.arg(tcp->host.toLower()).arg(tcp->port);
    return trimmed;
}

std::optional<int64_t> readDuration(const QString& text) {
    static const QRegularExpression form(u"^([0-9]{1,6})(s|m|h)$"_s);
    const auto match = form.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    const int64_t unitMs = match.captured(2) == u"s"   ? 1000
                           : match.captured(2) == u"m" ? 60000
                                                       : 3600000;
    const int64_t ms = match.captured(1).toLongLong() * unitMs;
    if (ms < 1000 || ms > 7LL * 24 * 3600000)
        return std::nullopt;
    return ms;
}

std::variant<Config, QList<ConfigFinding>> readConfig(const QByteArray& text, const QString& path,
                                                      const ImageCheck& checkImage,
                                                      const LinkIdentity& identity) {
    Faults faults;
    faults.checkImage = &checkImage;
    toml::table root;
    try {
        root = toml::parse(std::string_view(text.constData(), size_t(text.size())),
                           path.toStdString());
    } catch (const toml::parse_error& error) {
        faults.add(error.source(), ConfigFault::Syntax, {qs(error.description())});
        return faults.list();
    }
    Config config;
    checkKeys(root,
              {u"broker"_s, u"modbus"_s, u"standby"_s, u"http"_s, u"homeassistant"_s,
               u"sparkplug"_s, u"line"_s, u"sign"_s, u"group"_s},
              {}, faults);
    if (const toml::node* broker = root.get("broker"); broker && !broker->is_table())
        faults.add(*broker, ConfigFault::NotTable, {u"broker"_s});
    static const toml::table none;
    const toml::table* broker = root.get_as<toml::table>("broker");
    readBroker(broker ? *broker : none, config.broker, faults);
    const toml::node* modbus = root.get("modbus");
    if (modbus && !modbus->is_table())
        faults.add(*modbus, ConfigFault::NotTable, {u"modbus"_s});
    else if (modbus)
        readModbus(*modbus->as_table(), config.modbus.emplace(), faults);
    const toml::node* standby = root.get("standby");
    if (standby && !standby->is_table())
        faults.add(*standby, ConfigFault::NotTable, {u"standby"_s});
    else if (standby)
        readStandby(*standby->as_table(), config.standby.emplace(), faults);

    if (const toml::node* ha = root.get("homeassistant"); ha && !ha->is_table())
        faults.add(*ha, ConfigFault::NotTable, {u"homeassistant"_s});
    else if (ha)
        readHomeAssistant(*ha->as_table(), config, faults);
    if (const toml::node* sp = root.get("sparkplug"); sp && !sp->is_table())
        faults.add(*sp, ConfigFault::NotTable, {u"sparkplug"_s});
    else if (sp)
        readSparkplug(*sp->as_table(), standby != nullptr, config.sparkplug.emplace(), faults);
    if (const toml::node* http = root.get("http"); http && !http->is_table())
        faults.add(*http, ConfigFault::NotTable, {u"http"_s});
    else if (http)
        readHttp(*http->as_table(), config.http.emplace(), faults);

    const toml::node* signs = root.get("sign");
    if (!signs || !signs->is_array_of_tables()) {
        faults.add(signs ? signs->source() : root.source(), ConfigFault::NoSign);
        return faults.list();
    }
    QSet<QString> names;
    for (const toml::node& node : *signs->as_array()) {
        SignConfig sign;
        readSign(*node.as_table(), sign, faults);
        if (!sign.name.isEmpty() && names.contains(sign.name))
            faults.add(node, ConfigFault::SignTwice, {sign.name});
        // PREFIX/lease/GROUP is the lease's topic.
        if (standby && sign.name == u"lease")
            faults.add(node, ConfigFault::SignNamedLease);
        names.insert(sign.name);
        // Metrics of every Sparkplug device already.
        for (const QString& taken : {u"power"_s, u"state"_s, u"online"_s})
            if (config.sparkplug && sign.unitNamed(taken))
                faults.add(node, ConfigFault::UnitNamedMetric, {taken});
        config.signs.append(sign);
    }
    groupLines(config, root.get("line"), *signs, identity, faults);
    readGroups(config, root.get("group"), faults);
    checkModbusUnits(config, *signs, modbus, faults);
    if (!faults.list().isEmpty())
        return faults.list();
    config.warnings = faults.warnings();
    return config;
}

namespace {

// The days an on-period starts, in the form the configuration takes them.
QString describeDays(const std::bitset<7>& days) {
    static const char* names[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
    if (days.all())
        return u"daily"_s;
    QStringList list;
    for (int day = 0; day < 7; ++day)
        if (days[size_t(day)])
            list.append(QString::fromLatin1(names[day]));
    return u"on "_s + list.join(u',');
}

} // namespace

QString describe(const Config& config) {
    const BrokerConfig& b = config.broker;
    QString out =
        u"broker %1://%2:%3, client id %4, prefix %5"_s.arg(b.tls ? u"mqtts"_s : u"mqtt"_s, b.host)
            .arg(b.port)
            .arg(b.clientId, b.prefix);
    if (b.tls)
        out += b.caFile.isEmpty() ? u", system certificates"_s : u", CA file "_s + b.caFile;
    if (!b.certFile.isEmpty())
        out += u", client certificate %1 with key %2%3"_s.arg(
            b.certFile, b.keyFile, b.keyPassword.isEmpty() ? QString() : u" (password set)"_s);
    if (!b.username.isEmpty())
        out += u", user %1, password %2"_s.arg(b.username,
                                               b.password.isEmpty() ? u"(none)"_s : u"(set)"_s);
    out += u'\n';
    if (config.standby)
        out += u"standby group %1, priority %2, lease %3 s: only the gateway holding the lease "
               "opens the links; the other keeps the signs' values and takes over when the "
               "lease is vacant or not renewed\n"_s.arg(config.standby->group)
                   .arg(config.standby->priority)
                   .arg(config.standby->leaseSeconds);
    if (config.modbus)
        out += u"Modbus TCP on %1:%2 (no authentication)\n"_s
                   .arg(config.modbus->host.contains(u':') ? u'[' + config.modbus->host + u']'
                                                           : config.modbus->host)
                   .arg(config.modbus->port);
    if (config.http)
        out += u"web page, API and metrics on http://%1:%2/ (read-only; %3)\n"_s
                   .arg(config.http->host.contains(u':') ? u'[' + config.http->host + u']'
                                                         : config.http->host)
                   .arg(config.http->port)
                   .arg(config.http->token.isEmpty() ? u"no token"_s : u"token set"_s);
    if (config.homeAssistant)
        out += u"Home Assistant discovery under %1/\n"_s.arg(config.homeAssistant->prefix);
    if (const auto& sp = config.sparkplug)
        out += u"Sparkplug B edge node %1/%2%3, each sign a device\n"_s.arg(
            sp->groupId, sp->edgeNodeId.isEmpty() ? b.clientId : sp->edgeNodeId,
            sp->primaryHost.isEmpty() ? QString()
                                      : u", births once host %1 is online"_s.arg(sp->primaryHost));
    for (const GroupConfig& g : config.groups)
        out += u"group %1: signs %2\n"_s.arg(g.name, g.signs.join(u", "_s));
    for (const LineConfig& l : config.lines)
        out += u"line %1: answers within %2 ms, %3 ms between frames; signs %4\n"_s.arg(l.link)
                   .arg(l.responseMs)
                   .arg(l.gapMs)
                   .arg(l.signs.join(u", "_s));
    for (const SignConfig& s : config.signs) {
        out += u"sign %1: link %2, device %3, connection test every %4 s"_s.arg(s.name, s.link)
                   .arg(s.device)
                   .arg(s.healthSeconds);
        if (s.clockSync)
            out += u", clock set daily at "_s + s.clockSync->toString(u"hh:mm"_s);
        if (s.modbusUnit)
            out += u", Modbus unit %1"_s.arg(*s.modbusUnit);
        if (s.maxAgeMs)
            out += u", figures stale after %1 s"_s.arg(*s.maxAgeMs / 1000);
        for (const auto& [unit, name] : s.unitNames)
            out += u", unit %1 named %2"_s.arg(unit).arg(name);
        for (const auto& [unit, ms] : s.unitMaxAgeMs)
            out += ms ? u", unit %1 stale after %2 s"_s.arg(unit).arg(*ms / 1000)
                      : u", unit %1 not watched"_s.arg(unit);
        if (s.staleAction == StaleAction::Value)
            out += u", stale units show %1"_s.arg(s.staleValue);
        else if (s.staleAction == StaleAction::Image && s.staleImage)
            out += u", stale image "_s + QString::fromUtf8(s.staleImage->payload.left(80));
        if (s.power)
            out += u", on at %1 and off at %2 %3"_s.arg(s.power->on.toString(u"hh:mm"_s),
                                                        s.power->off.toString(u"hh:mm"_s),
                                                        describeDays(s.power->days));
        if (s.image)
            out += u", image "_s + QString::fromUtf8(s.image->payload.left(120));
        out += u'\n';
    }
    return out;
}

} // namespace zarnet::gateway
