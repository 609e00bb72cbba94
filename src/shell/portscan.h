#pragma once

#include <link/seriallink.h>

#include <QString>
#include <optional>

namespace zarnet {

class PortCatalog;

// Opens the device the port text maps to; a text that maps to none is no such port.
OpenResult openPortText(SerialLink& serial, const PortCatalog& ports, const QString& portText);

// Tries ports 1..16 in order and stops at the first whose open does not fail as
// "no such port" or "in use" (it may have opened, or failed otherwise). Ports
// passed over are left closed.
std::optional<int> findUsablePort(SerialLink& serial, const PortCatalog& ports);

constexpr int ScannedPorts = 16;

} // namespace zarnet
