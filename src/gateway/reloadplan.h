#pragma once

#include "config.h"

#include <QList>
#include <QStringList>

namespace zarnet::gateway {

// What changes when a running service takes a new configuration. Signs and lines
// whose settings are the same keep running untouched; a sign whose settings or
// port changed starts again; a line whose settings changed is closed and opened
// anew, its signs kept.
struct ReloadPlan {
    QStringList removed;           // signs no longer configured
    QStringList restarted;         // signs whose settings or line changed
    QStringList added;             // signs not configured before
    QList<LineConfig> linesClosed; // lines that go, or change
    QList<LineConfig> linesOpened; // lines that are new, or changed
    bool broker = false;
    bool modbus = false;

    bool changesNothing() const {
        return removed.isEmpty() && restarted.isEmpty() && added.isEmpty() &&
               linesClosed.isEmpty() && linesOpened.isEmpty() && !broker && !modbus;
    }
};

// Both configurations with every sign on a line (see withOwnLines()).
ReloadPlan planReload(const Config& running, const Config& next);

// A sign the configuration put on no line gets one of its own.
Config withOwnLines(Config config);

} // namespace zarnet::gateway
