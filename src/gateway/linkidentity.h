#pragma once

#include <QString>

namespace zarnet {
class PortCatalog;
}

namespace zarnet::gateway {

// The device a link text opens on this machine, so that two texts naming one
// port are one line: a port number and its device path, or a device path and a
// symbolic link to it. A network address is itself.
QString systemLink(const QString& link, const PortCatalog& ports);

} // namespace zarnet::gateway
