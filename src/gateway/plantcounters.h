#pragma once

#include "commandrefusal.h"
#include "topics.h"

#include <QDateTime>
#include <QString>
#include <array>

namespace zarnet::gateway {

// A command dropped, as the sign's error topic gave it.
struct Refusal {
    QDateTime at;
    QString topic;
    QString reason;
};

// What the service has counted since it started.
struct PlantCounters {
    // By Command, and one more for topics that name no command.
    std::array<quint64, 7> received{};
    std::array<quint64, RefusalKinds> refused{};
    quint64 brokerReconnects = 0;
};

} // namespace zarnet::gateway
