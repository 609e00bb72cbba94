#pragma once

#include <gateway/config.h>

#include <QString>
#include <variant>

namespace zarnet::gateway::test {

// Empty when the configuration was refused with `fault` on `line`; otherwise what
// was found instead, for the failure message.
inline QString lacksFinding(const std::variant<Config, QList<ConfigFinding>>& read,
                            ConfigFault fault, int line) {
    const auto* faults = std::get_if<QList<ConfigFinding>>(&read);
    if (!faults)
        return QStringLiteral("the configuration was taken");
    for (const ConfigFinding& found : *faults)
        if (found.fault == fault && found.line == line)
            return {};
    return describe(*faults, QStringLiteral("z.toml")).join(u'\n');
}

} // namespace zarnet::gateway::test
