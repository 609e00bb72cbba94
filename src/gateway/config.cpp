#include "config.h"

#include "payloads.h"

#include <core/linkaddress.h>

#include <QFile>
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

using namespace Qt::StringLiterals;

namespace zarnet::gateway {

namespace {

// Collects faults with the line they were found on.
class Faults {
public:
    explicit Faults(const QString& path) : path_(path) {}
    void add(const toml::source_region& where, const QString& what) {
        list_.append(u"%1:%2: %3"_s.arg(path_).arg(where.begin.line).arg(what));
    }
    void add(const toml::node& node, const QString& what) { add(node.source(), what); }
    const QStringList& list() const { return list_; }

private:
    QString path_;
    QStringList list_;
};

QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// Flags keys the program does not know: a misspelt one would be ignored silently.
void checkKeys(const toml::table& table, const QSet<QString>& known, const QString& where,
               Faults& faults) {
    for (auto&& [key, node] : table)
        if (!known.contains(qs(key.str())))
            faults.add(node, u"unknown key \"%1\" in %2"_s.arg(qs(key.str()), where));
}

std::optional<QString> text(const toml::table& table, std::string_view key, Faults& faults) {
    const toml::node* node = table.get(key);
    if (!node)
        return std::nullopt;
    if (!node->is_string()) {
        faults.add(*node, u"%1 takes a text in quotes"_s.arg(qs(key)));
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
        faults.add(*node, u"%1 takes a whole number %2..%3"_s.arg(qs(key)).arg(min).arg(max));
        return std::nullopt;
    }
    return node->as_integer()->get();
}

std::optional<QString> readSecret(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > 4096)
        return std::nullopt;
    QByteArray secret = file.readAll();
    while (secret.endsWith('\n') || secret.endsWith('\r'))
        secret.chop(1);
    return QString::fromUtf8(secret);
}

void readBroker(const toml::table& table, BrokerConfig& broker, Faults& faults) {
    checkKeys(
        table,
        {u"url"_s, u"client_id"_s, u"username"_s, u"password_file"_s, u"ca_file"_s, u"prefix"_s},
        u"[broker]"_s, faults);
    const toml::source_region& where = table.source();
    const QString url = text(table, "url", faults).value_or(u"mqtt://127.0.0.1:1883"_s);
    const QUrl parsed(url, QUrl::StrictMode);
    const QString scheme = parsed.scheme();
    if (!parsed.isValid() || (scheme != u"mqtt" && scheme != u"mqtts") || parsed.host().isEmpty() ||
        !(parsed.path().isEmpty() || parsed.path() == u"/") || parsed.hasQuery()) {
        faults.add(table.get("url") ? table.get("url")->source() : where,
                   u"url takes mqtt://HOST:PORT or mqtts://HOST:PORT"_s);
    } else if (!parsed.userInfo().isEmpty()) {
        faults.add(table.get("url")->source(),
                   u"url: put the user in username and the password in password_file"_s);
    } else {
        broker.tls = scheme == u"mqtts";
        broker.host = parsed.host();
        broker.port = uint16_t(parsed.port(broker.tls ? 8883 : 1883));
    }
    broker.clientId =
        text(table, "client_id", faults).value_or(u"zarnetd-"_s + QSysInfo::machineHostName());
    if (broker.clientId.isEmpty() || broker.clientId.toUtf8().size() > 65535 ||
        broker.clientId.contains(u'/') || broker.clientId.contains(u'+') ||
        broker.clientId.contains(u'#'))
        faults.add(table.get("client_id") ? table.get("client_id")->source() : where,
                   u"client_id takes a name without /, + or #"_s);
    broker.username = text(table, "username", faults).value_or(QString());
    if (const auto file = text(table, "password_file", faults)) {
        const auto secret = readSecret(*file);
        if (!secret)
            faults.add(*table.get("password_file"),
                       u"password_file: cannot read %1 (at most 4096 bytes)"_s.arg(*file));
        else
            broker.password = *secret;
        if (broker.username.isEmpty())
            faults.add(*table.get("password_file"), u"password_file needs a username"_s);
    }
    if (const auto ca = text(table, "ca_file", faults)) {
        if (!broker.tls)
            faults.add(*table.get("ca_file"), u"ca_file goes with an mqtts:// url"_s);
        else if (!QFileInfo(*ca).isReadable())
            faults.add(*table.get("ca_file"), u"ca_file: cannot read %1"_s.arg(*ca));
        broker.caFile = *ca;
    }
    broker.prefix = text(table, "prefix", faults).value_or(broker.prefix);
    static const QRegularExpression prefixForm(u"^[^/+#]+(/[^/+#]+)*$"_s);
    if (!prefixForm.match(broker.prefix).hasMatch())
        faults.add(table.get("prefix") ? table.get("prefix")->source() : where,
                   u"prefix takes topic levels without +, # or empty levels"_s);
}

void readModbus(const toml::table& table, ModbusConfig& modbus, Faults& faults) {
    checkKeys(table, {u"listen"_s}, u"[modbus]"_s, faults);
    const QString listen = text(table, "listen", faults).value_or(QString());
    const auto address = parseTcpAddress(u"tcp://"_s + listen);
    const auto* parsed = std::get_if<TcpAddress>(&address);
    if (!parsed || QHostAddress(parsed->host).isNull()) {
        faults.add(table.get("listen") ? table.get("listen")->source() : table.source(),
                   u"listen takes an address and a port, such as 127.0.0.1:1502 or [::1]:1502"_s);
        return;
    }
    modbus.host = parsed->host;
    modbus.port = parsed->port;
}

// A TOML value as the JSON the image/set topic takes.
QJsonValue toJson(const toml::node& node) {
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
        for (const toml::node& item : *array)
            out.append(toJson(item));
        return out;
    }
    if (const auto* table = node.as_table()) {
        QJsonObject out;
        for (auto&& [key, value] : *table)
            out.insert(qs(key.str()), toJson(value));
        return out;
    }
    return {};
}

