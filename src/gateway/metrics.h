#pragma once

#include <QByteArray>

namespace zarnet::gateway {

class Gateway;

// The service's figures in the Prometheus text format, version 0.0.4.
QByteArray metricsText(const Gateway& gateway, const QByteArray& version);

} // namespace zarnet::gateway
