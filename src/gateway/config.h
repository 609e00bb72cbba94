#pragma once

#include "configfault.h"
#include "powerschedule.h"
#include "regularfile.h"

#include <canvas/imagerequest.h>

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTime>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <variant>

namespace zarnet::gateway {

struct BrokerConfig {
    QString host;
    uint16_t port = 1883;
    bool tls = false; // mqtts://
    QString caFile;   // empty: the system's certificate folder
    QString certFile; // a client certificate, for brokers that require one; empty: none
    QString keyFile;
    QByteArray keyPassword;       // read from key_password_file; never logged or printed
    QByteArray certificateDigest; // of the certificate and key read: a renewed one differs
    QString clientId;
    QString username; // empty: none
    QString password; // read from password_file; never logged or printed
    QString prefix = QStringLiteral("zarnet");
    bool operator==(const BrokerConfig&) const = default;
};

// Modbus TCP has no authentication: whoever reaches the address can write the signs.
struct ModbusConfig {
    QString host; // an IP address
    uint16_t port = 0;
    bool operator==(const ModbusConfig&) const = default;
};

// The read-only web server: the page, the API and the metrics.
struct HttpConfig {
    QString host; // an IP address
    uint16_t port = 0;
    QByteArray token; // read from token_file; empty: none (loopback only)
    bool operator==(const HttpConfig&) const = default;
};

// Home Assistant's MQTT discovery: every sign announced as a device.
struct HomeAssistantConfig {
    QString prefix = QStringLiteral("homeassistant");
    bool operator==(const HomeAssistantConfig&) const = default;
};

// The gateway as a Sparkplug B edge node, each sign one of its devices.
struct SparkplugConfig {
    QString groupId;
    QString edgeNodeId;  // empty: the broker client id in force
    QString primaryHost; // empty: births go out without waiting for a host
    bool operator==(const SparkplugConfig&) const = default;
};

// Two gateways with the same signs back each other up: only the one holding the
// group's lease opens the links.
struct StandbyConfig {
    QString group;
    int priority = 1; // the lower number wins when both claim the lease at once
    int leaseSeconds = 10;
    bool operator==(const StandbyConfig&) const = default;
};

// What a sign does when its figures are too old; it always reports them on
// PREFIX/SIGN/units/N/stale.
enum class StaleAction {
    Keep,  // only report
    Value, // write staleValue into each unit that goes stale
    Image, // show staleImage instead of the sign's picture while even its newest value is too old
};

// An image the configuration names, read once: the request the service draws,
// and the image as an image/set payload would carry it, for --check-config and
// the announcements that offer its settings.
struct ConfiguredImage {
    ImageRequest request;
    QByteArray payload;
    bool operator==(const ConfiguredImage&) const = default;
};

struct SignConfig {
    QString name;
    QString link;
    uint8_t device = 255;
    int healthSeconds = 30;
    std::optional<QTime> clockSync;
    std::optional<ConfiguredImage> image;
    std::optional<uint8_t> modbusUnit; // none: not served over Modbus
    std::optional<int64_t> maxAgeMs;   // for every unit; none: figures are not watched
    std::map<uint8_t, std::optional<int64_t>> unitMaxAgeMs; // per unit; nullopt: "off"
    std::map<uint8_t, QString> unitNames;                   // units.N.name
    // The unit a name stands for.
    std::optional<uint8_t> unitNamed(QStringView name) const;
    StaleAction staleAction = StaleAction::Keep;
    uint32_t staleValue = 0;
    std::optional<ConfiguredImage> staleImage;
    int staleImageLine = 0;
    std::optional<PowerSchedule> power;
    int line = 0; // where the sign is in the file
    int imageLine = 0;
    bool operator==(const SignConfig&) const = default;
};

// A link shared by one or more signs: one writer serves them all in turn.
struct LineConfig {
    QString link;         // as the first sign (or the [[line]]) on it writes it
    int responseMs = 150; // how long a connection test's answer may take
    int gapMs = 1;        // silence between two frames
    QStringList signs;    // the names of the signs on it, in file order
    int line = 0;         // where its [[line]] is in the file; 0: none
    QString port;         // what the link names on this machine: texts naming one port are one
};

// Signs that take one command together, on PREFIX/group/NAME/…/set. A member may
// be another gateway's sign: that gateway carries the command out for it.
struct GroupConfig {
    QString name;
    QStringList signs;
    bool operator==(const GroupConfig&) const = default;
};

struct Config {
    BrokerConfig broker;
    std::optional<ModbusConfig> modbus;               // none: no Modbus TCP
    std::optional<StandbyConfig> standby;             // none: the only gateway for its signs
    std::optional<HttpConfig> http;                   // none: no web server
    std::optional<HomeAssistantConfig> homeAssistant; // none: no discovery
    std::optional<SparkplugConfig> sparkplug;         // none: not an edge node
    QList<SignConfig> signs;
    QList<LineConfig> lines; // every sign is on exactly one
    QList<GroupConfig> groups;
    QList<ConfigFinding> warnings; // usable, but worth a word
};

inline constexpr char DefaultConfigPath[] = "/etc/zarnet/zarnetd.toml";

// Builds a configured image for `device` as the service
// will; the reason when it cannot be sent.
using ImageCheck =
    std::function<std::optional<PayloadRefusal>(uint8_t device, const ImageRequest& request)>;

// The names a sign gives its units, in unit order.
QStringList unitNameList(const SignConfig& sign);

// A unit's name: letters, digits, - and _, not all digits (those name units by
// number), and not "set".
bool isUnitName(QStringView name);

// How long a sign alone on its link, with no [[line]], waits for an answer.
int soloResponseMs(const SignConfig& sign);

// What a link text means, so that two texts naming one port are one line: by
// default the text itself, with a tcp:// host's case ignored.
using LinkIdentity = std::function<QString(const QString& link)>;
QString linkText(const QString& link);

// The most a password_file may hold, and how deep an image table may nest.
constexpr qint64 MaxSecretBytes = 4096;
constexpr qint64 MaxCertificateBytes = qint64{1024} * 1024;
constexpr int MaxImageDepth = 4;
// The most a prefix or client_id may hold, in bytes, so that every topic stays short.
constexpr int MaxNameBytes = 1024;

// Reads a zarnetd.toml. Every fault found is one finding, with its line; a
// password_file and a bmp_file named in it are read too (regular files only), and
// each image is checked with `checkImage` when one is given. Signs whose links have
// the same `identity` share a line.
std::variant<Config, QList<ConfigFinding>> readConfig(const QByteArray& text, const QString& path,
                                                      const ImageCheck& checkImage = {},
                                                      const LinkIdentity& identity = linkText);

// "90s", "10m", "2h", 1 s to 7 days: milliseconds; nullopt for any other text.
std::optional<int64_t> readDuration(const QString& text);

// What the configuration says, one setting a line; the password only as "(set)".
QString describe(const Config& config);

} // namespace zarnet::gateway
