#pragma once

#include "commandline.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <variant>

namespace zarnet::cli {

// What a script is told: the lines to print, or why the bytes are no answer.
using Answer = std::variant<QStringList, QString>;

// The bytes of one receive event, checked as the answer to `request`. A script
// must never take another reply for it: the connection test wants a 0x21 reply
// (from the addressed device, unless it asked all with 255); a unit read wants a
// 0x30 reply for its own start unit and count, with every value inside it.
Answer checkReply(const QByteArray& block, const Request& request);

} // namespace zarnet::cli
