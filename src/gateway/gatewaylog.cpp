#include "gatewaylog.h"

Q_LOGGING_CATEGORY(lcGateway, "zarnet.gateway", QtWarningMsg)
Q_LOGGING_CATEGORY(lcMqtt, "zarnet.mqtt", QtWarningMsg)
