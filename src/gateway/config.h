#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTime>
#include <cstdint>
#include <optional>
#include <variant>

namespace zarnet::gateway {

struct BrokerConfig {
    QString host;
    uint16_t port = 1883;
    bool tls = false; // mqtts://
    QString caFile;   // empty: the system's certificate folder
    QString clientId;
    QString username; // empty: none
    QString password; // read from password_file; never logged or printed
    QString prefix = QStringLiteral("zarnet");
};

// Modbus TCP has no authentication: whoever reaches the address can write the signs.
struct ModbusConfig {
    QString host; // an IP address
    uint16_t port = 0;
};

struct SignConfig {
    QString name;
    QString link;
    uint8_t device = 255;
    int healthSeconds = 30;
    std::optional<QTime> clockSync;
    QByteArray image;                  // the image as an image/set payload; empty: none
    std::optional<uint8_t> modbusUnit; // none: not served over Modbus
    int line = 0;                      // where the sign is in the file
    int imageLine = 0;
};

struct Config {
    BrokerConfig broker;
    std::optional<ModbusConfig> modbus; // none: no Modbus TCP
    QList<SignConfig> signs;
};

inline constexpr char DefaultConfigPath[] = "/etc/zarnet/zarnetd.toml";

// Reads a zarnetd.toml. Every fault found is one entry "PATH:LINE: what"; a
// password_file and a bmp_file named in it are read too.
std::variant<Config, QStringList> readConfig(const QByteArray& text, const QString& path);

// What the configuration says, one setting a line; the password only as "(set)".
QString describe(const Config& config);

} // namespace zarnet::gateway
