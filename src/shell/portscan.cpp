#include "portscan.h"

#include <link/portcatalog.h>

namespace zarnet {

OpenResult openPortText(SerialLink& serial, const PortCatalog& ports, const QString& portText) {
    const auto device = ports.device(portText);
    if (!device)
        return OpenResult::NoSuchPort;
    return serial.open(*device);
}

std::optional<int> findUsablePort(SerialLink& serial, const PortCatalog& ports) {
    for (int port = 1; port <= ScannedPorts; ++port) {
        const OpenResult result = openPortText(serial, ports, QString::number(port));
        if (result != OpenResult::NoSuchPort && result != OpenResult::PortInUse)
            return port;
        serial.close();
    }
    return std::nullopt;
}

} // namespace zarnet
