#pragma once

#include <core/schedule.h>

#include <QString>

namespace zarnet {

// What selecting a schedule mode writes into the window: the three explanation
// labels, in the window's language, then the start and end it suggests.
struct ModeTexts {
    QString explanation;
    QString example;
    QString meaning;
    QString start;
    QString end;
};

ModeTexts modeTexts(ScheduleMode mode);

} // namespace zarnet
