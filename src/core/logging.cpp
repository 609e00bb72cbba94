#include "logging.h"

Q_LOGGING_CATEGORY(lcLink, "zarnet.link", QtWarningMsg)
Q_LOGGING_CATEGORY(lcReply, "zarnet.reply", QtWarningMsg)
Q_LOGGING_CATEGORY(lcPort, "zarnet.port", QtWarningMsg)
Q_LOGGING_CATEGORY(lcBoard, "zarnet.board", QtWarningMsg)
Q_LOGGING_CATEGORY(lcGateway, "zarnet.gateway", QtWarningMsg)
Q_LOGGING_CATEGORY(lcMqtt, "zarnet.mqtt", QtWarningMsg)
Q_LOGGING_CATEGORY(lcWindow, "zarnet.window", QtWarningMsg)
