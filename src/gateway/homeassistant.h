#pragma once

#include "config.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace zarnet::gateway {

// One retained discovery message: its topic and its payload.
using Announcement = QPair<QString, QByteArray>;

// How Home Assistant finds the signs: each sign is a device (via this gateway),
// with a switch for its power, a number for each named unit, a text that shows on
// it, its connectivity, and the time of its last answer. Only the configuration
// is read, so the same configuration gives the same announcements.
QList<Announcement> announcements(const Config& config);

// The discovery topics of this gateway's announcements, past and present: a
// retained one there that announcements() no longer gives is cleared.
QString announcedFilter(const Config& config);

// PREFIX/SIGN/answered: when the sign last answered, for the sensor.
QString answeredTopic(const Config& config, const QString& sign);

} // namespace zarnet::gateway
