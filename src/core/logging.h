#pragma once

#include <QLoggingCategory>

// What the programs log, by subject. Quiet unless asked for, for example with
// QT_LOGGING_RULES="zarnet.*=true"; warnings always show.
Q_DECLARE_LOGGING_CATEGORY(lcLink)  // zarnet.link: every frame sent and received
Q_DECLARE_LOGGING_CATEGORY(lcReply) // zarnet.reply: replies taken, and every one dropped with why
Q_DECLARE_LOGGING_CATEGORY(lcPort)  // zarnet.port: opens, closes, hang-ups
Q_DECLARE_LOGGING_CATEGORY(lcBoard) // zarnet.board: the virtual controller's line
Q_DECLARE_LOGGING_CATEGORY(
    lcGateway)                     // zarnet.gateway: the service's signs, and every command dropped
Q_DECLARE_LOGGING_CATEGORY(lcMqtt) // zarnet.mqtt: the broker connection
Q_DECLARE_LOGGING_CATEGORY(lcWindow) // zarnet.window: the windows' language, and why