void readImage(const toml::node& node, SignConfig& sign, Faults& faults) {
    sign.imageLine = int(node.source().begin.line);
    if (!node.is_table()) {
        faults.add(node, u"image takes a table: { text = …, window = […], schedule = … }"_s);
        return;
    }
    QJsonObject image = toJson(node).toObject();
    // A picture file is named in the configuration and carried in base64, as on the topic.
    if (image.contains(u"bmp_file"_s)) {
        const QString path = image.take(u"bmp_file"_s).toString();
        QFile file(path);
        if (image.contains(u"bmp"_s) || image.contains(u"text"_s)) {
            faults.add(node, u"image takes one of text, bmp or bmp_file"_s);
            return;
        }
        if (path.isEmpty() || !file.open(QIODevice::ReadOnly) || file.size() > MaxPayload) {
            faults.add(node, u"image: cannot read bmp_file %1 (at most 1 MiB)"_s.arg(path));
            return;
        }
        image.insert(u"bmp"_s, QString::fromLatin1(file.readAll().toBase64()));
    }
    sign.image = QJsonDocument(image).toJson(QJsonDocument::Compact);
    const auto request = readImageRequest(sign.image);
    if (const auto* why = std::get_if<QString>(&request))
        faults.add(node, u"image: "_s + *why);
}

void readSign(const toml::table& table, SignConfig& sign, Faults& faults) {
    checkKeys(table,
              {u"name"_s, u"link"_s, u"device"_s, u"health_seconds"_s, u"clock_sync"_s, u"image"_s,
               u"modbus_unit"_s},
              u"[[sign]]"_s, faults);
    sign.line = int(table.source().begin.line);
    sign.name = text(table, "name", faults).value_or(QString());
    static const QRegularExpression nameForm(u"^[A-Za-z0-9_-]{1,64}$"_s);
    if (!nameForm.match(sign.name).hasMatch())
        faults.add(table.get("name") ? table.get("name")->source() : table.source(),
                   u"name takes 1 to 64 letters, digits, - and _"_s);
    sign.link = text(table, "link", faults).value_or(QString());
    if (sign.link.trimmed().isEmpty())
        faults.add(table.get("link") ? table.get("link")->source() : table.source(),
                   u"link takes a port number, a device path or tcp://HOST:PORT"_s);
    else if (isNetworkAddress(sign.link)) {
        const auto address = parseTcpAddress(sign.link);
        if (const auto* fault = std::get_if<AddressFault>(&address))
            faults.add(*table.get("link"), u"link: "_s + zarnet::describe(*fault));
    }
    sign.device = uint8_t(number(table, "device", 0, 255, faults).value_or(255));
    sign.healthSeconds = int(number(table, "health_seconds", 1, 86400, faults).value_or(30));
    if (const auto at = text(table, "clock_sync", faults)) {
        const QTime time = QTime::fromString(*at, u"HH:mm"_s);
        if (!time.isValid())
            faults.add(*table.get("clock_sync"), u"clock_sync takes a time of day as \"hh:mm\""_s);
        else
            sign.clockSync = time;
    }
    if (const toml::node* image = table.get("image"))
        readImage(*image, sign, faults);
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
                       u"modbus_unit needs a [modbus] table with listen"_s);
        else if (units.contains(*sign.modbusUnit))
            faults.add(*node.as_table()->get("modbus_unit"),
                       u"modbus_unit %1 is taken by sign \"%2\""_s.arg(*sign.modbusUnit)
                           .arg(units[*sign.modbusUnit]));
        units.insert(*sign.modbusUnit, sign.name);
    }
    if (modbus && units.isEmpty())
        faults.add(*modbus, u"[modbus] serves no sign: give signs a modbus_unit"_s);
}

} // namespace

