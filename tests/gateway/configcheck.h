#pragma once

#include <gateway/config.h>

#include <QRegularExpression>
#include <QString>
#include <variant>

namespace zarnet::gateway::test {

// Empty when the configuration was refused with `fault` on `line`, and every finding
// has a value in each of its words' places; otherwise what was found instead.
inline QString lacksFinding(const std::variant<Config, QList<ConfigFinding>>& read,
                            ConfigFault fault, int line) {
    const auto* faults = std::get_if<QList<ConfigFinding>>(&read);
    if (!faults)
        return QStringLiteral("the configuration was taken");
    const QStringList words = describe(*faults, QStringLiteral("z.toml"));
    static const QRegularExpression place(QStringLiteral("%[1-9]"));
    const bool filled = words.filter(place).isEmpty();
    for (const ConfigFinding& found : *faults)
        if (filled && found.fault == fault && found.line == line)
            return {};
    return words.join(u'\n');
}

} // namespace zarnet::gateway::test
