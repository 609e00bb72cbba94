#pragma once

#include "commandline.h"

#include <QByteArray>
#include <QList>
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

// The answer to `request` among the bytes that came since it went out: the first
// whole frame, cut by its own length field, that checkReply takes. What lies
// before it is no answer: leftovers of requests nobody waited for, or noise.
struct Found {
    qsizetype at = -1; // where the answer starts; -1 while none has come whole
    QStringList lines;
};
Found findAnswer(const QByteArray& bytes, const Request& request);

// Bytes let go without an answer, cut into frames and runs of other bytes, each
// with its size and why it is not the answer.
struct Skipped {
    qsizetype size = 0;
    QString why;
};
QList<Skipped> describeSkipped(const QByteArray& bytes, const Request& request);

} // namespace zarnet::cli
