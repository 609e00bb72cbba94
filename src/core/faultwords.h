#pragma once

#include <core/framecutter.h>
#include <core/linkaddress.h>
#include <core/reply.h>

#include <QString>

// The core's failures in a few English words, for logs, scripts and the
// service: one table for every program that speaks English.
namespace zarnet {

QString describe(AddressFault fault);
QString describe(Reply::Rejection rejection);
// Why bytes a frame cutter rejected were rejected.
QString describe(const FrameCutter::Piece& rejected);

} // namespace zarnet
