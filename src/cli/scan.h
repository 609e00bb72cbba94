#pragma once

#include "commandline.h"

#include <QTextStream>

namespace zarnet {
class PortCatalog;
}

namespace zarnet::cli {

// Sends the connection test to each device number of the request's range, one
// after the other, and prints a line for each that answered (its number and the
// round trip) or whose reply failed its checks (a garbled answer: an address
// collision, or noise), and says so on `err` when most numbers got garbage.
// Returns 0 when any controller answered properly, 1 when none did, 3 when the
// link cannot be opened or is lost before the range is done. `progress`, when
// not null, gets a bar redrawn per number.
int runScan(const Request& request, const PortCatalog& ports, QTextStream& out, QTextStream& err,
            QTextStream* progress);

} // namespace zarnet::cli
