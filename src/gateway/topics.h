#pragma once

#include "commandrefusal.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <variant>

// The service's topics, built and read in one place.
namespace zarnet::gateway {

enum class Command { UnitValue, UnitBatch, Power, Clock, Clear, Image };

struct CommandTopic {
    QString sign;
    Command command = Command::UnitValue;
    uint8_t unit = 0; // for Command::UnitValue
    QString unitName; // for Command::UnitValue by a name: the sign knows the unit
};

struct StaleTopic {
    QString sign;
    uint8_t unit = 0;
};

// PREFIX/SIGN/units/N/set (N a number or a unit's name), PREFIX/SIGN/units/set,
// PREFIX/SIGN/power/set, PREFIX/SIGN/clock/set, PREFIX/SIGN/clear/set and PREFIX/SIGN/image/set.
std::variant<CommandTopic, CommandRefusal> readCommandTopic(const QString& prefix,
                                                            const QString& topic);
// PREFIX/SIGN/units/N/stale.
std::optional<StaleTopic> readStaleTopic(const QString& prefix, const QString& topic);

class Topics {
public:
    Topics(const QString& prefix, const QString& clientId) : prefix_(prefix), clientId_(clientId) {}

    const QString& prefix() const { return prefix_; }
    QString status(const QString& sign) const { return of(sign, QStringLiteral("status")); }
    QString error(const QString& sign) const { return of(sign, QStringLiteral("error")); }
    QString unit(const QString& sign, int unit) const;
    QString unit(const QString& sign, const QString& name) const {
        return of(sign, QStringLiteral("units/") + name);
    }
    QString stale(const QString& sign, int unit) const;
    QString unitCommand(const QString& sign, int unit) const {
        return this->unit(sign, unit) + QStringLiteral("/set");
    }
    // Each command topic of the sign by its name: a wildcard would also match junk.
    QStringList commands(const QString& sign, const QStringList& unitNames = {}) const;
    // The wildcards that bring every command for the sign, and every wrong topic.
    QStringList live(const QString& sign) const;
    QString gatewayStatus() const;
    // Another gateway's status.
    QString gatewayStatus(const QString& clientId) const;
    QString sync() const;
    QString lease(const QString& group) const;
    // PREFIX/group: the groups' commands are PREFIX/group/GROUP/…/set.
    QString groups() const { return prefix_ + QStringLiteral("/group"); }
    QStringList groupLive(const QString& group) const;
    QString groupError(const QString& group) const;
    // The first level under the prefix, which names the sign.
    QString signOf(const QString& topic) const;

private:
    QString of(const QString& sign, const QString& rest) const;

    QString prefix_;
    QString clientId_;
};

} // namespace zarnet::gateway