std::variant<Config, QStringList> readConfig(const QByteArray& text, const QString& path) {
    Faults faults(path);
    toml::table root;
    try {
        root = toml::parse(std::string_view(text.constData(), size_t(text.size())),
                           path.toStdString());
    } catch (const toml::parse_error& error) {
        faults.add(error.source(), qs(error.description()));
        return faults.list();
    }
    Config config;
    checkKeys(root, {u"broker"_s, u"modbus"_s, u"sign"_s}, u"the file"_s, faults);
    if (const toml::node* broker = root.get("broker"); broker && !broker->is_table())
        faults.add(*broker, u"broker takes a table: [broker]"_s);
    static const toml::table none;
    const toml::table* broker = root.get_as<toml::table>("broker");
    readBroker(broker ? *broker : none, config.broker, faults);
    const toml::node* modbus = root.get("modbus");
    if (modbus && !modbus->is_table())
        faults.add(*modbus, u"modbus takes a table: [modbus]"_s);
    else if (modbus)
        readModbus(*modbus->as_table(), config.modbus.emplace(), faults);

    const toml::node* signs = root.get("sign");
    if (!signs || !signs->is_array_of_tables()) {
        faults.add(signs ? signs->source() : root.source(),
                   u"no sign: give each one in a [[sign]] table"_s);
        return faults.list();
    }
    QSet<QString> names;
    QMap<QString, QString> links; // link to the sign that has it
    for (const toml::node& node : *signs->as_array()) {
        SignConfig sign;
        readSign(*node.as_table(), sign, faults);
        if (!sign.name.isEmpty() && names.contains(sign.name))
            faults.add(node, u"a second sign named \"%1\""_s.arg(sign.name));
        names.insert(sign.name);
        // One writer per line: a second sign would find its link taken for ever.
        if (!sign.link.isEmpty() && links.contains(sign.link))
            faults.add(node,
                       u"sign \"%1\" has the link of sign \"%2\"; each line has one sign"_s.arg(
                           sign.name, links[sign.link]));
        links.insert(sign.link, sign.name);
        config.signs.append(sign);
    }
    checkModbusUnits(config, *signs, modbus, faults);
    if (!faults.list().isEmpty())
        return faults.list();
    return config;
}

QString describe(const Config& config) {
    const BrokerConfig& b = config.broker;
    QString out =
        u"broker %1://%2:%3, client id %4, prefix %5"_s.arg(b.tls ? u"mqtts"_s : u"mqtt"_s, b.host)
            .arg(b.port)
            .arg(b.clientId, b.prefix);
    if (b.tls)
        out += b.caFile.isEmpty() ? u", system certificates"_s : u", CA file "_s + b.caFile;
    if (!b.username.isEmpty())
        out += u", user %1, password %2"_s.arg(b.username,
                                               b.password.isEmpty() ? u"(none)"_s : u"(set)"_s);
    out += u'\n';
    if (config.modbus)
        out += u"Modbus TCP on %1:%2 (no authentication)\n"_s
                   .arg(config.modbus->host.contains(u':') ? u'[' + config.modbus->host + u']'
                                                           : config.modbus->host)
                   .arg(config.modbus->port);
    for (const SignConfig& s : config.signs) {
        out += u"sign %1: link %2, device %3, connection test every %4 s"_s.arg(s.name, s.link)
                   .arg(s.device)
                   .arg(s.healthSeconds);
        if (s.clockSync)
            out += u", clock set daily at "_s + s.clockSync->toString(u"hh:mm"_s);
        if (s.modbusUnit)
            out += u", Modbus unit %1"_s.arg(*s.modbusUnit);
        if (!s.image.isEmpty())
            out += u", image "_s + QString::fromUtf8(s.image.left(120));
        out += u'\n';
    }
    return out;
}

} // namespace zarnet::gateway
