#pragma once

#include <QLoggingCategory>

// What the service logs, by subject; the line layer's categories come with it.
Q_DECLARE_LOGGING_CATEGORY(lcGateway) // zarnet.gateway: the signs, and every command dropped
Q_DECLARE_LOGGING_CATEGORY(lcMqtt)    // zarnet.mqtt: the broker connection
