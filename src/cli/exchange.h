#pragma once

#include "commandline.h"

#include <QTextStream>

namespace zarnet {
class PortCatalog;
}

namespace zarnet::cli {

// Opens the port, sends the frame, waits for the reply it expects (up to the
// timeout) and prints it. Returns the exit code.
int runExchange(const Request& request, const PortCatalog& ports, QTextStream& out,
                QTextStream& err);

} // namespace zarnet::cli
