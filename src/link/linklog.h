#pragma once

#include <QLoggingCategory>

// What the line layer logs, by subject. Quiet unless asked for, for example with
// QT_LOGGING_RULES="zarnet.*=true"; warnings always show.
Q_DECLARE_LOGGING_CATEGORY(lcLink)      // zarnet.link: frames not sent, and why
Q_DECLARE_LOGGING_CATEGORY(lcLinkBytes) // zarnet.link.bytes: every frame sent and received, in hex
Q_DECLARE_LOGGING_CATEGORY(lcReply) // zarnet.reply: replies taken, and every one dropped with why
Q_DECLARE_LOGGING_CATEGORY(lcPort)  // zarnet.port: opens, closes, hang-ups
