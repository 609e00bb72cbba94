#pragma once

#include "commandline.h"

#include <QTextStream>

namespace zarnet {
class PortCatalog;
class QtSerialLink;
} // namespace zarnet

namespace zarnet::cli {

// Opens the request's link (waiting for a network link to connect) and empties
// what was waiting on it; false, said on `err`, when it cannot be opened.
bool openLink(QtSerialLink& serial, const Request& request, const PortCatalog& ports,
              QTextStream& err);

// Opens the port, sends the frame, waits for the reply it expects (up to the
// timeout) and prints it. Returns the exit code.
int runExchange(const Request& request, const PortCatalog& ports, QTextStream& out,
                QTextStream& err);

} // namespace zarnet::cli
