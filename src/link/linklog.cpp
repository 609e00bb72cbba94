#include "linklog.h"

Q_LOGGING_CATEGORY(lcLink, "zarnet.link", QtWarningMsg)
Q_LOGGING_CATEGORY(lcLinkBytes, "zarnet.link.bytes", QtWarningMsg)
Q_LOGGING_CATEGORY(lcReply, "zarnet.reply", QtWarningMsg)
Q_LOGGING_CATEGORY(lcPort, "zarnet.port", QtWarningMsg)
