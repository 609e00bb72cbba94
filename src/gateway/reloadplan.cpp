#include "reloadplan.h"

#include <algorithm>

namespace zarnet::gateway {

namespace {

// Where a setting stands in the file is no setting: a comment added above a sign
// must not restart it.
SignConfig settingsOf(SignConfig sign) {
    sign.line = 0;
    sign.imageLine = 0;
    sign.staleImageLine = 0;
    return sign;
}

bool samePort(const LineConfig& a, const LineConfig& b) {
    return a.port == b.port;
}

bool sameLine(const LineConfig& a, const LineConfig& b) {
    return samePort(a, b) && a.responseMs == b.responseMs && a.gapMs == b.gapMs;
}

const LineConfig* lineOf(const Config& config, const QString& sign) {
    const auto found = std::find_if(config.lines.begin(), config.lines.end(),
                                    [&](const LineConfig& l) { return l.signs.contains(sign); });
    return found == config.lines.end() ? nullptr : &*found;
}

const SignConfig* signNamed(const Config& config, const QString& name) {
    const auto found = std::find_if(config.signs.begin(), config.signs.end(),
                                    [&](const SignConfig& s) { return s.name == name; });
    return found == config.signs.end() ? nullptr : &*found;
}

bool hasLine(const QList<LineConfig>& lines, const LineConfig& line) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const LineConfig& l) { return sameLine(l, line); });
}

} // namespace

ReloadPlan planReload(const Config& running, const Config& next) {
    ReloadPlan plan;
    for (const LineConfig& line : running.lines)
        if (!hasLine(next.lines, line))
            plan.linesClosed.append(line);
    for (const LineConfig& line : next.lines)
        if (!hasLine(running.lines, line))
            plan.linesOpened.append(line);
    for (const SignConfig& sign : running.signs) {
        const SignConfig* now = signNamed(next, sign.name);
        if (!now) {
            plan.removed.append(sign.name);
            continue;
        }
        // A sign stays on its port through a change of its line's settings.
        const LineConfig* before = lineOf(running, sign.name);
        const LineConfig* after = lineOf(next, sign.name);
        const bool portKept = before && after && samePort(*before, *after);
        if (!portKept || !(settingsOf(sign) == settingsOf(*now)))
            plan.restarted.append(sign.name);
    }
    for (const SignConfig& sign : next.signs)
        if (!signNamed(running, sign.name))
            plan.added.append(sign.name);
    plan.broker = !(running.broker == next.broker);
    plan.modbus = running.modbus != next.modbus;
    return plan;
}

Config withOwnLines(Config config) {
    for (const SignConfig& sign : config.signs)
        if (!lineOf(config, sign.name))
            config.lines.append(LineConfig{
                sign.link, soloResponseMs(sign), 1, {sign.name}, 0, linkText(sign.link)});
    return config;
}

} // namespace zarnet::gateway
